// Which Qt SQL driver serves a connection string, and with what parameters. A string naming the
// Access driver opens its "Dbq=" file as SQLite; a PostgreSQL string (ODBC form naming a
// PostgreSQL driver, or ADO form with a PostgreSQL provider) opens the native PostgreSQL driver;
// an ADO SQL Server string becomes an ODBC string for the SQL Server driver installed here; any
// other string goes to unixODBC as it stands. Pure functions apart from reading odbcinst.ini;
// any thread.
#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

namespace lonvera::db {

/// How long a statement on SQLite waits for another program's lock before it fails.
inline constexpr int sqliteBusyTimeoutMs = 250;

/// The database engine behind a connection.
enum class Engine { Sqlite, PostgreSql, SqlServer, Other };

/// What QSqlDatabase needs to open a connection string.
struct ConnectionTarget
{
    QString driver;       ///< "QSQLITE", "QPSQL" or "QODBC"
    QString databaseName; ///< file path, database name, or the ODBC connection string
    QString hostName;
    int port = -1;
    QString userName;
    QString password;
    QString connectOptions;
    Engine expectedEngine = Engine::Other; ///< what the string names; the driver has the last word
};

/// Splits "key=value;key={va;lue};" into lower-case keys and values (braces removed, trimmed).
/// The first occurrence of a key wins.
QMap<QString, QString> parseConnectionString(const QString &connectionString);

/// The target for a connection string. sqlServerDriver is the ODBC driver that ADO SQL Server
/// strings are rewritten for (see findSqlServerOdbcDriver).
ConnectionTarget targetFor(const QString &connectionString, const QString &sqlServerDriver);

/// The ODBC string for an ADO SQL Server string ("Provider=SQLOLEDB;Data Source=...").
QString sqlServerOdbcString(const QMap<QString, QString> &adoKeys, const QString &driver);

/// The SQL Server ODBC driver of this machine: Microsoft's newest "ODBC Driver N for SQL Server",
/// else FreeTDS, looked up in the given odbcinst.ini files (by default $ODBCSYSINI/odbcinst.ini,
/// $ODBCINSTINI and /etc/odbcinst.ini); else FreeTDS's library path when it is installed; else
/// "FreeTDS".
QString findSqlServerOdbcDriver(const QStringList &odbcinstFiles = {});

} // namespace lonvera::db
