// Start-up connection. See startup_connection.h.
#include "server/db/startup_connection.h"

#include "server/db/access_compaction.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace lonvera::db {

QString readHostedConnectionString(const QString &programFolder, OpenOutcome *outcome)
{
    Database defaults(QStringLiteral("lonvera-hosted"));
    OpenOutcome opened =
        defaults.open(defaultConnectionString(programFolder), QStringLiteral("mdb"));
    QString value;
    if (opened.ok()) {
        QSqlQuery query(defaults.connection());
        if (!query.exec(QStringLiteral("select * from syset where Mkey='database1'"))) {
            opened = {StartupError::Other, query.lastError().text()};
        } else if (!query.next()) {
            opened = {StartupError::Other,
                      QStringLiteral("No row 'database1' in table syset of the default database.")};
        } else {
            value = query.value(QStringLiteral("Mvalue")).toString();
        }
    }
    if (outcome)
        *outcome = opened;
    return value;
}

StartupConnection openAtStartup(Database &db, const QString &configured,
                                const QString &programFolder, bool hosted)
{
    StartupConnection result;
    result.plan = planConnection(configured, programFolder);
    if (result.plan.kind == QLatin1String("mdb")) {
        QString path = result.plan.accessPath;
        CompactAccessDatabase(path, true);
    }
    QString connectionString = result.plan.connectionString;
    if (hosted) {
        OpenOutcome hostedOutcome;
        connectionString = readHostedConnectionString(programFolder, &hostedOutcome);
        if (!hostedOutcome.ok()) {
            result.outcome = hostedOutcome;
            result.explanation = explanationLine(hostedOutcome.error);
            return result;
        }
    }
    result.outcome = db.open(connectionString, result.plan.kind);
    result.explanation = explanationLine(result.outcome.error);
    return result;
}

} // namespace lonvera::db
