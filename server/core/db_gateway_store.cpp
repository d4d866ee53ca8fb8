// See db_gateway_store.h.
#include "server/core/db_gateway_store.h"

#include "server/db/database.h"
#include "server/db/db_fault.h"
#include "server/db/device_table.h"
#include "server/db/outbox_queue.h"
#include "server/db/send_marks.h"
#include "server/db/traffic_tables.h"

#include <QSqlQuery>
#include <QVariant>

namespace lonvera::server {

using namespace Qt::StringLiterals;

namespace {

// Rows whose SendTime is no date are looked for this often, and each is reported once.
constexpr qint64 kSendTimeCheckMs = 10000;
constexpr int kSendTimeReportLimit = 20;

OutboxMessage messageOf(const db::OutboxRow &row)
{
    return {row.id, row.mbno, row.msg, row.comPort, row.report, row.claimedNow};
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

QString faultLine(db::DbFault fault, const QString &reason)
{
    switch (fault) {
    case db::DbFault::Connection:
        return u"：数据库连接中断，信息保留，自动重连中 "_s + reason;
    case db::DbFault::Locked:
        return u"：数据库被其他程序锁定，信息保留，稍后重试 "_s + reason;
    case db::DbFault::Storage:
    case db::DbFault::None:
        break;
    }
    return u"：数据库无法写入，信息保留，稍后重试 "_s + reason;
}

const QString kUnavailable = u"数据库暂不可用"_s;

} // namespace

DbGatewayStore::DbGatewayStore(db::Database &database)
    : m_db(database), m_marks(db::ensureSendMarks(database))
{
}

template<typename Result, typename Call>
Result DbGatewayStore::guarded(QString *error, Result unavailable, Call call)
{
    if (!ready()) {
        if (error)
            *error = kUnavailable;
        return unavailable;
    }
    QString reason;
    Result result = call(&reason);
    if (reason.isEmpty())
        succeeded();
    else
        failed(reason);
    if (error)
        *error = reason;
    return result;
}

void DbGatewayStore::log(const QString &message) const
{
    if (m_log)
        m_log(message);
}

bool DbGatewayStore::ready()
{
    if (!m_faulty)
        return true;
    if (!m_retryAt.hasExpired())
        return false;
    if (m_lost) {
        const db::OpenOutcome reopened = m_db.reopen();
        if (!reopened.ok()) {
            failed(reopened.description.isEmpty() ? kUnavailable : reopened.description);
            return false;
        }
        m_lost = false;
    }
    // What was received meanwhile goes in first, in the order it came.
    return writeKept();
}

bool DbGatewayStore::failed(const QString &error)
{
    const db::DbFault fault = m_lost ? db::DbFault::Connection : db::diagnoseFault(m_db, error);
    if (fault == db::DbFault::None) {
        // The database answered: the statement failed on its own, and the database is back.
        succeeded();
        return false;
    }
    enterFault(fault, error);
    return true;
}

void DbGatewayStore::enterFault(db::DbFault fault, const QString &error)
{
    if (fault == db::DbFault::Connection)
        m_lost = true;
    if (!m_faulty) {
        m_faulty = true;
        m_attempts = 0;
        log(faultLine(fault, error));
    }
    ++m_attempts;
    // Another program's lock usually ends within seconds: the next tick tries again. A lost
    // server or a full disk is asked less and less often.
    m_pauseSeconds = fault == db::DbFault::Locked ? 1 : std::min(m_attempts, kMaxPauseSeconds);
    m_retryAt.setRemainingTime(std::chrono::seconds(m_pauseSeconds));
}

void DbGatewayStore::succeeded()
{
    if (!m_faulty)
        return;
    m_faulty = false;
    m_attempts = 0;
    log(u"：数据库已恢复"_s);
}

bool DbGatewayStore::writeRow(const KeptRow &row, QString *error)
{
    switch (row.table) {
    case KeptRow::Table::Inbox:
        return db::addInboxRow(m_db, row.a, row.b, row.c, row.comPort, error);
    case KeptRow::Table::Report:
        return db::addReportRow(m_db, row.a, row.b, row.c, error);
    case KeptRow::Table::Call:
        return db::addCallRow(m_db, row.a, row.when, row.comPort, error);
    }
    return false;
}

bool DbGatewayStore::writeKept()
{
    while (!m_kept.empty()) {
        QString error;
        if (!writeRow(m_kept.front(), &error)) {
            if (failed(error))
                return false;
            // Refused by the database for a reason of its own: it would never pass.
            log(u"：保存收到的记录失败 "_s + error);
        }
        m_kept.pop_front();
    }
    return true;
}

bool DbGatewayStore::keepOrWrite(KeptRow row, QString *error)
{
    if (ready()) {
        QString reason;
        if (writeRow(row, &reason)) {
            succeeded();
            return true;
        }
        if (!failed(reason)) {
            if (error)
                *error = reason;
            return false;
        }
    }
    // Received from the network and already gone from the modem: kept here until the database
    // takes it again.
    m_kept.push_back(std::move(row));
    return true;
}

QList<DeviceRecord> DbGatewayStore::devices(int limit, QString *error)
{
    QList<DeviceRecord> out;
    if (!ready()) {
        if (error)
            *error = kUnavailable;
        return out;
    }
    QString reason;
    const QList<db::DeviceRow> rows = db::readDevices(m_db, limit, &reason);
    if (!reason.isEmpty() && failed(reason)) {
        if (error)
            *error = reason;
        return out;
    }
    if (reason.isEmpty())
        succeeded();
    else if (error)
        *error = reason;
    for (const db::DeviceRow &d : rows) {
        out.append({d.id, d.setName, d.inUseing, d.com, d.rate, d.serno, d.forNo, d.pace, d.msgMax,
                    d.msgSendedCount});
    }
    return out;
}

bool DbGatewayStore::setInUse(int id, const QString &inUseing, QString *error)
{
    if (!ready()) {
        if (error)
            *error = kUnavailable;
        return false;
    }
    QString reason;
    std::optional<db::DeviceRow> device = db::readDevice(m_db, id, &reason);
    bool ok = false;
    if (device) {
        device->inUseing = inUseing;
        ok = db::writeDevice(m_db, *device, &reason);
    }
    if (ok)
        succeeded();
    else if (!reason.isEmpty())
        failed(reason);
    if (!ok && error)
        *error = reason;
    return ok;
}

bool DbGatewayStore::saveSentCounters(const QList<std::pair<int, qint64>> &counts, QString *error)
{
    if (!ready()) {
        if (error)
            *error = kUnavailable;
        return false;
    }
    QString reason;
    const bool ok = db::saveSentCounters(m_db, counts, &reason);
    if (ok)
        succeeded();
    else
        failed(reason);
    if (!ok && error)
        *error = reason;
    return ok;
}

Claim DbGatewayStore::claimNext(int port, const QString &ranges, const QDateTime &now)
{
    Claim c;
    if (!ready()) {
        c.status = ClaimStatus::Failed;
        c.error = kUnavailable;
        return c;
    }
    reportUnreadableSendTimes();
    // The due time is the database's own clock (or this machine's for the embedded kind); now
    // only dates the record that the row is being sent.
    const db::ClaimOutcome outcome = db::claimAndMark(m_db, port, ranges, now, m_marks);
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
    if (c.status == ClaimStatus::Failed)
        failed(outcome.error);
    else
        succeeded();
    c.message = messageOf(outcome.row);
    c.error = outcome.error;
    return c;
}

void DbGatewayStore::reportUnreadableSendTimes()
{
    if (m_sendTimeCheck.isValid() && !m_sendTimeCheck.hasExpired(kSendTimeCheckMs))
        return;
    m_sendTimeCheck.start();
    const QList<db::UnreadableSendTime> rows = db::unreadableSendTimes(m_db, kSendTimeReportLimit);
    QSet<qint64> still;
    for (const db::UnreadableSendTime &row : rows) {
        still.insert(row.id);
        if (m_reportedSendTimes.contains(row.id))
            continue;
        log(u"：待发信息 "_s + QString::number(row.id) + u" 的发送时间“"_s + row.sendTime +
            u"”不是日期，该信息不会发送，请改正发送时间"_s);
    }
    // A row that was corrected (or deleted) and spoiled again is reported again.
    m_reportedSendTimes = still;
}

Move DbGatewayStore::moveToSent(qint64 id, const QDateTime &when)
{
    return move(id, when, true, {});
}

Move DbGatewayStore::moveToBad(qint64 id, const QDateTime &when, const QString &why)
{
    return move(id, when, false, why);
}

Move DbGatewayStore::move(qint64 id, const QDateTime &when, bool sent, const QString &why)
{
    Move m;
    if (!ready()) {
        m.error = kUnavailable;
        return m;
    }
    if (m_uncertainMoves.contains(id)) {
        // The connection broke while this move was committing: when its row is gone the move went
        // through, and a second result row would count the message twice.
        QSqlQuery probe(m_db.connection());
        probe.prepare(u"select count(*) from outbox where id=?"_s);
        probe.addBindValue(id);
        if (!probe.exec() || !probe.next()) {
            failed(probe.lastError().text());
            m.error = kUnavailable;
            return m;
        }
        if (probe.value(0).toLongLong() == 0) {
            m_uncertainMoves.remove(id);
            succeeded();
            m.status = MoveStatus::Moved;
            m.message.id = id;
            return m;
        }
    }
    m = moveOf(sent ? db::moveToSendedOutBox(m_db, id, when)
                    : db::moveToBadOutbox(m_db, id, when, why));
    if (m.status == MoveStatus::Failed) {
        failed(m.error);
        if (m_lost)
            m_uncertainMoves.insert(id);
    } else {
        m_uncertainMoves.remove(id);
        succeeded();
    }
    return m;
}

bool DbGatewayStore::addInbox(const QString &mbno, const QString &msg, const QString &arriveTime,
                              int comPort, QString *error)
{
    return keepOrWrite({KeptRow::Table::Inbox, mbno, msg, arriveTime, {}, comPort}, error);
}

bool DbGatewayStore::addReport(const QString &rpMsg, const QString &sendTime,
                               const QString &arrivedTime, QString *error)
{
    return keepOrWrite({KeptRow::Table::Report, rpMsg, sendTime, arrivedTime, {}, 0}, error);
}

bool DbGatewayStore::addCall(const QString &mbno, const QDateTime &when, int comPort,
                             QString *error)
{
    return keepOrWrite({KeptRow::Table::Call, mbno, {}, {}, when, comPort}, error);
}

qint64 DbGatewayStore::count(const QString &table)
{
    if (!ready())
        return -1;
    const qint64 c = db::countRows(m_db, table);
    if (c >= 0) {
        succeeded();
    } else {
        // countRows keeps no reason; a lost server or a lock fails the probe the same way.
        failed(QString());
    }
    return c;
}

std::optional<OutboxMessage> DbGatewayStore::oldestDue(const QDateTime &now, QDateTime *since,
                                                       QString *error)
{
    std::optional<db::OutboxRow> row =
        guarded(error, std::optional<db::OutboxRow>(),
                [&](QString *reason) { return db::oldestDueRow(m_db, now, reason); });
    if (!row)
        return std::nullopt;
    *since = row->sendTime;
    return messageOf(*row);
}

bool DbGatewayStore::returnClaim(qint64 id, int port, QString *error)
{
    return guarded(error, false,
                   [&](QString *reason) { return db::returnClaim(m_db, id, port, reason); });
}

bool DbGatewayStore::unmarkSending(qint64 id, QString *error)
{
    if (!m_marks)
        return true;
    return guarded(error, false,
                   [&](QString *reason) { return db::unmarkSending(m_db, id, reason); });
}

QList<SendMark> DbGatewayStore::sendMarks(int port, QString *error)
{
    QList<SendMark> out;
    if (!m_marks)
        return out;
    const QList<db::SendMark> marks = guarded(error, QList<db::SendMark>{}, [&](QString *reason) {
        return db::sendMarks(m_db, port, reason);
    });
    for (const db::SendMark &m : marks)
        out.append({m.id, m.port, m.since});
    return out;
}

bool DbGatewayStore::sweepSendMarks(QString *error)
{
    if (!m_marks)
        return true;
    return guarded(error, false, [&](QString *reason) { return db::sweepSendMarks(m_db, reason); });
}

QList<int> DbGatewayStore::claimedPorts(QString *error)
{
    return guarded(error, QList<int>{},
                   [&](QString *reason) { return db::claimedPorts(m_db, reason); });
}

int DbGatewayStore::releaseClaims(int port, QString *error)
{
    return guarded(error, -1,
                   [&](QString *reason) { return db::releaseClaims(m_db, port, m_marks, reason); });
}

} // namespace lonvera::server
