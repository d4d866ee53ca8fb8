// Connection strings to Qt SQL drivers. See connection_target.h.
#include "server/db/connection_target.h"

#include "server/db/connection_plan.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextStream>

namespace lonvera::db {

namespace {

// ADO waits 30 seconds for a connection; every engine gets the same patience.
constexpr int connectTimeoutSeconds = 30;

QString firstOf(const QMap<QString, QString> &keys, std::initializer_list<const char *> names)
{
    for (const char *name : names) {
        const QString value = keys.value(QLatin1String(name));
        if (!value.isEmpty())
            return value;
    }
    return {};
}

bool isAccessString(const QString &s, const QMap<QString, QString> &keys)
{
    if (databaseKind(s) == QLatin1String("mdb"))
        return true;
    const QString driver = keys.value(QStringLiteral("driver"));
    const QString provider = keys.value(QStringLiteral("provider"));
    return driver.contains(QLatin1String("Microsoft Access Driver"), Qt::CaseInsensitive) ||
           provider.startsWith(QLatin1String("Microsoft.Jet.OLEDB"), Qt::CaseInsensitive) ||
           provider.startsWith(QLatin1String("Microsoft.ACE.OLEDB"), Qt::CaseInsensitive);
}

bool isPostgreSqlString(const QMap<QString, QString> &keys)
{
    const QString driver = keys.value(QStringLiteral("driver"));
    const QString provider = keys.value(QStringLiteral("provider"));
    return driver.contains(QLatin1String("postgres"), Qt::CaseInsensitive) ||
           driver.contains(QLatin1String("psqlodbc"), Qt::CaseInsensitive) ||
           provider.contains(QLatin1String("postgres"), Qt::CaseInsensitive) ||
           provider.startsWith(QLatin1String("PGNP"), Qt::CaseInsensitive);
}

bool isAdoSqlServerString(const QMap<QString, QString> &keys)
{
    static const QRegularExpression providers(
        QStringLiteral("^(SQLOLEDB|SQLNCLI\\d*|MSOLEDBSQL\\d*)(\\.\\d+)?$"),
        QRegularExpression::CaseInsensitiveOption);
    return providers.match(keys.value(QStringLiteral("provider"))).hasMatch();
}

// "host,port", "host:port", "tcp:host,port" -> host and port (-1 when none is given).
std::pair<QString, int> splitHostPort(QString server, QChar separator)
{
    if (server.startsWith(QLatin1String("tcp:"), Qt::CaseInsensitive))
        server = server.mid(4);
    const qsizetype at = server.lastIndexOf(separator);
    if (at > 0) {
        bool ok = false;
        const int port = server.mid(at + 1).trimmed().toInt(&ok);
        if (ok)
            return {server.left(at).trimmed(), port};
    }
    return {server.trimmed(), -1};
}

ConnectionTarget sqliteTarget(const QString &s, const QMap<QString, QString> &keys)
{
    ConnectionTarget t;
    t.driver = QStringLiteral("QSQLITE");
    t.expectedEngine = Engine::Sqlite;
    QString file = firstOf(keys, {"dbq", "data source"});
    if (file.isEmpty())
        file = accessPathOf(s);
    t.databaseName = localFilePath(file);
    // The server has one thread: a write that waits for another program's lock holds up every
    // device. A quarter of a second covers any ordinary transaction of another writer; a longer
    // lock fails the write, the row stays where it is and is written again on the next tick.
    t.connectOptions = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(sqliteBusyTimeoutMs);
    return t;
}

ConnectionTarget postgreSqlTarget(const QMap<QString, QString> &keys)
{
    ConnectionTarget t;
    t.driver = QStringLiteral("QPSQL");
    t.expectedEngine = Engine::PostgreSql;
    auto [host, port] =
        splitHostPort(firstOf(keys, {"server", "servername", "host", "data source"}), u':');
    t.hostName = host;
    t.port = port;
    const QString portKey = keys.value(QStringLiteral("port"));
    if (!portKey.isEmpty())
        t.port = portKey.toInt();
    t.databaseName = firstOf(keys, {"database", "dbname", "initial catalog", "location"});
    t.userName = firstOf(keys, {"uid", "user id", "username", "user"});
    t.password = firstOf(keys, {"pwd", "password"});
    QStringList options{QStringLiteral("connect_timeout=%1").arg(connectTimeoutSeconds)};
    const QString sslMode = keys.value(QStringLiteral("sslmode"));
    if (!sslMode.isEmpty())
        options << QStringLiteral("sslmode=") + sslMode;
    t.connectOptions = options.join(u';');
    return t;
}

ConnectionTarget odbcTarget(QString odbcString, Engine expected)
{
    ConnectionTarget t;
    t.driver = QStringLiteral("QODBC");
    t.expectedEngine = expected;
    // Qt hands a name without "DRIVER=" or "SERVER=" to the driver manager as "DSN=" + name, so a
    // "DSN=name;..." string must lose its own "DSN=" or it would read "DSN=DSN=name".
    static const QRegularExpression dsnPrefix(QStringLiteral("^\\s*DSN\\s*=\\s*"),
                                              QRegularExpression::CaseInsensitiveOption);
    if (!odbcString.contains(QLatin1String("DRIVER="), Qt::CaseInsensitive) &&
        !odbcString.contains(QLatin1String("SERVER="), Qt::CaseInsensitive))
        odbcString.remove(dsnPrefix);
    t.databaseName = odbcString;
    t.connectOptions = QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1;SQL_ATTR_CONNECTION_TIMEOUT=%1")
                           .arg(connectTimeoutSeconds);
    return t;
}

} // namespace

QMap<QString, QString> parseConnectionString(const QString &connectionString)
{
    QMap<QString, QString> keys;
    qsizetype i = 0;
    const qsizetype n = connectionString.size();
    while (i < n) {
        const qsizetype eq = connectionString.indexOf(u'=', i);
        if (eq < 0)
            break;
        const QString key = connectionString.mid(i, eq - i).trimmed().toLower();
        qsizetype j = eq + 1;
        while (j < n && connectionString.at(j).isSpace())
            ++j;
        QString value;
        if (j < n && connectionString.at(j) == u'{') {
            // ODBC braces: "}}" stands for one "}" inside the value.
            ++j;
            while (j < n) {
                if (connectionString.at(j) == u'}') {
                    if (j + 1 < n && connectionString.at(j + 1) == u'}') {
                        value += u'}';
                        j += 2;
                        continue;
                    }
                    ++j;
                    break;
                }
                value += connectionString.at(j++);
            }
            const qsizetype semi = connectionString.indexOf(u';', j);
            i = semi < 0 ? n : semi + 1;
        } else {
            const qsizetype semi = connectionString.indexOf(u';', j);
            const qsizetype end = semi < 0 ? n : semi;
            value = connectionString.mid(j, end - j).trimmed();
            i = end + 1;
        }
        if (!key.isEmpty() && !keys.contains(key))
            keys.insert(key, value);
    }
    return keys;
}

QString sqlServerOdbcString(const QMap<QString, QString> &adoKeys, const QString &driver)
{
    const bool freeTds = driver.contains(QLatin1String("tds"), Qt::CaseInsensitive);
    QString server = firstOf(adoKeys, {"data source", "server", "address", "addr"});
    if (server == QLatin1String(".") ||
        server.compare(QLatin1String("(local)"), Qt::CaseInsensitive) == 0)
        server = QStringLiteral("localhost");
    QString s = QStringLiteral("Driver={%1};").arg(driver);
    if (freeTds) {
        // FreeTDS takes the port as a key of its own; "host\instance" it resolves itself.
        auto [host, port] = splitHostPort(server, u',');
        s += QStringLiteral("Server=%1;").arg(host);
        if (port > 0)
            s += QStringLiteral("Port=%1;").arg(port);
        s += QStringLiteral("ClientCharset=UTF-8;");
    } else {
        s += QStringLiteral("Server=%1;").arg(server);
    }
    const QString database = firstOf(adoKeys, {"initial catalog", "database"});
    if (!database.isEmpty())
        s += QStringLiteral("Database=%1;").arg(database);
    const QString integrated = adoKeys.value(QStringLiteral("integrated security"));
    if (integrated.compare(QLatin1String("SSPI"), Qt::CaseInsensitive) == 0 ||
        integrated.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) {
        s += QStringLiteral("Trusted_Connection=Yes;");
    } else {
        s += QStringLiteral("UID=%1;").arg(firstOf(adoKeys, {"user id", "uid", "user"}));
        s += QStringLiteral("PWD={%1};")
                 .arg(firstOf(adoKeys, {"password", "pwd"}).replace(u'}', QLatin1String("}}")));
    }
    return s;
}

QString findSqlServerOdbcDriver(const QStringList &odbcinstFiles)
{
    QStringList files = odbcinstFiles;
    if (files.isEmpty()) {
        const QString sysIni = qEnvironmentVariable("ODBCSYSINI");
        if (!sysIni.isEmpty())
            files << sysIni + QStringLiteral("/odbcinst.ini");
        const QString instIni = qEnvironmentVariable("ODBCINSTINI");
        if (!instIni.isEmpty())
            files << instIni;
        files << QStringLiteral("/etc/odbcinst.ini");
    }
    static const QRegularExpression microsoft(QStringLiteral("^ODBC Driver (\\d+) for SQL Server$"),
                                              QRegularExpression::CaseInsensitiveOption);
    QString best;
    int bestVersion = -1;
    QString freeTds;
    for (const QString &path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        QTextStream in(&file);
        QString section;
        while (!in.atEnd()) {
            const QString line = in.readLine().trimmed();
            if (line.startsWith(u'[') && line.endsWith(u']')) {
                section = line.mid(1, line.size() - 2).trimmed();
                const auto match = microsoft.match(section);
                if (match.hasMatch() && match.captured(1).toInt() > bestVersion) {
                    bestVersion = match.captured(1).toInt();
                    best = section;
                }
                if (freeTds.isEmpty() &&
                    section.compare(QLatin1String("FreeTDS"), Qt::CaseInsensitive) == 0)
                    freeTds = section;
            } else if (freeTds.isEmpty() && !section.isEmpty() &&
                       line.startsWith(QLatin1String("Driver"), Qt::CaseInsensitive) &&
                       line.contains(QLatin1String("libtdsodbc"))) {
                freeTds = section;
            }
        }
    }
    if (!best.isEmpty())
        return best;
    if (!freeTds.isEmpty())
        return freeTds;
    for (const char *lib :
         {"/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so",
          "/usr/lib/aarch64-linux-gnu/odbc/libtdsodbc.so", "/usr/lib/odbc/libtdsodbc.so"}) {
        if (QFileInfo::exists(QLatin1String(lib)))
            return QLatin1String(lib);
    }
    return QStringLiteral("FreeTDS");
}

ConnectionTarget targetFor(const QString &connectionString, const QString &sqlServerDriver)
{
    const QMap<QString, QString> keys = parseConnectionString(connectionString);
    if (isAccessString(connectionString, keys))
        return sqliteTarget(connectionString, keys);
    if (isPostgreSqlString(keys))
        return postgreSqlTarget(keys);
    if (isAdoSqlServerString(keys))
        return odbcTarget(sqlServerOdbcString(keys, sqlServerDriver), Engine::SqlServer);
    return odbcTarget(connectionString, Engine::Other);
}

} // namespace lonvera::db
