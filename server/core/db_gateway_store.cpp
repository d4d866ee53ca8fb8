// See db_gateway_store.h.
#include "server/core/db_gateway_store.h"

#include "server/db/device_table.h"
#include "server/db/outbox_queue.h"
#include "server/db/send_marks.h"
#include "server/db/traffic_tables.h"

namespace lonvera::server {

namespace {

OutboxMessage messageOf(const db::OutboxRow &row)
{
    return {row.id, row.mbno, row.msg, row.comPort, row.report};
}

Move moveOf(const db::MoveOutcome &outcome)
{
    Move m;
    switch (outcome.status) {
    case db::MoveStatus::Moved:
        m.status = MoveStatus::Moved;
        break;
    case db::MoveStatus::RowMissing:
        m.status = MoveStatus::RowMissing;
        break;
    case db::MoveStatus::Failed:
        m.status = MoveStatus::Failed;
        break;
    }
    m.message = messageOf(outcome.row);
    m.error = outcome.error;
    return m;
}

} // namespace

DbGatewayStore::DbGatewayStore(db::Database &database)
    : m_db(database), m_marks(db::ensureSendMarks(database))
{
}

QList<DeviceRecord> DbGatewayStore::devices(int limit, QString *error)
{
    QList<DeviceRecord> out;
    for (const db::DeviceRow &d : db::readDevices(m_db, limit, error)) {
        out.append({d.id, d.setName, d.inUseing, d.com, d.rate, d.serno, d.forNo, d.pace, d.msgMax,
                    d.msgSendedCount});
    }
    return out;
}

bool DbGatewayStore::setInUse(int id, const QString &inUseing, QString *error)
{
    std::optional<db::DeviceRow> device = db::readDevice(m_db, id, error);
    if (!device)
        return false;
    device->inUseing = inUseing;
    return db::writeDevice(m_db, *device, error);
}

bool DbGatewayStore::saveSentCounters(const QList<std::pair<int, qint64>> &counts, QString *error)
{
    return db::saveSentCounters(m_db, counts, error);
}

Claim DbGatewayStore::claimNext(int port, const QString &ranges, const QDateTime &now)
{
    // The due time is the database's own clock (or this machine's for the embedded kind); now
    // only dates the record that the row is being sent.
    const db::ClaimOutcome outcome = db::claimAndMark(m_db, port, ranges, now, m_marks);
    Claim c;
    switch (outcome.status) {
    case db::ClaimStatus::Claimed:
        c.status = ClaimStatus::Claimed;
        break;
    case db::ClaimStatus::NoRow:
        c.status = ClaimStatus::NoRow;
        break;
    case db::ClaimStatus::Failed:
        c.status = ClaimStatus::Failed;
        break;
    }
    c.message = messageOf(outcome.row);
    c.error = outcome.error;
    return c;
}

Move DbGatewayStore::moveToSent(qint64 id, const QDateTime &when)
{
    return moveOf(db::moveToSendedOutBox(m_db, id, when));
}

Move DbGatewayStore::moveToBad(qint64 id, const QDateTime &when, const QString &why)
{
    return moveOf(db::moveToBadOutbox(m_db, id, when, why));
}

bool DbGatewayStore::addInbox(const QString &mbno, const QString &msg, const QString &arriveTime,
                              int comPort, QString *error)
{
    return db::addInboxRow(m_db, mbno, msg, arriveTime, comPort, error);
}

bool DbGatewayStore::addReport(const QString &rpMsg, const QString &sendTime,
                               const QString &arrivedTime, QString *error)
{
    return db::addReportRow(m_db, rpMsg, sendTime, arrivedTime, error);
}

bool DbGatewayStore::addCall(const QString &mbno, const QDateTime &when, int comPort,
                             QString *error)
{
    return db::addCallRow(m_db, mbno, when, comPort, error);
}

qint64 DbGatewayStore::count(const QString &table)
{
    return db::countRows(m_db, table);
}

bool DbGatewayStore::unmarkSending(qint64 id, QString *error)
{
    return !m_marks || db::unmarkSending(m_db, id, error);
}

QList<SendMark> DbGatewayStore::sendMarks(int port, QString *error)
{
    QList<SendMark> out;
    if (!m_marks)
        return out;
    for (const db::SendMark &m : db::sendMarks(m_db, port, error))
        out.append({m.id, m.port, m.since});
    return out;
}

bool DbGatewayStore::sweepSendMarks(QString *error)
{
    return !m_marks || db::sweepSendMarks(m_db, error);
}

QList<int> DbGatewayStore::claimedPorts(QString *error)
{
    return db::claimedPorts(m_db, error);
}

int DbGatewayStore::releaseClaims(int port, QString *error)
{
    return db::releaseClaims(m_db, port, m_marks, error);
}

} // namespace lonvera::server
