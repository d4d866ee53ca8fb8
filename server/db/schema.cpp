// Schema scripts and their creation. See schema.h.
#include "server/db/schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace lonvera::db {

namespace {

// A line without its "--" comment; quotes are followed so "'--'" stays. Strings of the scripts
// never span lines.
QString withoutComment(const QString &line)
{
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == u'\'')
            quoted = !quoted;
        else if (!quoted && c == u'-' && i + 1 < line.size() && line.at(i + 1) == u'-')
            return line.left(i);
    }
    return line;
}

} // namespace

QString schemaScript(Dialect dialect)
{
    const char *name = dialect == Dialect::Sqlite       ? ":/lonvera/schema/sqlite.sql"
                       : dialect == Dialect::PostgreSql ? ":/lonvera/schema/postgresql.sql"
                                                        : ":/lonvera/schema/sqlserver.sql";
    QFile file(QString::fromLatin1(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

QStringList splitSqlScript(const QString &script)
{
    QStringList statements;
    QString current;
    bool inTrigger = false;
    const QStringList lines = script.split(u'\n');
    for (const QString &rawLine : lines) {
        const QString line = withoutComment(rawLine).trimmed();
        if (line.isEmpty())
            continue;
        if (line.compare(QLatin1String("GO"), Qt::CaseInsensitive) == 0) {
            if (!current.trimmed().isEmpty())
                statements << current.trimmed();
            current.clear();
            continue;
        }
        if (current.isEmpty() &&
            line.startsWith(QLatin1String("CREATE TRIGGER"), Qt::CaseInsensitive))
            inTrigger = true;
        current += line + u'\n';
        const bool ends = inTrigger ? line.compare(QLatin1String("END;"), Qt::CaseInsensitive) == 0
                                    : line.endsWith(u';');
        if (ends) {
            QString statement = current.trimmed();
            if (!inTrigger)
                statement.chop(1);
            statements << statement;
            current.clear();
            inTrigger = false;
        }
    }
    if (!current.trimmed().isEmpty())
        statements << current.trimmed();
    return statements;
}

bool createSchema(Database &db, QString *error)
{
    const QString script = schemaScript(db.dialect());
    if (script.isEmpty()) {
        if (error)
            *error = QStringLiteral("no schema for this database");
        return false;
    }
    QSqlQuery query(db.connection());
    for (const QString &statement : splitSqlScript(script)) {
        if (!query.exec(statement)) {
            if (error)
                *error = query.lastError().text() + QStringLiteral("\n") + statement;
            return false;
        }
    }
    return true;
}

bool upgradeSendTimeTriggers(Database &db, QString *error)
{
    if (db.dialect() != Dialect::Sqlite)
        return true;
    QSqlQuery query(db.connection());
    // The current trigger builds the stored form with printf; an older one did not.
    if (!query.exec(QStringLiteral("select sql from sqlite_master where type='trigger' and "
                                   "name='outbox_sendtime_update'")))
        return true; // not an SQLite file we can read: the open has said so
    if (query.next() && query.value(0).toString().contains(QLatin1String("printf(")))
        return true;
    query.finish();
    for (const QString &statement : splitSqlScript(schemaScript(Dialect::Sqlite))) {
        if (!statement.contains(QLatin1String("outbox_sendtime")) &&
            !statement.startsWith(QLatin1String("UPDATE outbox SET SendTime")))
            continue;
        if (!query.exec(statement)) {
            if (error)
                *error = query.lastError().text();
            return false;
        }
    }
    return true;
}

bool createDefaultDatabase(const QString &filePath, QString *error)
{
    if (!QDir().mkpath(QFileInfo(filePath).absolutePath())) {
        if (error)
            *error = QStringLiteral("cannot create the folder of %1").arg(filePath);
        return false;
    }
    if (!QFileInfo::exists(filePath)) {
        // Database::open insists on an existing file; SQLite creates it on first open.
        QFile file(filePath);
        if (!file.open(QIODevice::WriteOnly)) {
            if (error)
                *error = file.errorString();
            return false;
        }
    }
    ConnectionTarget target;
    target.driver = QStringLiteral("QSQLITE");
    target.databaseName = filePath;
    target.expectedEngine = Engine::Sqlite;
    Database db(QStringLiteral("lonvera-create-default"));
    const OpenOutcome opened = db.open(target);
    if (!opened.ok()) {
        if (error)
            *error = opened.description;
        return false;
    }
    return createSchema(db, error);
}

} // namespace lonvera::db
