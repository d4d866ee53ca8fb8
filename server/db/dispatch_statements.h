// The dispatcher's statements, one text per dialect: the number-range filter built from a
// device's range text, the selection of the one next row a port may send, and the claim that
// makes the row the port's own. Pure text; any thread.
#pragma once

#include "server/db/sql_dialect.h"

#include <QString>

namespace lonvera::db {

/// The filter a range text adds to the selection.
struct RangeFilter
{
    /// The text names no range the gateway knows ("|x|", or empty): no number qualifies.
    bool matchesNothing = false;
    /// Empty for "不限范围", else " and (" + the conditions joined with " or " + ")".
    QString sql;
};

/// Whose clock decides that a row is due.
enum class DueClock {
    Bound,   ///< the time bound to the statement (this machine's, or one given by the caller)
    Database ///< the database server's own clock
};

RangeFilter rangeFilter(const QString &ranges, Dialect dialect);

/// True when the filter of `ranges` lets the number through, as the database decides it.
bool rangeCovers(const QString &ranges, const QString &mbno);

/// The selection of the next row for one port: rows due before the clock's second, free for any
/// port (ComPort 0) or already the port's own, inside the ranges; the first by SendTime, then id;
/// at most one row. Each of the two port cases is looked up on its own so that the index on
/// (ComPort, SendTime, id) answers it without a scan. Bound values, in order: for DueClock::Bound
/// the time text, the port, the time text again; for DueClock::Database only the port.
/// Columns: id, Mbno, Msg, SendTime, ComPort, report, username.
QString selectionStatement(Dialect dialect, const RangeFilter &filter, DueClock clock);

/// The claim: writes the port into a row that is still free. Bound: port, id. One row affected
/// means the row is now the port's; none means another server was faster.
QString claimStatement();

} // namespace lonvera::db
