// Writes of the traffic tables: moving a reported outbox row into SendedOutBox or badoutbox (one
// transaction: the result row is written and the outbox row deleted, or nothing changes), the
// inbox, report and OnCall rows, and the table counts of the run-log caption. Runs on the thread
// that owns the Database.
#pragma once

#include "server/db/database.h"
#include "server/db/outbox_queue.h"

#include <QDateTime>
#include <QString>

namespace lonvera::db {

enum class MoveStatus {
    Moved,      ///< the result row is written and the outbox row deleted
    RowMissing, ///< no such outbox row: a result row with only the time (and reason) is written
    Failed      ///< nothing changed; error says why (the outbox row stays)
};

struct MoveOutcome
{
    MoveStatus status = MoveStatus::Failed;
    OutboxRow row; ///< the outbox row as it was (for the log line); empty when it was missing
    QString error;
};

/// Number of SMS parts a text is counted as: 1 up to 70 characters, else length / 66 rounded up.
int partCount(const QString &text);

/// Moves a sent row to SendedOutBox with SendTime = resultTime and its part count as Total.
MoveOutcome moveToSendedOutBox(Database &db, qint64 id, const QDateTime &resultTime);

/// Moves a failed row to badoutbox with SendTime = resultTime and the reason in bad_why.
MoveOutcome moveToBadOutbox(Database &db, qint64 id, const QDateTime &resultTime,
                            const QString &badWhy);

/// An inbox row; arriveTime is the modem's time stamp text, stored as it is.
bool addInboxRow(Database &db, const QString &mbno, const QString &msg, const QString &arriveTime,
                 int comPort, QString *error = nullptr);

/// A report row; the three texts are the fields of one status-report record.
bool addReportRow(Database &db, const QString &rpMsg, const QString &sendTime,
                  const QString &arrivedTime, QString *error = nullptr);

/// An OnCall row for a call that rang on a port.
bool addCallRow(Database &db, const QString &mbno, const QDateTime &arriveTime, int comPort,
                QString *error = nullptr);

/// "select  count(*)  as  c  from  " + table, for the tables the gateway counts (outbox,
/// SendedOutBox, badoutbox, inbox, OnCall, report, comset); -1 on failure or another name.
qint64 countRows(Database &db, const QString &table);

} // namespace lonvera::db
