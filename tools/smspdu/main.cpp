// smspdu: decode listed PDUs to JSON and records, or encode a text into the PDUs of its parts.
#include "smspdu_command.h"

#include <QCoreApplication>
#include <QDateTime>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QString now =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    const int status = lonvera::smspdu::run(app.arguments().mid(1), out, err, now);
    out.flush();
    err.flush();
    return status;
}
