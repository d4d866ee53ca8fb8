// See client_session.h.
#include "worker/client_session.h"

#include "worker/member_dispatch.h"
#include "worker/protocol/identity.h"
#include "worker/qxsms.h"
#include "worker/worker_server.h"

#include <QCoreApplication>
#include <QDebug>

namespace lonvera::worker {

namespace {

using protocol::Message;
using protocol::MessageType;
namespace errors = protocol::errors;

// A client that must greet within this time, or is taken for a stranger.
constexpr int kHelloTimeoutMs = 5000;
// A client that stops reading may not make the server hoard its answers without end.
constexpr qint64 kMaxUnsentBytes = 64 * 1024 * 1024;

} // namespace

ClientSession::ClientSession(QLocalSocket *socket, quint64 key, WorkerServer *server)
    : QObject(server), m_socket(socket), m_key(key), m_server(server)
{
    m_socket->setParent(this);
    connect(m_socket, &QLocalSocket::readyRead, this, &ClientSession::onReadyRead);
    connect(m_socket, &QLocalSocket::disconnected, this, [this] {
        m_closing = true;
        emit closed(m_key);
    });
    m_helloTimer.setSingleShot(true);
    connect(&m_helloTimer, &QTimer::timeout, this,
            [this] { abort(QStringLiteral("no greeting in time")); });
    m_helloTimer.start(kHelloTimeoutMs);
    if (m_socket->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &ClientSession::onReadyRead, Qt::QueuedConnection);
}

ClientSession::~ClientSession() = default;

void ClientSession::onReadyRead()
{
    if (m_closing)
        return;
    m_decoder.append(m_socket->readAll());
    Message message;
    for (;;) {
        const auto status = m_decoder.next(&message);
        if (status == protocol::FrameDecoder::Status::NeedMore)
            return;
        if (status == protocol::FrameDecoder::Status::Failed) {
            abort(m_decoder.error());
            return;
        }
        handle(message);
        if (m_closing)
            return;
    }
}

void ClientSession::handle(const Message &message)
{
    if (!m_greeted) {
        QString reason;
        if (!protocol::acceptHello(message, &reason)) {
            sendFailure(0, errors::kAutomationError, reason);
            abort(reason);
            return;
        }
        m_greeted = true;
        m_helloTimer.stop();
        send(protocol::makeWelcome(QCoreApplication::applicationPid()));
        return;
    }
    switch (message.type) {
    case MessageType::Create:
        if (!protocol::isWorkerClass(message.name)) {
            sendFailure(message.requestId, errors::kCannotCreateObject,
                        protocol::errorText(errors::kCannotCreateObject) +
                            QStringLiteral(" (unknown class %1)").arg(message.name));
        } else if (m_server->isExiting()) {
            sayBye();
        } else {
            m_server->createWorker(this, message.requestId, ++m_nextObjectId);
        }
        break;
    case MessageType::Call:
        handleCall(message);
        break;
    case MessageType::Release:
        handleRelease(message);
        break;
    case MessageType::Quit:
        m_server->quit();
        break;
    default:
        abort(QStringLiteral("unexpected message type %1").arg(static_cast<int>(message.type)));
        break;
    }
}

void ClientSession::attachWorker(qint64 requestId, qint64 objectId, QPointer<QXSms> worker,
                                 int threadIndex)
{
    m_workers.insert(objectId, {std::move(worker), threadIndex});
    Message created;
    created.type = MessageType::Created;
    created.requestId = requestId;
    created.objectId = objectId;
    send(created);
}

void ClientSession::handleCall(const Message &message)
{
    const auto found = m_workers.constFind(message.objectId);
    if (found == m_workers.constEnd()) {
        sendFailure(message.requestId, errors::kObjectNotSet,
                    protocol::errorText(errors::kObjectNotSet));
        return;
    }
    const auto kind = static_cast<protocol::CallKind>(message.code);
    // Refuse what cannot be a call of the interface before bothering the worker's thread.
    const CallOutcome checked = checkCall(message.name, kind, message.args);
    if (checked.error) {
        sendFailure(message.requestId, checked.error, checked.text);
        return;
    }
    const QPointer<QXSms> worker = found->worker;
    const qint64 requestId = message.requestId;
    QMetaObject::invokeMethod(
        m_server->pool().anchor(found->threadIndex),
        [worker, requestId, name = message.name, kind, args = message.args, server = m_server,
         key = m_key] {
            CallOutcome outcome;
            if (QXSms *w = worker.data())
                outcome = invokeMember(*w, name, kind, args);
            else
                outcome = {{}, errors::kObjectNotSet, protocol::errorText(errors::kObjectNotSet)};
            // Through the server, so the answer is queued behind the events the call raised.
            QMetaObject::invokeMethod(
                server,
                [server, key, requestId, outcome] {
                    Message answer;
                    answer.requestId = requestId;
                    if (outcome.error) {
                        answer.type = MessageType::Failure;
                        answer.code = outcome.error;
                        answer.text = outcome.text;
                    } else {
                        answer.type = MessageType::Result;
                        if (outcome.value.isValid())
                            answer.args = {outcome.value};
                    }
                    server->sendAnswer(key, answer);
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void ClientSession::handleRelease(const Message &message)
{
    const auto found = m_workers.find(message.objectId);
    if (found == m_workers.end()) {
        sendFailure(message.requestId, errors::kObjectNotSet,
                    protocol::errorText(errors::kObjectNotSet));
        return;
    }
    const WorkerRef ref = *found;
    m_workers.erase(found);
    releaseWorker(ref, message.requestId);
}

void ClientSession::releaseWorker(const WorkerRef &ref, qint64 requestId)
{
    const QPointer<QXSms> worker = ref.worker;
    WorkerServer *server = m_server;
    const quint64 key = m_key;
    QMetaObject::invokeMethod(
        m_server->pool().anchor(ref.threadIndex),
        [worker, server, key, requestId] {
            if (QXSms *w = worker.data())
                w->release();
            if (requestId == 0)
                return;
            QMetaObject::invokeMethod(
                server,
                [server, key, requestId] {
                    Message answer;
                    answer.type = MessageType::Released;
                    answer.requestId = requestId;
                    server->sendAnswer(key, answer);
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void ClientSession::releaseAll()
{
    const auto workers = m_workers;
    m_workers.clear();
    for (const WorkerRef &ref : workers)
        releaseWorker(ref, 0);
}

void ClientSession::sayBye()
{
    if (m_closing)
        return;
    Message bye;
    bye.type = MessageType::Bye;
    send(bye);
    m_socket->flush();
    m_closing = true;
    m_socket->disconnectFromServer();
}

void ClientSession::sendEvent(qint64 objectId, protocol::Event id, const QVariantList &args,
                              const std::optional<protocol::StatusReport> &report)
{
    if (!m_workers.contains(objectId))
        return;
    const protocol::EventInfo &info = protocol::event(id);
    Message event;
    event.type = MessageType::Event;
    event.objectId = objectId;
    event.name = QString::fromLatin1(info.name);
    event.code = info.dispatchId();
    event.args = args;
    event.report = report;
    send(event);
}

void ClientSession::send(const Message &message)
{
    if (m_closing)
        return;
    m_socket->write(protocol::encodeFrame(message));
    if (m_socket->bytesToWrite() > kMaxUnsentBytes)
        abort(QStringLiteral("the client does not read its answers"));
}

void ClientSession::sendFailure(qint64 requestId, int number, const QString &text)
{
    Message failure;
    failure.type = MessageType::Failure;
    failure.requestId = requestId;
    failure.code = number;
    failure.text = text;
    send(failure);
}

void ClientSession::abort(const QString &reason)
{
    if (m_closing)
        return;
    qWarning().noquote() << "Tarvex80: closing a client connection:" << reason;
    m_closing = true;
    m_socket->abort();
    emit closed(m_key);
}

} // namespace lonvera::worker
