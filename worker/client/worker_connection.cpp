// See worker_connection.h.
#include "worker/client/worker_connection.h"

#include "platform/paths.h"
#include "worker/client/endpoint.h"
#include "worker/client/qxsms.h"
#include "worker/protocol/identity.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>

namespace lonvera::worker::client {

namespace {

using protocol::Message;
using protocol::MessageType;
namespace errors = protocol::errors;

thread_local std::weak_ptr<WorkerConnection> t_connection;

// A freshly started server needs a moment to listen; a silent one is given up on after this.
std::atomic<int> g_startTimeoutMs = 10000;
constexpr int kHandshakeTimeoutMs = 5000;

// True once the process has ended. The started server is not our child (it is detached), so
// this asks the kernel; where nobody reaps orphans it stays a zombie, which counts as ended.
bool hasEnded(qint64 pid)
{
    if (pid <= 0)
        return false;
    if (::kill(static_cast<pid_t>(pid), 0) != 0)
        return errno == ESRCH;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    // The state follows the command name in parentheses (which may itself hold blanks).
    const QByteArray line = stat.read(512);
    const qsizetype close = line.lastIndexOf(')');
    return close >= 0 && close + 2 < line.size() &&
           (line.at(close + 2) == 'Z' || line.at(close + 2) == 'X');
}

// Ends a worker server that left a call unanswered (stopped, deadlocked): it holds the ports
// of its modems, so a fresh server could not open them while it lives. Waits a moment for the
// kernel to take it down; never touches this process.
void endHungServer(qint64 pid)
{
    if (pid <= 0 || pid == QCoreApplication::applicationPid() || hasEnded(pid))
        return;
    ::kill(static_cast<pid_t>(pid), SIGKILL);
    const QDeadlineTimer deadline(1000);
    while (!hasEnded(pid) && !deadline.hasExpired())
        QThread::msleep(5);
}

WorkerError unavailable()
{
    return {errors::kServerUnavailable, protocol::errorText(errors::kServerUnavailable)};
}

QString serverExecutable()
{
    const QString registered = registeredServerPath();
    if (!registered.isEmpty() && QFileInfo(registered).isExecutable())
        return registered;
    // Not registered (or moved): the copy that ships beside the calling program.
    return QCoreApplication::applicationDirPath() + QStringLiteral("/Tarvex80");
}

} // namespace

WorkerConnection::WorkerConnection()
{
    connect(&m_socket, &QLocalSocket::readyRead, this, &WorkerConnection::onReadyRead);
    connect(&m_socket, &QLocalSocket::disconnected, this, &WorkerConnection::onDisconnected);
    connect(&m_socket, &QLocalSocket::errorOccurred, this, [this](QLocalSocket::LocalSocketError) {
        if (m_socket.state() != QLocalSocket::ConnectedState)
            onDisconnected();
    });
}

WorkerConnection::~WorkerConnection()
{
    m_socket.disconnect(this);
    m_socket.abort();
}

std::shared_ptr<WorkerConnection> WorkerConnection::existing()
{
    std::shared_ptr<WorkerConnection> connection = t_connection.lock();
    if (connection && connection->isAlive() && !connection->saidBye())
        return connection;
    return {};
}

std::shared_ptr<WorkerConnection> WorkerConnection::obtain(WorkerError *error)
{
    if (std::shared_ptr<WorkerConnection> connection = existing())
        return connection;
    auto connection = std::make_shared<WorkerConnection>();
    if (!connection->open(error))
        return {};
    t_connection = connection;
    return connection;
}

bool WorkerConnection::connectSocket(const QString &path, int timeoutMs)
{
    m_socket.abort();
    m_socket.connectToServer(path);
    return m_socket.waitForConnected(timeoutMs);
}

bool WorkerConnection::open(WorkerError *error)
{
    const QString path = serverSocketPath();
    // A server ending after its last worker may still take a connection and then close it
    // unanswered; by the next try its socket is gone and a new server is started.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt > 0) {
            m_decoder = protocol::FrameDecoder();
            m_answers.clear();
            m_saidBye = false;
            QThread::msleep(20);
        }
        if (!connectSocket(path, 1000) && !startAndConnect(path, error))
            return false;
        if (handshake(error))
            return true;
        if (!m_closedUnanswered)
            return false;
    }
    return false;
}

bool WorkerConnection::startAndConnect(const QString &path, WorkerError *error)
{
    qint64 pid = 0;
    if (!startServer(&pid, error))
        return false;
    // Poll for the socket while the new process starts; this runs once per server start.
    // A server that ended without listening (it failed to start) is given up on at once.
    const QDeadlineTimer deadline(g_startTimeoutMs.load());
    while (!deadline.hasExpired() && !hasEnded(pid)) {
        if (connectSocket(path, 500))
            return true;
        QThread::msleep(20);
    }
    *error = unavailable();
    return false;
}

bool WorkerConnection::openExisting()
{
    WorkerError error;
    return connectSocket(serverSocketPath(), 1000) && handshake(&error);
}

void WorkerConnection::setStartTimeout(int ms)
{
    g_startTimeoutMs = ms;
}

int WorkerConnection::startTimeout()
{
    return g_startTimeoutMs;
}

bool WorkerConnection::startServer(qint64 *pid, WorkerError *error)
{
    const QString program = serverExecutable();
    if (!QFileInfo(program).isExecutable() ||
        !QProcess::startDetached(program, {QStringLiteral("-Embedding")}, QString(), pid)) {
        *error = unavailable();
        return false;
    }
    return true;
}

