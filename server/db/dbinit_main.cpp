// lonvera-dbinit: creates the default database "qx.qxocx" (SQLite) in the program folder with the
// gateway's tables and the 16 device rows, or the tables in any database named by a connection
// string. Existing tables and device rows are left alone, so running it twice is harmless.
#include "platform/paths.h"
#include "server/db/database.h"
#include "server/db/schema.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

using namespace lonvera;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lonvera-dbinit"));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Creates the gateway's default database, or its tables in another one."));
    parser.addHelpOption();
    const QCommandLineOption home(QStringLiteral("home"),
                                  QStringLiteral("Program folder (default: $LONVERA_HOME or the "
                                                 "folder of this program)."),
                                  QStringLiteral("dir"));
    const QCommandLineOption connection(
        QStringLiteral("connection"),
        QStringLiteral("Create the tables in the database this connection string names."),
        QStringLiteral("string"));
    parser.addOption(home);
    parser.addOption(connection);
    parser.addPositionalArgument(QStringLiteral("file"),
                                 QStringLiteral("SQLite file to create (default: "
                                                "<program folder>/qx.qxocx)."),
                                 QStringLiteral("[file]"));
    parser.process(app);

    QTextStream out(stdout);
    QTextStream err(stderr);
    if (parser.isSet(home))
        platform::setProgramFolder(parser.value(home));

    QString error;
    if (parser.isSet(connection)) {
        db::Database database(QStringLiteral("lonvera-dbinit"));
        const db::OpenOutcome opened = database.open(parser.value(connection));
        if (!opened.ok()) {
            err << "lonvera-dbinit: " << opened.description << '\n';
            const QString line = db::explanationLine(opened.error);
            if (!line.isEmpty())
                err << line << '\n';
            return 1;
        }
        if (!db::createSchema(database, &error)) {
            err << "lonvera-dbinit: " << error << '\n';
            return 1;
        }
        out << "Tables ready.\n";
        return 0;
    }

    const QStringList files = parser.positionalArguments();
    const QString file = files.isEmpty() ? platform::programFolder() + QStringLiteral("/qx.qxocx")
                                         : QFileInfo(files.first()).absoluteFilePath();
    const bool existed = QFileInfo::exists(file);
    if (!db::createDefaultDatabase(file, &error)) {
        err << "lonvera-dbinit: " << file << ": " << error << '\n';
        return 1;
    }
    out << (existed ? "Checked " : "Created ") << QDir::toNativeSeparators(file) << '\n';
    return 0;
}
