// The dispatcher's access to outbox: select the next row a port may send and claim it for that
// port, atomically, so that two servers sharing one database never send the same row. Runs on the
// thread that owns the Database.
#pragma once

#include "server/db/database.h"
#include "server/db/dispatch_statements.h"

#include <QDateTime>
#include <QString>

#include <optional>

namespace lonvera::db {

/// One outbox row as the dispatcher hands it to a worker.
struct OutboxRow
{
    qint64 id = 0;
    QString mbno;
    QString msg;
    QDateTime sendTime;
    int comPort = 0;
    int report = 0;
    QString username;
    /// selectAndClaim took the row from every port (it was ComPort 0).
    bool claimedNow = false;
};

enum class ClaimStatus {
    Claimed, ///< row holds a message for the port; its ComPort is the port now
    NoRow,   ///< nothing is due for the port (the slot becomes idle)
    Failed   ///< the statement failed; error says why
};

struct ClaimOutcome
{
    ClaimStatus status = ClaimStatus::NoRow;
    OutboxRow row;
    QString error;
};

/// The next row for a port, without claiming it. With an invalid time the clock is this
/// machine's for the Access kind ("mdb") and the database server's otherwise.
std::optional<OutboxRow> selectNextRow(Database &db, int port, const QString &ranges,
                                       const QDateTime &now, QString *error = nullptr);

/// Writes the port into a row that is still free (ComPort 0). True when this call took it.
bool claimRow(Database &db, qint64 id, int port, QString *error = nullptr);

/// Of the rows due at `now` (any port), the one that has waited longest.
std::optional<OutboxRow> oldestDueRow(Database &db, const QDateTime &now, QString *error = nullptr);

/// Gives a row the port holds back to every port (ComPort 0). True when the row was changed.
bool returnClaim(Database &db, qint64 id, int port, QString *error = nullptr);

/// Selects the next row for a port and makes it the port's own. A row already holding the port
/// (claimed before, its worker was busy) is returned as it is. When another server claims the
/// selected row first, the next one is selected.
ClaimOutcome selectAndClaim(Database &db, int port, const QString &ranges,
                            const QDateTime &now = {});

/// A queued row whose SendTime no engine reads as a date, so it never becomes due.
struct UnreadableSendTime
{
    qint64 id = 0;
    QString sendTime;
};

/// The rows of outbox whose SendTime is no date (SQLite only: the other engines keep a date
/// column and refuse such a row when it is inserted); at most limit rows, by id.
QList<UnreadableSendTime> unreadableSendTimes(Database &db, int limit, QString *error = nullptr);

} // namespace lonvera::db
