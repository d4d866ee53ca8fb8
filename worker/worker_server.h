// The worker server: listens on a user-only local socket, checks each peer's user id, keeps one
// session per client, creates workers on the thread pool and ends the process after its last
// worker (or on a "quit" request). Lives on the main (socket) thread; workers live on pool threads
// and reach the server only through queued calls.
#pragma once

#include "worker/protocol/identity.h"
#include "worker/protocol/message.h"
#include "worker/thread_pool.h"

#include <QHash>
#include <QLocalServer>
#include <QObject>
#include <QPointer>
#include <QTimer>

namespace lonvera::worker {

class ClientSession;
class QXSms;

class WorkerServer : public QObject
{
    Q_OBJECT
public:
    explicit WorkerServer(QObject *parent = nullptr);
    ~WorkerServer() override;

    /// Starts listening at socketPath; false with a reason (also when another server answers
    /// there already).
    bool listen(const QString &socketPath, QString *error);

    /// How long the process stays up without any worker before it ends by itself.
    void setIdleTimeout(int ms);

    ThreadPool &pool() { return m_pool; }
    int liveWorkers() const { return m_liveWorkers; }
    bool isExiting() const { return m_exiting; }

    /// Creates a worker on a pool thread for a session; the session hears back through
    /// ClientSession::attachWorker, or the worker is released at once when the session is gone.
    void createWorker(ClientSession *session, qint64 requestId, qint64 objectId);
    /// Writes an answer to a session, if it is still there.
    void sendAnswer(quint64 sessionKey, const protocol::Message &message);
    /// Releases every worker of every session and ends the process once they are gone.
    void quit();

signals:
    /// The process should end now (all workers are gone or a quit ran out of time).
    void finished();

private:
    void onNewConnection();
    void onWorkerReady(quint64 sessionKey, qint64 requestId, qint64 objectId,
                       const QPointer<QXSms> &worker, int threadIndex);
    void onWorkerDestroyed(int threadIndex);
    void forwardEvent(quint64 sessionKey, qint64 objectId, protocol::Event event,
                      const QVariantList &args,
                      const std::optional<protocol::StatusReport> &report = {});
    static void connectEvents(QXSms *worker, WorkerServer *server, quint64 sessionKey,
                              qint64 objectId);
    void onSessionClosed(quint64 sessionKey);
    void checkIdle();
    void beginExit();

    QLocalServer m_server;
    ThreadPool m_pool;
    QHash<quint64, ClientSession *> m_sessions;
    quint64 m_nextSessionKey = 0;
    int m_liveWorkers = 0;
    bool m_hadWorker = false;
    bool m_exiting = false;
    QTimer m_idleTimer;
    QTimer m_quitDeadline;
};

} // namespace lonvera::worker
