// Workers of the worker server Tarvex80, through the worker client library: the library starts
// Tarvex80 on the first need, answers calls synchronously (SendsmsA's "y" or "Busy" is needed at
// once) and delivers the six events one at a time on the server's thread. When Tarvex80 dies
// every worker reports serverLost at once and the next create starts a new one. Server thread only.
#pragma once

#include "server/core/worker_handle.h"

#include <QObject>

namespace lonvera::server {

class ClientWorkerFactory : public WorkerFactory
{
public:
    /// callTimeoutMs: how long a call may go unanswered before Tarvex80 counts as hung: it is
    /// ended and a fresh one started. The server is single-threaded, so a hung worker server
    /// must not hang it for long; the worker answers every call at once (sends are deferred).
    explicit ClientWorkerFactory(int callTimeoutMs = 2000);

    std::unique_ptr<WorkerHandle> create(int *error) override;
    void endServer() override;
    QString errorText(int number) const override;

    /// Process id of the worker server the last created worker talks to, 0 when none.
    qint64 serverPid() const { return m_serverPid; }

private:
    qint64 m_serverPid = 0;
};

} // namespace lonvera::server
