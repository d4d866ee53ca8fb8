// The server's view of one worker: the members of the worker class it calls and the six events it
// hears, behind an interface so the core runs the same against the worker server and against a
// fake. A handle lives on the server's thread; its signals arrive there one at a time.
#pragma once

#include "worker/protocol/reports.h"

#include <QObject>
#include <QString>

#include <memory>

namespace lonvera::server {

class WorkerHandle : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~WorkerHandle() override = default;

    /// The port the worker drives (`Comport`).
    virtual int comport() const = 0;
    virtual void setComport(int port) = 0;
    /// The line settings text, e.g. "9600,n,8,1" (`Settings`).
    virtual void setSettings(const QString &settings) = 0;
    /// The service-centre number (`Smsservice`).
    virtual void setSmsservice(const QString &number) = 0;
    /// Starts the deferred connect (`Connect`).
    virtual void connectDevice(int waitSeconds, bool autoRevMsg) = 0;
    /// Hands one message to the worker (`SendsmsA`): "y", "Busy", or empty when the call failed.
    virtual QString sendsmsA(const QString &id, const QString &msg, const QString &mbno, int report,
                             bool validity, int waitSeconds) = 0;
    /// Starts reading the modem's stored messages (`ReadMsg`).
    virtual void readMsg() = 0;
    /// Closes the worker's port (`ClosePort`).
    virtual void closePort() = 0;
    /// A cheap call that proves the worker server still answers; a hung one is found out by the
    /// call's time-out and reported through serverLost.
    virtual void ping() {}
    /// The error number of the last failed call, 0 when it succeeded (462: server unavailable).
    virtual int lastError() const = 0;

    /// Raises statusReport for a text with the kind the worker gives it: for fakes and stand-ins
    /// that hold only the text.
    void otherReport(const QString &text)
    {
        emit statusReport(text, worker::protocol::readStatusReport(text));
    }

signals:
    void statusChanged(bool busy); // OnStatusChange
    void statusReport(const QString &text,
                      const lonvera::worker::protocol::StatusReport &report); // OnOtherReport
    void sendReport(const QString &sId, const QString &result);               // OnSendReport
    void messagesReceived(const QString &smsStr);                             // OnRevMsg
    void receiptsReceived(const QString &strReceipt);                         // OnReceipt
    void callReceived(const QString &strPhone);                               // OnInCall
    /// The worker server went away; the handle is dead from now on.
    void serverLost();
};

/// Creates workers of the worker class and ends the worker server.
class WorkerFactory
{
public:
    virtual ~WorkerFactory() = default;
    /// A new worker, or nullptr with the error number (462 when the worker server is unavailable).
    virtual std::unique_ptr<WorkerHandle> create(int *error) = 0;
    /// Asks the worker server to end once it has no workers left (no-op when it is not running).
    virtual void endServer() = 0;
    /// The runtime's text for an error number.
    virtual QString errorText(int number) const = 0;
};

} // namespace lonvera::server
