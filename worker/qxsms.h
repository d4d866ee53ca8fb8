// The worker QXSms: drives one modem through its control Tarvex1, turns most calls into deferred
// tasks run from its timer timClock, and raises the six events towards its client.
//
// Thread rule: a worker is created on one pool thread and lives there with its form, control and
// timer; every member is called on that thread (the socket side hands calls over as queued
// invocations). Waits run the thread's event loop, so calls are served in the middle of a task.
// No locks. StopFlag exists once per thread, as module data of the worker server did.
#pragma once

#include "worker/dial_task.h"
#include "worker/protocol/reports.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QList>
#include <QObject>
#include <QVariant>

#include <deque>

class QTimer;

namespace lonvera::worker {

class ClockForm;

class QXSms : public QObject, private TaskHost
{
    Q_OBJECT
public:
    /// The codes of the deferred tasks.
    enum TaskKind : qint16 {
        NoTask = 0,
        ConnectTask = 1,
        DialTask = 2,
        KeysTask = 3,
        SendTask = 4,
        RoundsTask = 5,
        ReadTask = 6,
        CloseTask = 12
    };

    explicit QXSms(QObject *parent = nullptr);
    ~QXSms() override;

    // --- Properties ---------------------------------------------------------------------
    QString spiidd() const { return m_spiidd; }
    void setSpiidd(const QString &value) { m_spiidd = value; }
    qint16 Comport() const;
    void setComport(qint16 port);
    QString Settings() const;
    /// False when the control refuses the settings text.
    bool setSettings(const QString &settings);
    QString Smsservice() const;
    void setSmsservice(const QString &number);

    // --- Operations (deferred unless noted) ----------------------------------------------
    void Connect(qint16 WaitTime, bool AutoRevMsg = true);
    void Dailphone(const QString &PhoneStr1);
    void DVts123(const QString &key123);
    /// "Busy" when the control is busy (nothing stored), otherwise "y".
    QString SendsmsA(const QString &ppidd, const QString &msg1, const QString &mb1, qint16 rp1 = 0,
                     bool pV = false, qint16 waittm = 0);
    void Dovote_task(const QString &mb, qint16 voteMax1, const std::array<qint16, 8> &waits,
                     const std::array<QString, 8> &keys);
    void ReadMsg();
    /// Runs at once: hangs up and closes the port.
    void HandupCall();
    /// Sets StopFlag at once; the close runs as a deferred task.
    void ClosePort();

    /// Ends the worker as its last reference goes: ends running waits, closes the port and
    /// deletes the worker once no call of it is on the stack.
    void release();

    control::Tarvex *oTarvex() const;
    QTimer *oTimer() const;
    /// The code of the task requested last.
    qint16 TaskCode() const { return m_taskCode; }
    int pendingTasks() const { return static_cast<int>(m_queue.size()); }

    /// The StopFlag of the calling thread.
    static bool threadStopFlag();

signals:
    void OnRevMsg(const QVariant &smsStr);
    void OnStatusChange(bool Busy);
    void OnSendReport(const QString &sId, const QString &str);
    /// The status text, and its kind (the text stays for display).
    void OnOtherReport(const QVariant &str, const lonvera::worker::protocol::StatusReport &report);
    void OnInCall(const QVariant &strPhone);
    void OnReceipt(const QVariant &strReceipt);

private:
    struct Task
    {
        qint16 code = NoTask;
        // Connect
        qint16 waitTime = 0;
        bool autoRevMsg = true;
        // SendsmsA
        QString ppidd, msg1, mb1;
        qint16 rp1 = 0;
        bool pV = false;
        qint16 waittm = 0;
        // Dailphone, DVts123, Dovote_task
        QString phoneNumber;
        QString keyString;
        RoundPlan plan;
        // The deferral runs from the request: a task queued behind another has waited its
        // deferral while that one ran.
        QDeadlineTimer due;
    };

    // Counts the worker's frames on the stack, so release() never deletes it under a task.
    class CallScope
    {
    public:
        explicit CallScope(QXSms *worker);
        ~CallScope();
        CallScope(const CallScope &) = delete;
        CallScope &operator=(const CallScope &) = delete;

    private:
        QXSms *m_worker;
    };

    void defer(Task task);
    void startNextDeferral();
    void onClock();
    void runTask(Task &task);
    /// Starts the next task once the control's own work has freed the port.
    void resumeAfterControl();
    void runConnect(const Task &task);
    void runSend(Task &task);
    void runRead();
    void runClose();
    void onControlCall(const QVariant &phoneNo);

    // TaskHost
    control::Tarvex *control() override;
    bool hangupFlag() const override { return m_hangupFlag; }
    void setHangupFlag(bool on) override { m_hangupFlag = on; }
    bool stopFlag() const override { return threadStopFlag(); }
    bool pause(int ms) override;
    void report(const QString &text) override { emit OnOtherReport(text, {}); }
    void report(const protocol::RaisedReport &raised)
    {
        emit OnOtherReport(raised.text, raised.report);
    }

    ClockForm *m_form;
    QString m_spiidd;
    bool m_hangupFlag = false;
    std::deque<Task> m_queue;
    qint16 m_taskCode = NoTask;
    qint16 m_runningTask = NoTask;
    int m_depth = 0;
    bool m_released = false;
    bool m_waitingForControl = false;
    QList<QEventLoop *> m_waits;
};

} // namespace lonvera::worker
