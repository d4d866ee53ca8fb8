// The shared connection. See database.h.
#include "server/db/database.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>

namespace lonvera::db {

namespace {

// A reconnect runs on the server's thread between ticks: a server that does not answer within
// this gives the attempt up, and the next one follows after a pause.
constexpr int reconnectTimeoutSeconds = 3;

} // namespace

Dialect dialectFor(Engine engine)
{
    switch (engine) {
    case Engine::Sqlite:
        return Dialect::Sqlite;
    case Engine::PostgreSql:
        return Dialect::PostgreSql;
    case Engine::SqlServer:
    case Engine::Other:
        break;
    }
    return Dialect::TSql;
}

QString timeParameter(Dialect dialect)
{
    switch (dialect) {
    case Dialect::Sqlite:
        return QStringLiteral("?");
    case Dialect::PostgreSql:
        return QStringLiteral("CAST(? AS timestamp)");
    case Dialect::TSql:
        break;
    }
    return QStringLiteral("convert(datetime,?,120)"); // 120: yyyy-mm-dd hh:mi:ss
}

QString timeText(const QDateTime &local)
{
    return local.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

Database::Database(QString connectionName) : m_name(std::move(connectionName)) {}

Database::~Database()
{
    close();
}

OpenOutcome Database::open(const QString &connectionString, const QString &kind)
{
    return open(targetFor(connectionString, findSqlServerOdbcDriver()), kind);
}

OpenOutcome Database::open(const ConnectionTarget &target, const QString &kind)
{
    close();
    m_kind = kind;
    m_target = target;
    m_engine = target.expectedEngine;
    if (target.driver == QLatin1String("QSQLITE") && !QFileInfo(target.databaseName).isFile()) {
        // SQLite would create an empty database instead; the operator needs to hear of it.
        return {StartupError::MissingDatabase,
                QStringLiteral("Could not find file '%1'.").arg(target.databaseName)};
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(target.driver, m_name);
    if (!db.isValid())
        return {StartupError::Other, db.lastError().text()};
    db.setDatabaseName(target.databaseName);
    db.setHostName(target.hostName);
    if (target.port > 0)
        db.setPort(target.port);
    db.setUserName(target.userName);
    db.setPassword(target.password);
    db.setConnectOptions(target.connectOptions);
    if (!db.open()) {
        const QSqlError error = db.lastError();
        OpenOutcome outcome{classifyOpenError(m_engine, error), error.text()};
        if (outcome.error == StartupError::None)
            outcome.error = StartupError::Other;
        db = QSqlDatabase(); // the registry entry is removed only once no handle is left
        close();
        return outcome;
    }
    m_engine = detectEngine();
    if (m_engine == Engine::Sqlite) {
        // Opening a file that is no database succeeds; the first read says so.
        QSqlQuery probe(db);
        if (!probe.exec(QStringLiteral("select count(*) from sqlite_master"))) {
            const QString text = probe.lastError().text();
            probe = QSqlQuery();
            db = QSqlDatabase();
            close();
            return {StartupError::Other, text};
        }
        // In WAL mode a commit needs no flush to disk of its own, which keeps a claim well under a
        // millisecond; a power failure may lose the last commits but never the database.
        probe.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    }
    return {};
}

Engine Database::detectEngine()
{
    QSqlDatabase db = connection();
    switch (db.driver()->dbmsType()) {
    case QSqlDriver::SQLite:
        return Engine::Sqlite;
    case QSqlDriver::PostgreSQL:
        return Engine::PostgreSql;
    case QSqlDriver::MSSqlServer:
        return Engine::SqlServer;
    default:
        break;
    }
    // An ODBC driver Qt cannot name (the SQLite ODBC driver, for one): ask the engine itself.
    QSqlQuery probe(db);
    if (probe.exec(QStringLiteral("select sqlite_version()")))
        return Engine::Sqlite;
    if (probe.exec(QStringLiteral("select version()")) && probe.next() &&
        probe.value(0).toString().contains(QLatin1String("PostgreSQL")))
        return Engine::PostgreSql;
    return m_engine == Engine::Other ? Engine::SqlServer : m_engine;
}

void Database::close()
{
    m_statements.clear();
    if (QSqlDatabase::contains(m_name)) {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
}

OpenOutcome Database::reopen()
{
    ConnectionTarget target = m_target;
    target.connectOptions.replace(
        QRegularExpression(QStringLiteral("connect_timeout=\\d+")),
        QStringLiteral("connect_timeout=%1").arg(reconnectTimeoutSeconds));
    const ConnectionTarget kept = m_target;
    const OpenOutcome outcome = open(target, m_kind);
    m_target = kept;
    return outcome;
}

bool Database::isOpen() const
{
    return QSqlDatabase::contains(m_name) && connection().isOpen();
}

QSqlDatabase Database::connection() const
{
    return QSqlDatabase::database(m_name, false);
}

QSqlQuery *Database::prepared(const QString &sql, QSqlError *error)
{
    auto it = m_statements.find(sql);
    if (it == m_statements.end()) {
        auto query = std::make_unique<QSqlQuery>(connection());
        query->setForwardOnly(true);
        if (!query->prepare(sql)) {
            // Not kept: a later call prepares again (the table may exist by then).
            if (error)
                *error = query->lastError();
            return nullptr;
        }
        it = m_statements.emplace(sql, std::move(query)).first;
    }
    return it->second.get();
}

bool Database::beginWrite(QString *error)
{
    QSqlDatabase db = connection();
    if (m_engine == Engine::Sqlite && db.driverName() == QLatin1String("QSQLITE")) {
        // The statement's own error: the connection's lastError knows nothing of it.
        QSqlQuery begin(db);
        if (begin.exec(QStringLiteral("BEGIN IMMEDIATE")))
            return true;
        if (error)
            *error = begin.lastError().text();
        return false;
    }
    if (db.transaction())
        return true;
    if (error)
        *error = db.lastError().text();
    return false;
}

bool Database::commit()
{
    return connection().commit();
}

void Database::rollback()
{
    connection().rollback();
}

} // namespace lonvera::db
