// What the server core needs of its database, as one interface: the device table, the
// dispatcher's select-and-claim, the transactional move of a reported row, the received traffic
// and the table counts. The real store wraps the database layer; tests use a fake. Used on the
// server's thread only.
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <limits>
#include <optional>
#include <utility>

namespace lonvera::server {

/// One comset row.
struct DeviceRecord
{
    int id = 0;
    QString setName;
    QString inUseing;
    QString com;
    QString rate;
    QString serno;
    QString forNo;
    QString pace;
    qint64 msgMax = 0;
    qint64 msgSendedCount = 0;
};

/// One outbox row handed to a worker.
struct OutboxMessage
{
    qint64 id = 0;
    QString mbno;
    QString msg;
    int comPort = 0;
    int report = 0;
    /// The claim took the row from every port (its ComPort was 0).
    bool claimedNow = false;
};

enum class ClaimStatus { Claimed, NoRow, Failed };

struct Claim
{
    ClaimStatus status = ClaimStatus::NoRow;
    OutboxMessage message;
    QString error;
};

enum class MoveStatus { Moved, RowMissing, Failed };

struct Move
{
    MoveStatus status = MoveStatus::Failed;
    OutboxMessage message; ///< the row as it was; empty when it was missing
    QString error;
};

/// A row handed to a port's worker whose result was never recorded.
struct SendMark
{
    qint64 id = 0;
    int port = 0;
    QDateTime since;
};

class GatewayStore
{
public:
    virtual ~GatewayStore() = default;

    /// The first `limit` comset rows in id order.
    virtual QList<DeviceRecord> devices(int limit, QString *error) = 0;
    /// Sets InUseing of one device record.
    virtual bool setInUse(int id, const QString &inUseing, QString *error) = 0;
    /// The device record with this id; nullopt, with the reason, when there is none.
    virtual std::optional<DeviceRecord> device(int id, QString *error)
    {
        for (const DeviceRecord &d : devices(std::numeric_limits<int>::max(), error)) {
            if (d.id == id)
                return d;
        }
        return std::nullopt;
    }
    /// Writes every column of an existing device record.
    virtual bool writeDevice(const DeviceRecord &, QString *error)
    {
        if (error)
            *error = QStringLiteral("device records cannot be written here");
        return false;
    }
    /// The device list's statement: every column of the first `limit` comset rows in id order, in
    /// the connected engine's dialect.
    virtual QString deviceListQuery(int limit) const
    {
        return QStringLiteral("select * from comset order by id limit %1").arg(limit);
    }
    /// Saves MsgSendedCount per device id in one transaction.
    virtual bool saveSentCounters(const QList<std::pair<int, qint64>> &counts, QString *error) = 0;

    /// Selects the next due row for the port inside the ranges and makes it the port's own.
    virtual Claim claimNext(int port, const QString &ranges, const QDateTime &now) = 0;
    /// Moves a sent row to SendedOutBox; the outbox row is deleted in the same transaction.
    virtual Move moveToSent(qint64 id, const QDateTime &when) = 0;
    /// Moves a failed row to badoutbox; the outbox row is deleted in the same transaction.
    virtual Move moveToBad(qint64 id, const QDateTime &when, const QString &why) = 0;

    virtual bool addInbox(const QString &mbno, const QString &msg, const QString &arriveTime,
                          int comPort, QString *error) = 0;
    virtual bool addReport(const QString &rpMsg, const QString &sendTime,
                           const QString &arrivedTime, QString *error) = 0;
    virtual bool addCall(const QString &mbno, const QDateTime &when, int comPort,
                         QString *error) = 0;
    /// Row count of a table; -1 when it cannot be read.
    virtual qint64 count(const QString &table) = 0;

    // The record of rows being sent. claimNext writes it with the claim, the move drops it; a
    // store without it (an old server database) keeps these defaults and sends as before.
    /// Forgets that a row is being sent: the worker never took it, or the modem sent nothing.
    virtual bool unmarkSending(qint64 /*id*/, QString * /*error*/) { return true; }
    /// Rows of a port (0: every port) still in outbox that were handed over without a result.
    virtual QList<SendMark> sendMarks(int /*port*/, QString * /*error*/) { return {}; }
    /// Drops the record of rows that have left outbox.
    virtual bool sweepSendMarks(QString * /*error*/) { return true; }
    /// Ports that hold claimed rows (ComPort other than 0).
    virtual QList<int> claimedPorts(QString * /*error*/) { return {}; }
    /// Gives a port's claimed rows that are not marked back to every port; count, -1 on failure.
    virtual int releaseClaims(int /*port*/, QString * /*error*/) { return 0; }
    /// The database itself is faulty (lost, locked, not writable): the store has said so in the
    /// run log, and the failures of its calls are no news until it says the fault is over.
    virtual bool unavailable() const { return false; }
    /// Of the rows due now (any port), the one that has waited longest; none when none is due.
    virtual std::optional<OutboxMessage> oldestDue(const QDateTime & /*now*/, QDateTime * /*since*/,
                                                   QString * /*error*/)
    {
        return std::nullopt;
    }
    /// Gives a row this port claimed back to every port (ComPort 0) when nothing of it went.
    virtual bool returnClaim(qint64 /*id*/, int /*port*/, QString * /*error*/) { return false; }
};

} // namespace lonvera::server
