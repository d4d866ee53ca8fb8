// Whether a failed statement is a fault of the database rather than of the statement: the server
// is gone (a PostgreSQL restart, a broken network), another program holds the SQLite write lock,
// or the file cannot be written (made read-only, disk full). The gateway keeps its rows and
// retries after such a fault instead of treating it as the message's failure. Runs on the thread
// that owns the Database.
#pragma once

#include "server/db/database.h"

#include <QString>

namespace lonvera::db {

enum class DbFault {
    None,       ///< the statement itself failed (or nothing failed)
    Connection, ///< the connection no longer answers: it has to be opened again
    Locked,     ///< another program holds the lock; the next try may pass at once
    Storage     ///< the database answers but cannot store (read-only, disk full, I/O error)
};

/// Classifies a failure of a statement on db whose error text is errorText. Asks the connection
/// a trivial question when the text alone does not tell.
DbFault diagnoseFault(Database &db, const QString &errorText);

/// The fault an SQLite (or SQLite ODBC) error text names; None when it names none.
DbFault sqliteFaultOf(const QString &errorText);

} // namespace lonvera::db
