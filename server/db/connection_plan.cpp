// Start-up rewriting of the connection string. See connection_plan.h.
#include "server/db/connection_plan.h"

#include "platform/paths.h"

namespace lonvera::db {

namespace {

// The text between a start marker and an end marker. The end marker may be missing from a string
// that is otherwise well formed ("...;Dbq=x.mdb;" without ";Uid"): the value then ends where the
// next key begins instead of failing the start-up.
QString valueBetween(const QString &s, QStringView start, QStringView end)
{
    const qsizetype at = s.indexOf(start);
    if (at < 0)
        return {};
    const qsizetype from = at + start.size();
    qsizetype to = s.indexOf(end, from);
    if (to < 0)
        to = s.indexOf(u';', from);
    if (to < 0)
        to = s.size();
    return s.mid(from, to - from);
}

} // namespace

QString databaseKind(const QString &connectionString)
{
    return connectionString.contains(QLatin1String("*.mdb")) ? QStringLiteral("mdb") : QString();
}

QString accessPathOf(const QString &connectionString)
{
    QString path;
    if (connectionString.contains(QLatin1String("Dbq=")))
        path = valueBetween(connectionString, u"Dbq=", u";Uid");
    if (connectionString.contains(QLatin1String("Source=")))
        path = valueBetween(connectionString, u"rce=", u";Jet");
    return path;
}

ConnectionPlan planConnection(const QString &configured, const QString &programFolder)
{
    ConnectionPlan plan;
    plan.connectionString = configured;
    plan.connectionString.replace(QLatin1String("Dbq=.\\"),
                                  QStringLiteral("Dbq=") + programFolder + QLatin1Char('\\'));
    plan.kind = databaseKind(plan.connectionString);
    plan.accessPath = accessPathOf(plan.connectionString);
    return plan;
}

QString defaultConnectionString(const QString &programFolder)
{
    // The fixed password belongs to the Access file this database replaces; SQLite ignores it.
    return QStringLiteral("Driver={Microsoft Access Driver (*.mdb)};Dbq=") + programFolder +
           QStringLiteral("\\qx.qxocx;Uid=Admin;Pwd=58203917642;");
}

QString localFilePath(const QString &pathInConnectionString)
{
    return platform::mapWindowsPath(pathInConnectionString.trimmed());
}

} // namespace lonvera::db
