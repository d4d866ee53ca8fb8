// See qxsms.h.
#include "worker/qxsms.h"

#include "control/replies/send_verdict.h"
#include "control/send_results.h"
#include "control/tarvex.h"
#include "worker/clock_form.h"
#include "worker/protocol/reports.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>

namespace lonvera::worker {

namespace {

namespace reports = protocol::reports;
using protocol::ReportKind;
namespace results = protocol::results;

QString text(const char16_t *t)
{
    return QString::fromUtf16(t);
}

// Set by ClosePort, cleared only when a worker is created on the thread: a send or a round
// requested later on this thread ends at once.
thread_local bool t_stopFlag = false;

// The deferral every task waits before it runs; callers' timing rests on it.
constexpr int kDeferralMs = 100;
// The shortest pre-send wait half, used when the caller asks for no pause at all.
constexpr int kShortestHalfMs = 38;

} // namespace

QXSms::CallScope::CallScope(QXSms *worker) : m_worker(worker)
{
    ++m_worker->m_depth;
}

QXSms::CallScope::~CallScope()
{
    // The last frame of a released worker leaves the stack: now it may go.
    if (--m_worker->m_depth == 0 && m_worker->m_released)
        m_worker->deleteLater();
}

QXSms::QXSms(QObject *parent) : QObject(parent), m_form(new ClockForm(this))
{
    setObjectName(QStringLiteral("QXSms"));
    m_form->timClock()->stop();
    connect(m_form->timClock(), &QTimer::timeout, this, &QXSms::onClock);

    control::Tarvex *tarvex = m_form->Tarvex1();
    connect(tarvex, &control::Tarvex::OnStatusChange, this, [this] {
        CallScope scope(this);
        emit OnStatusChange(control()->Isbusy());
        resumeAfterControl();
    });
    connect(tarvex, &control::Tarvex::OnRecvMsg, this, [this] {
        CallScope scope(this);
        emit OnRevMsg(control()->NewMsg());
    });
    connect(tarvex, &control::Tarvex::OnRevReport, this, [this] {
        CallScope scope(this);
        emit OnReceipt(control()->NewReport());
    });
    connect(tarvex, &control::Tarvex::OnCall, this, &QXSms::onControlCall);

    t_stopFlag = false;
}

QXSms::~QXSms()
{
    control::Tarvex *tarvex = m_form->Tarvex1();
    tarvex->disconnect(this);
    if (!m_released)
        tarvex->ClosePort();
}

bool QXSms::threadStopFlag()
{
    return t_stopFlag;
}

control::Tarvex *QXSms::control()
{
    return m_form->Tarvex1();
}
control::Tarvex *QXSms::oTarvex() const
{
    return m_form->Tarvex1();
}
QTimer *QXSms::oTimer() const
{
    return m_form->timClock();
}

qint16 QXSms::Comport() const
{
    return oTarvex()->CommPort();
}

void QXSms::setComport(qint16 port)
{
    CallScope scope(this);
    control()->setCommPort(port);
}

QString QXSms::Settings() const
{
    return oTarvex()->Settings();
}

bool QXSms::setSettings(const QString &settings)
{
    CallScope scope(this);
    return control()->setSettings(settings);
}

QString QXSms::Smsservice() const
{
    return oTarvex()->SmsService();
}

void QXSms::setSmsservice(const QString &number)
{
    CallScope scope(this);
    control()->setSmsService(number);
}

void QXSms::Connect(qint16 WaitTime, bool AutoRevMsg)
{
    Task task;
    task.code = ConnectTask;
    task.waitTime = WaitTime;
    task.autoRevMsg = AutoRevMsg;
    defer(std::move(task));
}

void QXSms::Dailphone(const QString &PhoneStr1)
{
    Task task;
    task.code = DialTask;
    task.phoneNumber = PhoneStr1;
    defer(std::move(task));
}

void QXSms::DVts123(const QString &key123)
{
    Task task;
    task.code = KeysTask;
    task.keyString = key123;
    defer(std::move(task));
}

QString QXSms::SendsmsA(const QString &ppidd, const QString &msg1, const QString &mb1, qint16 rp1,
                        bool pV, qint16 waittm)
{
    if (control()->Isbusy())
        return text(results::kWorkerBusy);
    Task task;
    task.code = SendTask;
    task.ppidd = ppidd;
    task.msg1 = msg1;
    task.mb1 = mb1;
    task.rp1 = rp1;
    task.pV = pV;
    task.waittm = waittm;
    defer(std::move(task));
    return text(results::kYes);
}

void QXSms::Dovote_task(const QString &mb, qint16 voteMax1, const std::array<qint16, 8> &waits,
                        const std::array<QString, 8> &keys)
{
    Task task;
    task.code = RoundsTask;
    task.plan.phoneNumber = mb;
    task.plan.rounds = voteMax1;
    for (size_t i = 0; i < waits.size(); ++i) {
        task.plan.waitTimes[i] = waits[i];
        task.plan.keyTexts[i] = keys[i];
    }
    defer(std::move(task));
}

void QXSms::ReadMsg()
{
    Task task;
    task.code = ReadTask;
    defer(std::move(task));
}

void QXSms::HandupCall()
{
    CallScope scope(this);
    m_hangupFlag = true;
    report(text(reports::kHangingUp));
    const bool hungUp = control()->HangUpCall();
    report(text(hungUp ? reports::kHungUp : reports::kHangUpFailed));
    report(text(reports::kClosingPort));
    const QString closed = control()->ClosePort();
    report(text(closed == text(results::kYes) ? reports::kClosed : reports::kCloseFailed));
}

void QXSms::ClosePort()
{
    t_stopFlag = true;
    Task task;
    task.code = CloseTask;
    defer(std::move(task));
}

void QXSms::release()
{
    if (m_released)
        return;
    CallScope scope(this);
    m_released = true;
    m_queue.clear();
    m_form->timClock()->stop();
    for (QEventLoop *loop : std::as_const(m_waits))
        loop->quit();
    // Ends every wait of the control as well, so a running task unwinds promptly.
    control()->ClosePort();
}

void QXSms::defer(Task task)
{
    if (m_released)
        return;
    m_taskCode = task.code;
    const bool urgent = task.code == CloseTask;
    // A request never replaces one that has not run yet: a dropped send would leave its message
    // claimed and never reported. Requests run in order, none sooner than the deferral after
    // it was made; a pending earlier request keeps its own time.
    task.due = QDeadlineTimer(kDeferralMs, Qt::PreciseTimer);
    m_queue.push_back(std::move(task));
    if (urgent || (m_runningTask == NoTask && !m_form->timClock()->isActive()))
        m_form->timClock()->start(kDeferralMs);
}

void QXSms::startNextDeferral()
{
    // The server asks for a read and the next send together every few results; the send has
    // waited its deferral while the read ran and need not wait a second one.
    m_form->timClock()->start(int(m_queue.front().due.remainingTime()));
}

void QXSms::onClock()
{
    CallScope scope(this);
    m_form->timClock()->stop();
    if (m_released)
        return;
    if (m_runningTask != NoTask) {
        // Inside a running task's wait only a close may cut in (it ends the running task's
        // command); everything else waits its turn.
        auto close = std::find_if(m_queue.begin(), m_queue.end(),
                                  [](const Task &t) { return t.code == CloseTask; });
        if (close == m_queue.end())
            return;
        Task task = std::move(*close);
        m_queue.erase(close);
        runTask(task);
        return;
    }
    if (m_queue.empty())
        return;
    if (control()->portInUse() && m_queue.front().code != CloseTask) {
        // The control's own work (a read after "+CMTI", its timers, a ring) owns the port: the
        // task waits its turn rather than being refused or mixing its commands into that work.
        // Its end restarts us; the deferral is the fallback for work that ends without one.
        m_waitingForControl = true;
        m_form->timClock()->start(kDeferralMs);
        return;
    }
    Task task = std::move(m_queue.front());
    m_queue.pop_front();
    runTask(task);
    if (!m_released && !m_queue.empty() && !m_form->timClock()->isActive())
        startNextDeferral();
}

void QXSms::resumeAfterControl()
{
    if (!m_waitingForControl || m_released || control()->Isbusy())
        return;
    m_waitingForControl = false;
    // Checked again when the timer fires: the control may still be finishing its work.
    if (!m_queue.empty())
        m_form->timClock()->start(0);
}

void QXSms::runTask(Task &task)
{
    const qint16 outer = m_runningTask;
    m_runningTask = task.code;
    lonvera::worker::DialTask dialing(*this);
    switch (task.code) {
    case ConnectTask:
        runConnect(task);
        break;
    case DialTask:
        dialing.dial(task.phoneNumber);
        break;
    case KeysTask:
        dialing.pressKeys(task.keyString);
        break;
    case SendTask:
        runSend(task);
        break;
    case RoundsTask:
        dialing.runRounds(task.plan);
        break;
    case ReadTask:
        runRead();
        break;
    case CloseTask:
        runClose();
        break;
    default:
        break;
    }
    m_runningTask = outer;
}

void QXSms::runConnect(const Task &task)
{
    m_hangupFlag = false;
    report(protocol::fixedReport(ReportKind::Connecting));
    const QString result = control()->Connect(task.waitTime);
    if (result != QLatin1String("y")) {
        // A modem that did not answer is what "not found" says already; any other reason (the
        // SIM, the port) goes with it.
        const bool named = control::hasNamedReason(control()->lastConnectFailure());
        report(protocol::notFoundReport(named ? result : QString()));
        return;
    }
    const QString model = control()->M_model().toString();
    report(protocol::connectedReport(model, control()->CommPort()));
    if (!task.autoRevMsg)
        control()->RevAutoClose();
}

void QXSms::runSend(Task &task)
{
    report(protocol::fixedReport(ReportKind::Waiting));
    int half = task.waittm * 500;
    if (half == 0)
        half = kShortestHalfMs;
    if (!pause(half) || !pause(half))
        return; // released: no client is left to tell
    // Nothing has gone yet; a close that stops the task now still tells the client so, and the
    // row it claimed is not left waiting for a result that never comes.
    QString result = control::SendResult::InterruptedNothingSent.toString();
    for (int attempt = 1; attempt <= 2; ++attempt) {
        if (m_released)
            return;
        if (t_stopFlag)
            break;
        report(protocol::sendingReport(attempt));
        // The text goes by reference: a text with "@" grows by one U+3000 per attempt.
        result = control()->Sendsms(task.msg1, task.mb1, task.rp1, task.pV);
        // A close during the attempt: the result says how far it got; no second attempt.
        if (result == QLatin1String("y") || control::SendResult::isInterrupted(result))
            break;
        // No second attempt when the link is gone, the modem went silent (the message may have
        // gone already) or the network refused the message for good.
        if (control::endsTheAttempts(control::judgeSendResult(result).outcome))
            break;
    }
    emit OnSendReport(task.ppidd, result);
}

void QXSms::runRead()
{
    qint16 state = 2; // all stored messages
    emit OnRevMsg(control()->ReadMsg(state));
}

void QXSms::runClose()
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (control()->ClosePort() == QLatin1String("y")) {
            report(text(reports::kPortClosed));
            return;
        }
    }
}

void QXSms::onControlCall(const QVariant &phoneNo)
{
    CallScope scope(this);
    // The control says "无法获得来电号码！" when it could not learn the number: nothing to do.
    if (phoneNo.toString().contains(QStringLiteral("无法")))
        return;
    // Every identified call is rejected before the client hears of it.
    control()->HangUpCall();
    if (!m_released)
        emit OnInCall(phoneNo);
}

bool QXSms::pause(int ms)
{
    if (m_released)
        return false;
    if (ms <= 0) {
        QCoreApplication::processEvents();
        return !m_released;
    }
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(ms);
    m_waits.append(&loop);
    loop.exec();
    m_waits.removeOne(&loop);
    return !m_released;
}

} // namespace lonvera::worker
