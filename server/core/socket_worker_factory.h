// Workers of the worker server Tarvex80 over its local socket: one connection for all workers,
// the worker server started on the first need, calls answered synchronously (SendsmsA's "y" or
// "Busy" is needed at once), events queued and delivered one at a time on the server's thread.
// When the worker server dies every worker reports serverLost and the next create starts a new
// one. Server thread only.
#pragma once

#include "server/core/worker_handle.h"
#include "worker/protocol/message.h"

#include <QHash>
#include <QLocalSocket>
#include <QPointer>
#include <QQueue>

namespace lonvera::server {

class SocketWorker;

class SocketWorkerFactory : public QObject, public WorkerFactory
{
    Q_OBJECT
public:
    /// serverPath: the worker server to start when none runs (empty: the registered one).
    explicit SocketWorkerFactory(QString serverPath = {}, QObject *parent = nullptr);
    ~SocketWorkerFactory() override;

    std::unique_ptr<WorkerHandle> create(int *error) override;
    void endServer() override;
    QString errorText(int number) const override;

    /// Process id of the worker server connected to, 0 when none.
    qint64 serverPid() const { return m_serverPid; }

    // For SocketWorker.
    bool call(qint64 objectId, const QString &member, worker::protocol::CallKind kind,
              const QVariantList &args, QVariant *result, int *error);
    void release(qint64 objectId);
    void forget(SocketWorker *worker);

private:
    bool ensureConnected(int *error);
    bool handshake();
    bool exchange(const worker::protocol::Message &request, worker::protocol::Message *answer,
                  int timeoutMs);
    void readAvailable();
    bool takeFrames(qint64 waitingFor, worker::protocol::Message *answer);
    void deliverEvents();
    void connectionLost();

    QString m_serverPath;
    QLocalSocket m_socket;
    worker::protocol::FrameDecoder m_decoder;
    qint64 m_nextRequest = 1;
    qint64 m_serverPid = 0;
    bool m_lost = false;
    bool m_inExchange = false;
    QHash<qint64, SocketWorker *> m_workers;
    QQueue<worker::protocol::Message> m_events;
    bool m_deliveryScheduled = false;
};

} // namespace lonvera::server
