// The gateway's one shared database connection: opening it from a connection string, the engine
// and dialect it turned out to be, the prepared statements kept for its lifetime, and write
// transactions. Qt SQL connections belong to the thread that opened them: use a Database on one
// thread only (the server's, which is single-threaded).
#pragma once

#include "server/db/connection_target.h"
#include "server/db/sql_dialect.h"
#include "server/db/startup_error.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

#include <map>
#include <memory>

namespace lonvera::db {

/// The outcome of opening a connection.
struct OpenOutcome
{
    StartupError error = StartupError::None;
    QString description; ///< the driver's own error text when the open failed
    bool ok() const { return error == StartupError::None; }
};

class Database
{
public:
    /// The name of the shared connection in QSqlDatabase's registry.
    static constexpr const char *sharedName = "lonvera";

    explicit Database(QString connectionName = QLatin1String(sharedName));
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    /// Opens the connection; kind is the database kind of the start-up plan ("mdb" or empty).
    OpenOutcome open(const QString &connectionString, const QString &kind = {});
    /// Opens a target directly (tests and tools that already know the driver's parameters).
    OpenOutcome open(const ConnectionTarget &target, const QString &kind = {});
    void close();
    bool isOpen() const;
    /// Closes and opens the connection again with the target of the last open (after the server
    /// was lost); the prepared statements are prepared again on their next use. A server that
    /// does not answer is given a few seconds, not the 30 of the first open.
    OpenOutcome reopen();

    QSqlDatabase connection() const;
    Engine engine() const { return m_engine; }
    Dialect dialect() const { return dialectFor(m_engine); }
    QString kind() const { return m_kind; }

    /// A statement prepared once per connection and kept until close; nullptr, with the reason in
    /// error, when it cannot be prepared.
    QSqlQuery *prepared(const QString &sql, QSqlError *error = nullptr);

    /// Starts a transaction that will write. SQLite takes the write lock at once, so two
    /// processes never deadlock upgrading their read locks. On failure error gets the engine's
    /// reason (another program's lock, a lost server).
    bool beginWrite(QString *error = nullptr);
    bool commit();
    void rollback();

private:
    Engine detectEngine();

    QString m_name;
    QString m_kind;
    ConnectionTarget m_target;
    Engine m_engine = Engine::Other;
    std::map<QString, std::unique_ptr<QSqlQuery>> m_statements;
};

} // namespace lonvera::db
