// The client proxy of a QXSms worker in the worker server Tarvex80: what the server program holds
// in a worker slot. Members carry the worker interface's names; the six events come out as Qt
// signals on the thread that created the proxy.
//
// Thread rule: a proxy is used on the thread that created it only. Calls block until the worker
// answers (they run no event loop, so no event arrives in the middle of a call); events are
// delivered from that thread's event loop, in the order the worker raised them.
//
// Errors: no exception crosses this interface. A failed call returns an empty value and sets
// lastError() on the proxy and the thread-wide lastError(); 462 means the worker server could not
// be started, did not answer, or went away (then serverLost() is also emitted at once). A call
// left unanswered past the call time-out counts as the server gone: the hung server is ended.
#pragma once

#include "worker/client/worker_error.h"
#include "worker/protocol/identity.h"

#include <QObject>
#include <QVariant>
#include <QVariantList>

#include <memory>

namespace lonvera::worker::client {

class WorkerConnection;

class QXSms : public QObject
{
    Q_OBJECT
public:
    /// Creates a worker of the given class (class id or ProgID), starting Tarvex80 when it is not
    /// running. nullptr on failure, with error 462 when the server cannot be started or does not
    /// answer, 429 for a class it does not serve; the error is also in lastError().
    static std::unique_ptr<QXSms>
    create(const QString &classId = QString::fromLatin1(protocol::kClassId),
           WorkerError *error = nullptr);

    /// Releases the worker (which closes its port).
    ~QXSms() override;

    // --- Properties ---------------------------------------------------------------------
    QString spiidd();
    void setSpiidd(const QString &value);
    qint16 Comport();
    void setComport(qint16 port);
    QVariant Settings();
    void setSettings(const QVariant &settings);
    QVariant Smsservice();
    void setSmsservice(const QVariant &number);

    // --- Methods ------------------------------------------------------------------------
    void Connect(qint16 WaitTime, bool AutoRevMsg = true);
    void Dailphone(const QString &PhoneStr1);
    void DVts123(const QString &key123);
    /// "y" when the send was taken, "Busy" when the modem is busy; invalid on error.
    QVariant SendsmsA(const QString &ppidd, const QString &msg1, const QString &mb1, qint16 rp1 = 0,
                      bool pV = false, qint16 waittm = 0);
    /// tAndKeys holds T1, key1, … T8, key8 (fewer are padded with the defaults 0 and "");
    /// a T that is not a number fails with error 13.
    void Dovote_task(const QString &mb, qint16 voteMax1, const QVariantList &tAndKeys = {});
    void ReadMsg();
    /// Hangs up and closes the port before returning.
    void HandupCall();
    void ClosePort();

    /// Any member by name with variant arguments (an invalid QVariant is an omitted argument).
    QVariant invoke(const QString &member, protocol::CallKind kind, const QVariantList &args = {});

    /// Releases the worker now; later calls fail with error 91.
    void release();
    bool isReleased() const { return m_released; }
    /// False once the worker server has gone away.
    bool isAlive() const;

    /// The error of the last call of this proxy (number 0 after a success).
    WorkerError lastError() const { return m_lastError; }

    /// The time a call may take before the server counts as hung and gone (default 60 s).
    static void setCallTimeout(int ms);
    static int callTimeout();
    /// The time a started Tarvex80 may take to listen (default 10 s); one that ends before
    /// listening fails the creation at once.
    static void setStartTimeout(int ms);
    static int startTimeout();

    /// The process id of the worker server this proxy talks to.
    qint64 serverPid() const;

signals:
    void OnRevMsg(const QVariant &smsStr);
    void OnStatusChange(bool Busy);
    void OnSendReport(const QString &sId, const QString &str);
    /// The status text, and its kind as the worker raised it (a connection names model and port).
    void OnOtherReport(const QVariant &str, const lonvera::worker::protocol::StatusReport &report);
    void OnInCall(const QVariant &strPhone);
    void OnReceipt(const QVariant &strReceipt);
    /// The worker server went away; every later call fails with error 462.
    void serverLost(const lonvera::worker::client::WorkerError &error);

private:
    friend class WorkerConnection;
    QXSms(std::shared_ptr<WorkerConnection> connection, qint64 objectId);
    QVariant get(protocol::Member member);
    void put(protocol::Member member, const QVariant &value);
    QVariant call(protocol::Member member, const QVariantList &args = {});
    void deliver(const protocol::Message &event);
    void announceLoss(const WorkerError &error);
    bool fail(const WorkerError &error);

    std::shared_ptr<WorkerConnection> m_connection;
    qint64 m_objectId;
    bool m_released = false;
    bool m_lost = false;
    WorkerError m_lastError;
};

/// Sends the "quit" request to a running worker server (it releases every worker and ends) and
/// waits up to timeoutMs for it to go; false when no worker server was running.
bool quitWorkerServer(int timeoutMs = 5000);

} // namespace lonvera::worker::client
