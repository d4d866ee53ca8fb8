// Start-up connection. See startup_connection.h.
#include "server/db/startup_connection.h"

#include "server/db/access_compaction.h"
#include "server/db/schema.h"

#include <QFile>
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

SettingsFileState settingsFileState(const QString &filePath)
{
    QFile file(filePath);
    if (!file.exists())
        return SettingsFileState::Missing;
    if (!file.open(QIODevice::ReadOnly))
        return SettingsFileState::Present; // there, but unreadable: the key is what it lacks
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (!line.isEmpty() && !line.startsWith(';'))
            return SettingsFileState::Present;
    }
    return SettingsFileState::Empty;
}

QString missingConnectionText(const QString &settingsFile, SettingsFileState state)
{
    const QString wanted =
        QStringLiteral("：请在 [Ocxdb] 一节写入 database=数据库连接字符串（例如 "
                       "database=Driver={Microsoft Access Driver (*.mdb)};Dbq=.\\qx.qxocx;"
                       "Uid=Admin;Pwd=;）");
    switch (state) {
    case SettingsFileState::Missing:
        return QStringLiteral("找不到设置文件 ") + settingsFile + wanted;
    case SettingsFileState::Empty:
        return QStringLiteral("设置文件 ") + settingsFile + QStringLiteral(" 是空的") + wanted;
    case SettingsFileState::Present:
        break;
    }
    return QStringLiteral("设置文件 ") + settingsFile +
           QStringLiteral(" 中没有 [Ocxdb] 一节的 database 项") + wanted;
}

StartupConnection openAtStartup(Database &db, const QString &configured,
                                const QString &programFolder, bool hosted,
                                const QString &settingsFile, SettingsFileState state)
{
    StartupConnection result;
    if (!hosted && configured.trimmed().isEmpty()) {
        const QString file =
            settingsFile.isEmpty() ? programFolder + QStringLiteral("/set.ini") : settingsFile;
        result.outcome = {StartupError::Other, missingConnectionText(file, state)};
        return result;
    }
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
    // A default database of an older version compared some SendTime forms as text; a failed
    // upgrade (a read-only file, say) leaves it working as before.
    if (result.outcome.ok())
        upgradeSendTimeTriggers(db);
    return result;
}

} // namespace lonvera::db