bool WorkerConnection::handshake(WorkerError *error)
{
    m_alive = true;
    m_socket.write(protocol::encodeFrame(protocol::makeHello()));
    m_socket.flush();
    // A caller that allows its calls only a short time allows the greeting no longer.
    const QDeadlineTimer deadline(std::min(kHandshakeTimeoutMs, QXSms::callTimeout()));
    ++m_blocking;
    // The greeting's answer is filed under request 0 by pump().
    while (!m_answers.contains(0) && m_alive && !deadline.hasExpired()) {
        if (!m_socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())) &&
            m_socket.state() != QLocalSocket::ConnectedState)
            break;
        pump();
    }
    pump();
    --m_blocking;
    // Closed before any greeting came back: the server was ending (not a time-out).
    m_closedUnanswered =
        !m_answers.contains(0) && (m_saidBye || m_socket.state() != QLocalSocket::ConnectedState);
    QString reason;
    if (!m_answers.contains(0) ||
        !protocol::acceptWelcome(m_answers.take(0), &m_serverPid, &reason)) {
        m_alive = false;
        m_socket.abort();
        *error = unavailable();
        return false;
    }
    return true;
}

bool WorkerConnection::post(const Message &message)
{
    if (!m_alive)
        return false;
    m_socket.write(protocol::encodeFrame(message));
    m_socket.flush();
    return true;
}

bool WorkerConnection::request(Message message, int timeoutMs, Message *answer, WorkerError *error)
{
    if (!m_alive) {
        *error = unavailable();
        return false;
    }
    const qint64 id = ++m_nextRequest;
    message.requestId = id;
    m_socket.write(protocol::encodeFrame(message));
    m_socket.flush();

    const QDeadlineTimer deadline(timeoutMs);
    ++m_blocking;
    bool answered = false;
    for (;;) {
        pump();
        if (m_answers.contains(id)) {
            *answer = m_answers.take(id);
            answered = true;
            break;
        }
        if (!m_alive || deadline.hasExpired())
            break;
        if (!m_socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())) &&
            m_socket.state() != QLocalSocket::ConnectedState) {
            markLost();
        }
    }
    --m_blocking;
    if (!m_events.empty() || (!m_alive && !m_lossAnnounced))
        scheduleDelivery();
    if (answered) {
        if (answer->type == MessageType::Failure) {
            *error = {static_cast<int>(answer->code), answer->text};
            return false;
        }
        return true;
    }
    if (m_alive) {
        // A server that leaves a call unanswered is hung: waiting on it again would cost the
        // caller the whole time-out on every call. It is ended and counted as gone, so every
        // worker on it reports the loss and the next creation starts a fresh server.
        abandon();
    }
    *error = unavailable();
    return false;
}

void WorkerConnection::abandon()
{
    markLost();
    m_socket.abort();
    endHungServer(m_serverPid);
    scheduleDelivery();
}

void WorkerConnection::pump()
{
    if (m_socket.bytesAvailable() > 0)
        m_decoder.append(m_socket.readAll());
    Message message;
    for (;;) {
        const auto status = m_decoder.next(&message);
        if (status == protocol::FrameDecoder::Status::NeedMore)
            return;
        if (status == protocol::FrameDecoder::Status::Failed) {
            // A server that sends garbage is as good as gone.
            qWarning().noquote() << "worker client: bad frame from Tarvex80:" << m_decoder.error();
            m_socket.abort();
            markLost();
            return;
        }
        switch (message.type) {
        case MessageType::Event:
            m_events.push_back(message);
            break;
        case MessageType::Bye:
            m_saidBye = true;
            break;
        case MessageType::Welcome:
            m_answers.insert(0, message);
            break;
        case MessageType::Result:
        case MessageType::Created:
        case MessageType::Released:
        case MessageType::Failure:
            // Request 0 is the greeting, refused with a Failure.
            if (message.requestId <= m_nextRequest)
                m_answers.insert(message.requestId, message);
            break;
        default:
            break;
        }
    }
}

void WorkerConnection::onReadyRead()
{
    pump();
    if (m_blocking == 0)
        deliverEvents();
}

void WorkerConnection::onDisconnected()
{
    if (!m_alive)
        return;
    pump();
    markLost();
    if (m_blocking == 0)
        deliverEvents();
}

void WorkerConnection::markLost()
{
    m_alive = false;
}

void WorkerConnection::scheduleDelivery()
{
    if (m_deliveryScheduled)
        return;
    m_deliveryScheduled = true;
    QMetaObject::invokeMethod(this, &WorkerConnection::deliverEvents, Qt::QueuedConnection);
}

void WorkerConnection::deliverEvents()
{
    m_deliveryScheduled = false;
    // Keeps this connection alive while a handler releases the last proxy.
    std::shared_ptr<WorkerConnection> self = weak_from_this().lock();
    while (!m_events.empty()) {
        const Message event = m_events.front();
        m_events.pop_front();
        if (QXSms *proxy = m_proxies.value(event.objectId).data())
            proxy->deliver(event);
    }
    if (!m_alive && !m_lossAnnounced) {
        m_lossAnnounced = true;
        const WorkerError error = unavailable();
        const auto proxies = m_proxies;
        for (const QPointer<QXSms> &proxy : proxies) {
            if (proxy)
                proxy->announceLoss(error);
        }
    }
}

void WorkerConnection::attach(qint64 objectId, QXSms *proxy)
{
    m_proxies.insert(objectId, proxy);
}

void WorkerConnection::detach(qint64 objectId)
{
    m_proxies.remove(objectId);
}

bool WorkerConnection::waitForClose(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    ++m_blocking;
    while (m_socket.state() == QLocalSocket::ConnectedState && !deadline.hasExpired()) {
        if (!m_socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            break;
        pump();
    }
    --m_blocking;
    const bool closed = m_socket.state() != QLocalSocket::ConnectedState;
    if (closed)
        markLost();
    scheduleDelivery();
    return closed;
}

} // namespace lonvera::worker::client
