// The client's connection to the worker server: starts Tarvex80 when nobody answers at its
// socket, greets it, and carries requests, answers and events. One connection per thread, shared
// by the worker proxies created on that thread; used on that thread only.
//
// Calls block without running an event loop: the request is written and the socket is read
// until its answer arrives or the time-out passes. A call left unanswered past its time-out
// counts as the server lost: the hung server is ended and every worker on it reports the loss.
// Events read meanwhile are queued and delivered as Qt signals from the thread's event loop
// afterwards, in the order the worker raised them, so a single-threaded caller never sees an event
// in the middle of its own call.
#pragma once

#include "worker/client/worker_error.h"
#include "worker/protocol/message.h"

#include <QHash>
#include <QLocalSocket>
#include <QObject>
#include <QPointer>

#include <deque>
#include <memory>

namespace lonvera::worker::client {

class QXSms;

class WorkerConnection : public QObject, public std::enable_shared_from_this<WorkerConnection>
{
    Q_OBJECT
public:
    WorkerConnection();
    ~WorkerConnection() override;

    /// The calling thread's live connection, made (and the server started) when needed; nullptr
    /// with error 462 when the server cannot be reached.
    static std::shared_ptr<WorkerConnection> obtain(WorkerError *error);
    /// How long a started server may take to listen before creation fails with error 462.
    static void setStartTimeout(int ms);
    static int startTimeout();
    /// Connects to a running server only (no start); false when none answers.
    bool openExisting();
    /// The calling thread's connection if one is open, without starting anything.
    static std::shared_ptr<WorkerConnection> existing();

    bool isAlive() const { return m_alive; }
    qint64 serverPid() const { return m_serverPid; }

    /// Sends a request and waits for its answer (Result, Created, Released or Failure);
    /// false with an error on failure, a time-out or a lost server.
    bool request(protocol::Message message, int timeoutMs, protocol::Message *answer,
                 WorkerError *error);
    /// Sends a message that has no answer.
    bool post(const protocol::Message &message);

    void attach(qint64 objectId, QXSms *proxy);
    void detach(qint64 objectId);

    /// Waits up to timeoutMs for the server to close the connection (after a quit).
    bool waitForClose(int timeoutMs);

    /// True when the server said it is ending (a create should then go to a new server).
    bool saidBye() const { return m_saidBye; }

private:
    bool open(WorkerError *error);
    bool connectSocket(const QString &path, int timeoutMs);
    bool startAndConnect(const QString &path, WorkerError *error);
    bool startServer(qint64 *pid, WorkerError *error);
    bool handshake(WorkerError *error);
    void pump();
    void onReadyRead();
    void onDisconnected();
    void markLost();
    void abandon();
    void scheduleDelivery();
    void deliverEvents();

    QLocalSocket m_socket;
    protocol::FrameDecoder m_decoder;
    bool m_alive = false;
    bool m_saidBye = false;
    bool m_closedUnanswered = false;
    bool m_lossAnnounced = false;
    int m_blocking = 0;
    bool m_deliveryScheduled = false;
    qint64 m_nextRequest = 0;
    qint64 m_serverPid = 0;
    QHash<qint64, protocol::Message> m_answers;
    std::deque<protocol::Message> m_events;
    QHash<qint64, QPointer<QXSms>> m_proxies;
};

} // namespace lonvera::worker::client
