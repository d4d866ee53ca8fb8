// Devices that go away and come back without the operator: a worker server that died or hung, a
// modem whose port is gone (unplugged), a modem that stopped answering. While its device is away
// the slot takes no message; the message it had out is settled (back to the queue when nothing of
// it went, to badoutbox as outcome unknown when it may have gone); the device is connected again
// after a growing pause (1 s, 2 s … 60 s) while its port cannot be opened, or at once when its
// device node comes back (a modem plugged in again); a modem whose node is there but that did not
// answer is asked again every second with a short probe, so it is back as soon as it answers. The
// attempts are cheap on a port nobody else may use ("at" once a second). The run log says
// once that it went and once that it is back, never a line per attempt. The result of every send is
// read here first: a lost link, a silent modem, a temporary and a permanent refusal each take their
// own road.
#include "server/core/gateway.h"

#include "control/replies/send_verdict.h"
#include "platform/paths.h"
#include "worker/protocol/reports.h"

namespace lonvera::server {

using namespace Qt::StringLiterals;
using control::SendOutcome;
namespace protocol = worker::protocol;

namespace {

constexpr int kLongestPauseSeconds = 60;
// A modem that was connected before answers "at" within tens of milliseconds: a second per
// handshaking mode is plenty, and a short attempt notices a modem that answers again sooner
// than the nine seconds a first connect gives it.
constexpr int kRecoveryProbeSeconds = 1;
// The pause between attempts on a modem that is there but silent.
constexpr int kAnswerPollMs = 1000;
// How long the worker server may go without a call while messages are out: a hung server
// answers no event, so it is asked something now and then and found out by the time-out.
constexpr int kPingIntervalMs = 5000;

int growingPauseMs(int attempts)
{
    return std::min(kLongestPauseSeconds, 1 << std::min(attempts, 6)) * 1000;
}

} // namespace

void Gateway::deviceLost(int n, const QString &why)
{
    Slot &s = slotRef(n);
    s.connected = false;
    s.idle = false;
    if (m_closing || m_shutdown || !s.recovery.wanted)
        return;
    portLost(s.port);
    if (!s.recovery.lost) {
        beginRecovery(n);
        logDevice(n, why + u"，将自动重新连接"_s);
        m_view->setLight(n, Light::NotConnected);
        m_view->setRowState(n, u"--"_s);
        updateBusyState();
    }
    scheduleReconnect(n);
}

void Gateway::keepTryingFirstConnect(int n)
{
    // A port of this machine (named by a link of its prefix) that cannot be opened or does not
    // answer at its first connect is often on its way: a USB modem enumerated after the gateway
    // started, or a port the worker server of a run that crashed still holds while it finishes
    // an exchange (a row that port had claimed would wait for it for ever). It is tried again in
    // the background as a lost device is; the one "未找到设备" line stands until it connects. A
    // port without a link may be another machine's (gateways sharing one database): left alone.
    Slot &s = slotRef(n);
    if (!platform::comPortLinked(s.port)) {
        s.recovery.wanted = false;
        return;
    }
    if (m_closing || m_shutdown || !s.recovery.wanted)
        return;
    beginRecovery(n);
    scheduleReconnect(n);
}

void Gateway::beginRecovery(int n)
{
    SlotRecovery &r = slotRef(n).recovery;
    r.lost = true;
    r.attempts = 0;
    r.nodeBack = false;
    r.lostSince.start();
    m_nodeWatch.watch(slot(n).port);
}

void Gateway::scheduleReconnect(int n)
{
    SlotRecovery &r = slotRef(n).recovery;
    if (r.nodeBack) {
        // The attempt that failed may have looked before the modem was back.
        r.nodeBack = false;
        m_reconnectTimers[std::size_t(n - 1)].start(0);
        return;
    }
    m_reconnectTimers[std::size_t(n - 1)].start(growingPauseMs(r.attempts));
    ++r.attempts;
}

void Gateway::deviceNodeAppeared(int port)
{
    for (int n = 1; n <= kSlots; ++n) {
        Slot &s = slotRef(n);
        if (s.port != port || !s.recovery.lost || !s.recovery.wanted)
            continue;
        QTimer &timer = m_reconnectTimers[std::size_t(n - 1)];
        // Waiting out a pause: tried now. An attempt under way: tried again when it fails.
        if (timer.isActive())
            timer.start(0);
        else
            s.recovery.nodeBack = true;
    }
}

void Gateway::reconnectDevice(int n)
{
    Slot &s = slotRef(n);
    if (m_closing || m_shutdown || !s.recovery.wanted || !s.recovery.lost)
        return;
    if (s.worker) {
        // The same worker connects again; a worker server that is gone reports its loss, which
        // brings a fresh one.
        s.worker->connectDevice(kRecoveryProbeSeconds, true);
        return;
    }
    connectDevice(n, s.port, s.recovery.rate, s.recovery.serno, s.recovery.forNo, s.pause);
    if (!slot(n).worker)
        scheduleReconnect(n);
}

bool Gateway::recoveryTakesReport(int n, const protocol::StatusReport &report)
{
    Slot &s = slotRef(n);
    if (report.kind == protocol::ReportKind::Sending && s.recovery.out)
        s.recovery.out->exchangeStarted = true;
    if (!s.recovery.lost)
        return false;
    // The attempts of a device that is away are not logged one by one.
    if (report.kind == protocol::ReportKind::Connecting)
        return true;
    if (report.kind == protocol::ReportKind::NotFound) {
        // A port whose node is there held a modem that did not answer: waiting out a grown pause
        // would keep a modem that answers again idle for up to a minute.
        if (!s.recovery.nodeBack && DeviceNodeWatch::nodeExists(s.port))
            m_reconnectTimers[std::size_t(n - 1)].start(kAnswerPollMs);
        else
            scheduleReconnect(n);
        return true;
    }
    if (report.kind == protocol::ReportKind::Connected) {
        s.recovery.lost = false;
        s.recovery.attempts = 0;
        s.recovery.nodeBack = false;
        m_reconnectTimers[std::size_t(n - 1)].stop();
        m_nodeWatch.forget(s.port);
        // A device first connected now has not come back from anywhere.
        if (!m_portServed.contains(s.port))
            return false;
        const qint64 seconds = s.recovery.lostSince.elapsed() / 1000;
        logDevice(n, u"设备已恢复连接，中断 "_s + QString::number(seconds) + u" 秒"_s);
    }
    return false;
}

void Gateway::returnRow(int n, qint64 id)
{
    if (!m_store)
        return;
    // Nothing of it went: it is no longer being sent.
    m_store->unmarkSending(id, nullptr);
    const std::optional<SlotRecovery::Out> out = slot(n).recovery.out;
    // A row this gateway took from every port goes back to every port, so another modem of its
    // range takes it; a row the application addressed to this port waits for it.
    if (!out || out->id != id || !out->claimedHere)
        return;
    QString error;
    if (!m_store->returnClaim(id, slot(n).port, &error) && !error.isEmpty())
        logDevice(n, u"退回信息 "_s + QString::number(id) + u" 失败 "_s + error);
}

void Gateway::settleLostMessage(int n)
{
    Slot &s = slotRef(n);
    if (!s.recovery.out)
        return;
    const SlotRecovery::Out out = *s.recovery.out;
    if (!out.exchangeStarted) {
        // The worker had not begun the exchange: nothing went.
        returnRow(n, out.id);
    } else if (m_store) {
        // It may have gone: sending it again could send it twice.
        const Move move = m_store->moveToBad(out.id, now(), outcomeUnknownText());
        logDevice(n, u"信息 "_s + QString::number(out.id) +
                         (move.status == MoveStatus::Failed
                              ? u" 的结果未能保存 "_s + move.error
                              : u" 发送中短信工作服务中断，结果未知，不再发送"_s));
    }
    s.recovery.out.reset();
}

bool Gateway::settleSendResult(int n, qint64 id, const QString &result, QString *stored)
{
    Slot &s = slotRef(n);
    const control::SendVerdict verdict = control::judgeSendResult(result);
    // A refusal is stored as its short reason with the modem's number, not as the transcript.
    *stored = verdict.outcome == SendOutcome::Sent ? result : verdict.reason;
    switch (verdict.outcome) {
    case SendOutcome::LinkLost:
    case SendOutcome::NotResponding:
        // A fault of the port or the modem is not a fault of the message: it waits for a device.
        returnRow(n, id);
        s.recovery.out.reset();
        deviceLost(n,
                   verdict.outcome == SendOutcome::LinkLost ? u"设备连接中断"_s : u"设备无响应"_s);
        return true;
    case SendOutcome::OutcomeUnknown: {
        s.recovery.out.reset();
        const QDateTime when = now();
        const QString why = outcomeUnknownText();
        if (!finishMove(n, id, why, when))
            s.pendingMove = Slot::PendingMove{id, why, when};
        deviceLost(n, u"设备连接中断"_s);
        return true;
    }
    case SendOutcome::Temporary:
        // The row stays with this port for a later try; the slot waits a growing pause first.
        s.recovery.out.reset();
        s.recovery.holdMs = growingPauseMs(s.recovery.holds++);
        s.recovery.holdSince.start();
        if (verdict.reason != s.recovery.lastHoldReason)
            logDevice(n, u"信息 "_s + QString::number(id) + u" 暂时无法发送，稍后重发："_s +
                             verdict.reason);
        s.recovery.lastHoldReason = verdict.reason;
        s.idle = true;
        return true;
    case SendOutcome::Refused:
    case SendOutcome::Failed:
    case SendOutcome::Sent:
    case SendOutcome::Busy:
        break;
    }
    s.recovery.out.reset();
    if (verdict.outcome == SendOutcome::Sent) {
        s.recovery.holds = 0;
        s.recovery.lastHoldReason.clear();
    }
    return false;
}

bool Gateway::heldOff(int n)
{
    const SlotRecovery &r = slot(n).recovery;
    return r.holdMs > 0 && r.holdSince.isValid() && r.holdSince.elapsed() < r.holdMs;
}

void Gateway::checkWorkerServer()
{
    if (m_lastPing.isValid() && m_lastPing.elapsed() < kPingIntervalMs)
        return;
    for (int k = 1; k <= kSlots; ++k) {
        const Slot &s = slot(k);
        if (s.worker && (s.recovery.out || (s.recovery.wanted && !s.connected))) {
            m_lastPing.start();
            s.worker->ping();
            return;
        }
    }
}

} // namespace lonvera::server
