// Database faults. See db_fault.h.
#include "server/db/db_fault.h"

#include "server/db/error_text.h"

#include <QSqlQuery>

namespace lonvera::db {

namespace {

// A connection that cannot run "select 1" is lost, whatever the failed statement said.
bool answers(Database &db)
{
    if (!db.isOpen())
        return false;
    QSqlQuery probe(db.connection());
    return probe.exec(QStringLiteral("select 1"));
}

} // namespace

DbFault sqliteFaultOf(const QString &errorText)
{
    // SQLite's own texts for SQLITE_BUSY, SQLITE_LOCKED, SQLITE_READONLY, SQLITE_FULL,
    // SQLITE_IOERR and SQLITE_CANTOPEN; they have stayed the same across its versions.
    if (containsAny(errorText, {"database is locked", "database table is locked"}))
        return DbFault::Locked;
    if (containsAny(errorText, {"readonly database", "read-only", "database or disk is full",
                                "disk I/O error", "unable to open database file"}))
        return DbFault::Storage;
    return DbFault::None;
}

DbFault diagnoseFault(Database &db, const QString &errorText)
{
    if (db.engine() == Engine::Sqlite) {
        const DbFault fault = sqliteFaultOf(errorText);
        if (fault != DbFault::None)
            return fault;
    } else if (containsAny(errorText, {"could not extend file", "No space left on device",
                                       "read-only transaction", "lock timeout",
                                       "canceling statement due to lock"})) {
        // A server that is out of space or in recovery still answers; the write is retried.
        return containsAny(errorText, {"lock"}) ? DbFault::Locked : DbFault::Storage;
    }
    return answers(db) ? DbFault::None : DbFault::Connection;
}

} // namespace lonvera::db
