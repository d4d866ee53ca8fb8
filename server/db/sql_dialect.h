// The SQL dialect a statement is written in, chosen by the engine actually connected, and the one
// way a local date and time is handed to each of them. Pure; any thread.
#pragma once

#include "server/db/connection_target.h"

#include <QDateTime>
#include <QString>

namespace lonvera::db {

/// Statement dialects: SQLite (the embedded default), PostgreSQL, and T-SQL for SQL Server and for
/// any engine we cannot name (a server database is SQL Server unless shown otherwise).
enum class Dialect { Sqlite, PostgreSql, TSql };

Dialect dialectFor(Engine engine);

/// The SQL expression that turns one bound local time text (see timeText) into the engine's date.
/// Dates travel as text so no driver shifts them by a time zone: the columns hold local wall-clock
/// times.
QString timeParameter(Dialect dialect);

/// A local date and time as "yyyy-MM-dd HH:mm:ss", the form every dialect reads and SQLite
/// stores (and compares as text, which orders it in time).
QString timeText(const QDateTime &local);

} // namespace lonvera::db
