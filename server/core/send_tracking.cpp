// Messages out with a worker, and what becomes of those whose result cannot come: the hand-over,
// the wait of the close sequence and of a paused device for the results still out, the decision
// on rows a port left half-sent in an earlier life (a killed server, a lost worker), and the
// return of rows claimed by a port that no longer serves them.
#include "server/core/gateway.h"

#include "worker/protocol/reports.h"

#include <QEventLoop>

namespace lonvera::server {

using namespace Qt::StringLiterals;

namespace {

int portOfCom(const QString &com)
{
    QString digits = com;
    digits.remove(u"COM"_s);
    return leadingInt(digits);
}

} // namespace

QString Gateway::outcomeUnknownText()
{
    return u"发送结果未知：发送中断，信息可能已发出"_s;
}

bool Gateway::atMostOnce() const
{
    return m_settings.isOn(keys::AtMostOnce);
}

int Gateway::staleClaimMinutes() const
{
    return m_settings.intValue(keys::ClaimTimeout, kStaleClaimMinutes);
}

void Gateway::handOver(int n, const OutboxMessage &m)
{
    Slot &s = slotRef(n);
    const QString r = s.worker->sendsmsA(QString::number(m.id), m.msg, m.mbno, m.report,
                                         m_loaded.sendValidity, s.pause);
    if (r == QStringView(worker::protocol::results::kYes)) {
        s.outId = m.id;
        s.recovery.out = SlotRecovery::Out{m.id, m.claimedNow, false};
        return;
    }
    // "Busy" keeps the claimed row with this port; a later tick offers it again. So does a call
    // that failed: waiting for a result that cannot come would leave the slot dead.
    s.idle = true;
    // Only "Busy" says the worker did not take the message; after a failed call it may have.
    if (r == QStringView(worker::protocol::results::kWorkerBusy) && m_store)
        m_store->unmarkSending(m.id, nullptr);
}

void Gateway::settleMessage(int n)
{
    slotRef(n).outId.reset();
    if (!m_resultWait)
        return;
    for (int k = 1; k <= kSlots; ++k) {
        if (slot(k).outId)
            return;
    }
    m_resultWait->quit();
}

bool Gateway::waitForResults(int limitMs)
{
    int longestPause = -1;
    for (int k = 1; k <= kSlots; ++k) {
        if (slot(k).outId)
            longestPause = std::max(longestPause, slot(k).pause);
    }
    if (longestPause < 0)
        return true;
    // The worker waits its pause before the exchange, so the limit counts from after it.
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(limitMs + longestPause * 1000);
    m_resultWait = &loop;
    loop.exec();
    m_resultWait = nullptr;
    bool all = true;
    for (int k = 1; k <= kSlots; ++k) {
        if (slot(k).outId) {
            cutWait(k);
            all = false;
        }
    }
    return all;
}

void Gateway::cutWait(int n)
{
    // The row keeps its record of being sent: the next connection of its port decides it.
    logDevice(n, u"等待信息 "_s + QString::number(*slot(n).outId) + u" 的发送结果超时，结果未知"_s);
}

void Gateway::finishPendingStop(int n, int generation)
{
    Slot &s = slotRef(n);
    if (!s.stopPending || s.stopGeneration != generation)
        return;
    if (s.outId)
        cutWait(n);
    stopDevice(n);
}

void Gateway::pauseDeviceRow(int n)
{
    if (!m_view->row(n))
        return;
    Slot &s = slotRef(n);
    if (!s.outId || !s.worker) {
        stopDevice(n);
        return;
    }
    // The message out is finished and recorded first; the device takes no new one meanwhile.
    if (s.stopPending)
        return;
    s.stopPending = true;
    const int generation = ++s.stopGeneration;
    QTimer::singleShot(m_resultWaitMs + s.pause * 1000, this,
                       [this, n, generation] { finishPendingStop(n, generation); });
}

void Gateway::decideInterruptedSends(int n)
{
    if (!m_store)
        return;
    QString error;
    const QList<SendMark> marks = m_store->sendMarks(slot(n).port, &error);
    if (!error.isEmpty() && !m_store->unavailable())
        logDevice(n, u"读取发送中的信息失败 "_s + error);
    for (const SendMark &m : marks) {
        const QString id = QString::number(m.id);
        if (!atMostOnce()) {
            // At least once: the row stays with this port and goes out again.
            m_store->unmarkSending(m.id, nullptr);
            logDevice(n, u"信息 "_s + id + u" 上次发送中断，结果未知，重新发送"_s);
            continue;
        }
        const Move move = m_store->moveToBad(m.id, now(), outcomeUnknownText());
        if (move.status == MoveStatus::Failed) {
            logDevice(n, u"信息 "_s + id + u" 的结果未能保存 "_s + move.error);
            continue;
        }
        logDevice(n, u"信息 "_s + id + u" 上次发送中断，结果未知，不再发送"_s);
    }
}

void Gateway::portLost(int port)
{
    if (m_portServed.contains(port) && !m_portDownSince.value(port).isValid())
        m_portDownSince.insert(port, now());
}

void Gateway::releaseStaleClaims()
{
    if (!m_store || m_closing)
        return;
    // The record of rows that have moved on is dropped here, not by every move.
    m_store->sweepSendMarks(nullptr);
    const int minutes = staleClaimMinutes();
    if (minutes <= 0)
        return;
    QSet<int> connected;
    for (int k = 1; k <= kSlots; ++k) {
        if (slot(k).connected && slot(k).worker)
            connected.insert(slot(k).port);
    }
    // A port that an in-use device names and this gateway never connected may be served by
    // another gateway on the same database: its rows are not ours to hand back.
    QSet<int> named;
    for (const DeviceRecord &d : m_store->devices(kSlots, nullptr)) {
        if (d.inUseing == u"启用"_s)
            named.insert(portOfCom(d.com));
    }
    const QDateTime time = now();
    QString error;
    for (int port : m_store->claimedPorts(&error)) {
        if (connected.contains(port)) {
            m_portDownSince.remove(port);
            continue;
        }
        if (!m_portServed.contains(port) && named.contains(port))
            continue;
        const QDateTime since = m_portDownSince.value(port);
        if (!since.isValid()) {
            m_portDownSince.insert(port, time);
            continue;
        }
        if (since.secsTo(time) >= qint64(minutes) * 60)
            returnClaims(port, minutes);
    }
}

void Gateway::returnClaims(int port, int minutes)
{
    QString error;
    int parked = 0;
    for (const SendMark &m : m_store->sendMarks(port, &error)) {
        if (!atMostOnce()) {
            m_store->unmarkSending(m.id, nullptr);
            continue;
        }
        if (m_store->moveToBad(m.id, now(), outcomeUnknownText()).status != MoveStatus::Failed)
            ++parked;
    }
    const int returned = m_store->releaseClaims(port, &error);
    if (returned < 0) {
        if (!m_store->unavailable())
            log(u"：退回端口 "_s + QString::number(port) + u" 的待发信息失败 "_s + error);
        return;
    }
    if (returned > 0 || parked > 0) {
        log(u"：端口 "_s + QString::number(port) + u" 已 "_s + QString::number(minutes) +
            u" 分钟未连接，"_s + QString::number(returned) + u" 条信息改由其他端口发送"_s +
            (parked > 0 ? u"，"_s + QString::number(parked) + u" 条结果未知的信息移入失败表"_s
                        : QString()));
    }
}

} // namespace lonvera::server
