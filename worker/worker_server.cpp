// See worker_server.h.
#include "worker/worker_server.h"

#include "worker/client_session.h"
#include "worker/qxsms.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocalSocket>

#include <sys/socket.h>
#include <unistd.h>

namespace lonvera::worker {

namespace {

using protocol::Event;

// Only the user who runs the server may drive its modems.
bool isSameUser(qintptr descriptor)
{
    struct ucred credentials = {};
    socklen_t length = sizeof credentials;
    if (::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials,
                     &length) != 0)
        return false;
    return credentials.uid == ::getuid();
}

constexpr int kDefaultIdleMs = 30000;
constexpr int kQuitDeadlineMs = 10000;

} // namespace

WorkerServer::WorkerServer(QObject *parent) : QObject(parent)
{
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &WorkerServer::onNewConnection);
    m_idleTimer.setSingleShot(true);
    m_idleTimer.setInterval(kDefaultIdleMs);
    connect(&m_idleTimer, &QTimer::timeout, this, &WorkerServer::checkIdle);
    m_idleTimer.start();
    m_quitDeadline.setSingleShot(true);
    connect(&m_quitDeadline, &QTimer::timeout, this, &WorkerServer::beginExit);
}

WorkerServer::~WorkerServer()
{
    for (ClientSession *session : std::as_const(m_sessions)) {
        session->disconnect(this);
        delete session;
    }
    m_sessions.clear();
}

bool WorkerServer::listen(const QString &socketPath, QString *error)
{
    if (m_server.listen(socketPath))
        return true;
    if (m_server.serverError() == QAbstractSocket::AddressInUseError) {
        // A socket file is left there: by a running server, or by one that was killed.
        QLocalSocket probe;
        probe.connectToServer(socketPath);
        if (probe.waitForConnected(1000)) {
            *error = QStringLiteral("another worker server already answers at %1").arg(socketPath);
            return false;
        }
        QLocalServer::removeServer(socketPath);
        if (m_server.listen(socketPath))
            return true;
    }
    *error = m_server.errorString();
    return false;
}

void WorkerServer::setIdleTimeout(int ms)
{
    m_idleTimer.setInterval(ms);
    if (m_liveWorkers == 0)
        m_idleTimer.start();
}

void WorkerServer::onNewConnection()
{
    while (QLocalSocket *socket = m_server.nextPendingConnection()) {
        if (m_exiting || !isSameUser(socket->socketDescriptor())) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        const quint64 key = ++m_nextSessionKey;
        auto *session = new ClientSession(socket, key, this);
        m_sessions.insert(key, session);
        connect(session, &ClientSession::closed, this, &WorkerServer::onSessionClosed,
                Qt::QueuedConnection);
    }
}

void WorkerServer::onSessionClosed(quint64 key)
{
    ClientSession *session = m_sessions.take(key);
    if (!session)
        return;
    // A client that went away leaves nothing behind: its workers close their ports.
    session->releaseAll();
    session->deleteLater();
    checkIdle();
}

void WorkerServer::createWorker(ClientSession *session, qint64 requestId, qint64 objectId)
{
    const int index = m_pool.assign();
    ++m_liveWorkers;
    m_hadWorker = true;
    m_idleTimer.stop();
    const quint64 key = session->key();
    QMetaObject::invokeMethod(
        m_pool.anchor(index),
        [this, key, requestId, objectId, index] {
            auto *worker = new QXSms;
            connect(worker, &QObject::destroyed, this, [this, index] { onWorkerDestroyed(index); });
            connectEvents(worker, this, key, objectId);
            QPointer<QXSms> guarded(worker);
            QMetaObject::invokeMethod(
                this,
                [this, key, requestId, objectId, guarded, index] {
                    onWorkerReady(key, requestId, objectId, guarded, index);
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void WorkerServer::connectEvents(QXSms *worker, WorkerServer *server, quint64 key, qint64 objectId)
{
    // The server outlives every worker, so the events go through it; a session that is gone
    // by the time an event arrives simply does not get it.
    auto forward = [server, key,
                    objectId](Event event, const QVariantList &args,
                              const std::optional<protocol::StatusReport> &report = {}) {
        server->forwardEvent(key, objectId, event, args, report);
    };
    connect(worker, &QXSms::OnRevMsg, server,
            [forward](const QVariant &v) { forward(Event::OnRevMsg, {v}); });
    connect(worker, &QXSms::OnStatusChange, server,
            [forward](bool busy) { forward(Event::OnStatusChange, {busy}); });
    connect(worker, &QXSms::OnSendReport, server, [forward](const QString &id, const QString &r) {
        forward(Event::OnSendReport, {id, r});
    });
    connect(worker, &QXSms::OnOtherReport, server,
            [forward](const QVariant &v, const protocol::StatusReport &report) {
                forward(Event::OnOtherReport, {v}, report);
            });
    connect(worker, &QXSms::OnInCall, server,
            [forward](const QVariant &v) { forward(Event::OnInCall, {v}); });
    connect(worker, &QXSms::OnReceipt, server,
            [forward](const QVariant &v) { forward(Event::OnReceipt, {v}); });
}

void WorkerServer::forwardEvent(quint64 sessionKey, qint64 objectId, protocol::Event event,
                                const QVariantList &args,
                                const std::optional<protocol::StatusReport> &report)
{
    if (ClientSession *session = m_sessions.value(sessionKey))
        session->sendEvent(objectId, event, args, report);
}

void WorkerServer::sendAnswer(quint64 sessionKey, const protocol::Message &message)
{
    if (ClientSession *session = m_sessions.value(sessionKey))
        session->send(message);
}

void WorkerServer::onWorkerReady(quint64 sessionKey, qint64 requestId, qint64 objectId,
                                 const QPointer<QXSms> &worker, int threadIndex)
{
    ClientSession *session = m_sessions.value(sessionKey);
    if (session && !m_exiting) {
        session->attachWorker(requestId, objectId, worker, threadIndex);
        return;
    }
    // Nobody holds this worker any more.
    QMetaObject::invokeMethod(
        m_pool.anchor(threadIndex),
        [worker] {
            if (QXSms *w = worker.data())
                w->release();
        },
        Qt::QueuedConnection);
}

void WorkerServer::onWorkerDestroyed(int threadIndex)
{
    m_pool.unassign(threadIndex);
    --m_liveWorkers;
    checkIdle();
}

void WorkerServer::checkIdle()
{
    if (m_liveWorkers > 0)
        return;
    // The process ends after its last worker, and a server nobody used ends after a while.
    if (m_hadWorker || !m_idleTimer.isActive())
        beginExit();
}

void WorkerServer::quit()
{
    for (ClientSession *session : std::as_const(m_sessions))
        session->releaseAll();
    m_hadWorker = true;
    m_quitDeadline.start(kQuitDeadlineMs);
    checkIdle();
}

void WorkerServer::beginExit()
{
    if (m_exiting)
        return;
    m_exiting = true;
    m_server.close();
    for (ClientSession *session : std::as_const(m_sessions))
        session->sayBye();
    emit finished();
}

} // namespace lonvera::worker
