// The record that an outbox row is being sent (table outbox_sending): written in the one
// transaction that claims the row for a port, so it is on disk before the worker starts the
// exchange with the modem, and dropped once the row's result is recorded. What is still marked
// after a crash or a lost worker may have gone out; the server decides those rows instead of
// sending them blindly. Runs on the thread that owns the Database.
#pragma once

#include "server/db/database.h"
#include "server/db/outbox_queue.h"

#include <QDateTime>
#include <QList>
#include <QString>

namespace lonvera::db {

/// A marked row: handed to the worker of a port, no result recorded yet.
struct SendMark
{
    qint64 id = 0;
    int port = 0;
    QDateTime since;
};

/// True when the database has the table. A default database (SQLite) made by an older version
/// gets it here; the other engines get it from their schema script, and without it the server
/// only loses the record (it sends as before).
bool ensureSendMarks(Database &db, QString *error = nullptr);

/// Selects the next row for a port, claims it and marks it as being sent, in one transaction.
/// A row the port had claimed before is marked again. With markSends false nothing is marked
/// (a database without the table) and the claim is the plain one.
ClaimOutcome claimAndMark(Database &db, int port, const QString &ranges, const QDateTime &since,
                          bool markSends);

/// Forgets the mark of one row: it was never handed over, the modem took nothing, or its fate
/// has been decided.
bool unmarkSending(Database &db, qint64 id, QString *error = nullptr);

/// Marks of rows still in outbox for a port (0: every port), oldest first.
QList<SendMark> sendMarks(Database &db, int port, QString *error = nullptr);

/// Drops the marks whose row has left outbox (moved with its result, or deleted by hand): the
/// move itself does not pay for it.
bool sweepSendMarks(Database &db, QString *error = nullptr);

/// Ports that hold claimed rows of outbox (ComPort other than 0).
QList<int> claimedPorts(Database &db, QString *error = nullptr);

/// Gives a port's claimed, unmarked rows back to every port (ComPort 0); the number of rows, -1
/// on failure. withMarks: the database has the table (marked rows are left to their decision).
int releaseClaims(Database &db, int port, bool withMarks, QString *error = nullptr);

} // namespace lonvera::db
