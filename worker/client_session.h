// One client connection of the worker server: the handshake, the client's own workers (a client
// reaches only the workers it created), calls handed to the workers' threads as queued
// invocations, answers and events written back as frames. A malformed or oversized frame closes
// the connection. Lives on the main (socket) thread.
#pragma once

#include "worker/protocol/identity.h"
#include "worker/protocol/message.h"

#include <QHash>
#include <QLocalSocket>
#include <QObject>
#include <QPointer>
#include <QTimer>

namespace lonvera::worker {

class QXSms;
class WorkerServer;

class ClientSession : public QObject
{
    Q_OBJECT
public:
    ClientSession(QLocalSocket *socket, quint64 key, WorkerServer *server);
    ~ClientSession() override;

    quint64 key() const { return m_key; }

    /// Takes a worker created for this session and answers its creation request.
    void attachWorker(qint64 requestId, qint64 objectId, QPointer<QXSms> worker, int threadIndex);
    /// Releases all of this session's workers.
    void releaseAll();
    /// Tells the client the process is ending, then closes the connection.
    void sayBye();
    /// Writes a frame to the client.
    void send(const protocol::Message &message);
    /// Writes an event of one of this session's workers.
    void sendEvent(qint64 objectId, protocol::Event id, const QVariantList &args,
                   const std::optional<protocol::StatusReport> &report = {});

signals:
    void closed(quint64 key);

private:
    struct WorkerRef
    {
        QPointer<QXSms> worker; // dereferenced only on the worker's thread
        int threadIndex = 0;
    };

    void onReadyRead();
    void handle(const protocol::Message &message);
    void handleCall(const protocol::Message &message);
    void handleRelease(const protocol::Message &message);
    void releaseWorker(const WorkerRef &ref, qint64 requestId);
    void sendFailure(qint64 requestId, int number, const QString &text);
    void abort(const QString &reason);

    QLocalSocket *m_socket;
    quint64 m_key;
    WorkerServer *m_server;
    protocol::FrameDecoder m_decoder;
    bool m_greeted = false;
    bool m_closing = false;
    qint64 m_nextObjectId = 0;
    QHash<qint64, WorkerRef> m_workers;
    QTimer m_helloTimer;
};

} // namespace lonvera::worker
