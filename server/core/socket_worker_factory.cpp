// See socket_worker_factory.h.
#include "server/core/socket_worker_factory.h"

#include "platform/paths.h"
#include "worker/client/endpoint.h"
#include "worker/protocol/identity.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <QTimer>

namespace lonvera::server {

using namespace Qt::StringLiterals;
namespace proto = worker::protocol;

namespace {
constexpr int kCallTimeoutMs = 15000;
constexpr int kStartTimeoutMs = 8000;
} // namespace

class SocketWorker : public WorkerHandle
{
public:
    SocketWorker(SocketWorkerFactory *factory, qint64 objectId)
        : m_factory(factory), m_objectId(objectId)
    {
    }
    ~SocketWorker() override
    {
        if (m_factory) {
            m_factory->forget(this);
            m_factory->release(m_objectId);
        }
    }
    qint64 objectId() const { return m_objectId; }
    void detach() { m_factory = nullptr; }
    void raise(const QString &name, const QVariantList &args)
    {
        const QString a = args.value(0).toString();
        if (name == u"OnStatusChange"_s)
            emit statusChanged(args.value(0).toBool());
        else if (name == u"OnOtherReport"_s)
            emit otherReport(a);
        else if (name == u"OnSendReport"_s)
            emit sendReport(a, args.value(1).toString());
        else if (name == u"OnRevMsg"_s)
            emit messagesReceived(a);
        else if (name == u"OnReceipt"_s)
            emit receiptsReceived(a);
        else if (name == u"OnInCall"_s)
            emit callReceived(a);
    }
    void lose()
    {
        m_factory = nullptr;
        m_lastError = proto::errors::kServerUnavailable;
        emit serverLost();
    }

    int comport() const override { return m_port; }
    void setComport(int port) override
    {
        m_port = port;
        put(u"Comport"_s, port);
    }
    void setSettings(const QString &s) override { put(u"Settings"_s, s); }
    void setSmsservice(const QString &s) override { put(u"Smsservice"_s, s); }
    void connectDevice(int wait, bool autoRev) override { invoke(u"Connect"_s, {wait, autoRev}); }
    QString sendsmsA(const QString &id, const QString &msg, const QString &mbno, int report,
                     bool validity, int waitSeconds) override
    {
        return invoke(u"SendsmsA"_s, {id, msg, mbno, report, validity, waitSeconds}).toString();
    }
    void readMsg() override { invoke(u"ReadMsg"_s, {}); }
    void closePort() override { invoke(u"ClosePort"_s, {}); }
    int lastError() const override { return m_lastError; }

private:
    void put(const QString &member, const QVariant &value)
    {
        call(member, proto::CallKind::PropertyPut, {value});
    }
    QVariant invoke(const QString &member, const QVariantList &args)
    {
        return call(member, proto::CallKind::Method, args);
    }
    QVariant call(const QString &member, proto::CallKind kind, const QVariantList &args)
    {
        QVariant result;
        m_lastError = proto::errors::kServerUnavailable;
        if (m_factory)
            m_factory->call(m_objectId, member, kind, args, &result, &m_lastError);
        return result;
    }

    SocketWorkerFactory *m_factory;
    qint64 m_objectId;
    int m_port = 0;
    int m_lastError = 0;
};

SocketWorkerFactory::SocketWorkerFactory(QString serverPath, QObject *parent)
    : QObject(parent), m_serverPath(std::move(serverPath))
{
    connect(&m_socket, &QLocalSocket::readyRead, this, &SocketWorkerFactory::readAvailable);
    connect(&m_socket, &QLocalSocket::disconnected, this, &SocketWorkerFactory::connectionLost,
            Qt::QueuedConnection);
}

SocketWorkerFactory::~SocketWorkerFactory()
{
    for (SocketWorker *w : std::as_const(m_workers))
        w->detach();
    m_socket.abort();
}

QString SocketWorkerFactory::errorText(int number) const
{
    return proto::errorText(number);
}

bool SocketWorkerFactory::ensureConnected(int *error)
{
    if (m_socket.state() == QLocalSocket::ConnectedState && !m_lost)
        return true;
    m_socket.abort();
    m_decoder = proto::FrameDecoder();
    m_lost = false;
    const QString socketPath = worker::client::serverSocketPath();
    m_socket.connectToServer(socketPath);
    if (!m_socket.waitForConnected(1000)) {
        QString path = m_serverPath;
        if (path.isEmpty())
            path = worker::client::registeredServerPath();
        if (path.isEmpty())
            path = QDir(QCoreApplication::applicationDirPath()).filePath(u"Tarvex80"_s);
        if (!QFileInfo(path).isExecutable() || !QProcess::startDetached(path, {})) {
            *error = proto::errors::kCannotCreateObject;
            return false;
        }
        const QDeadlineTimer deadline(kStartTimeoutMs);
        while (!deadline.hasExpired()) {
            m_socket.abort();
            m_socket.connectToServer(socketPath);
            if (m_socket.waitForConnected(200))
                break;
            QThread::msleep(50); // the new process needs a moment to listen
        }
    }
    if (m_socket.state() != QLocalSocket::ConnectedState || !handshake()) {
        m_socket.abort();
        *error = proto::errors::kServerUnavailable;
        return false;
    }
    return true;
}

bool SocketWorkerFactory::handshake()
{
    proto::Message welcome;
    if (!exchange(proto::makeHello(), &welcome, kCallTimeoutMs))
        return false;
    QString reason;
    return proto::acceptWelcome(welcome, &m_serverPid, &reason);
}

bool SocketWorkerFactory::exchange(const proto::Message &request, proto::Message *answer,
                                   int timeoutMs)
{
    m_socket.write(proto::encodeFrame(request));
    m_socket.flush();
    const qint64 waitingFor = request.type == proto::MessageType::Hello ? 0 : request.requestId;
    const QDeadlineTimer deadline(timeoutMs);
    // readyRead fires inside waitForReadyRead: the frames are read here, not by readAvailable.
    const bool outer = !m_inExchange;
    m_inExchange = true;
    bool answered = false;
    while (true) {
        if (takeFrames(waitingFor, answer)) {
            answered = true;
            break;
        }
        if (m_lost || m_socket.state() != QLocalSocket::ConnectedState || deadline.hasExpired())
            break;
        m_socket.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
        m_decoder.append(m_socket.readAll());
    }
    if (outer)
        m_inExchange = false;
    return answered;
}

// Takes every complete frame: events are queued for delivery, the awaited answer is returned.
bool SocketWorkerFactory::takeFrames(qint64 waitingFor, proto::Message *answer)
{
    proto::Message m;
    while (true) {
        const proto::FrameDecoder::Status status = m_decoder.next(&m);
        if (status == proto::FrameDecoder::Status::NeedMore)
            return false;
        if (status == proto::FrameDecoder::Status::Failed) {
            m_lost = true;
            m_socket.abort();
            return false;
        }
        if (m.type == proto::MessageType::Event) {
            m_events.enqueue(m);
            if (!m_deliveryScheduled) {
                m_deliveryScheduled = true;
                QTimer::singleShot(0, this, &SocketWorkerFactory::deliverEvents);
            }
        } else if (m.type == proto::MessageType::Bye) {
            m_lost = true;
        } else if (answer && (waitingFor == 0 || m.requestId == waitingFor)) {
            *answer = m;
            return true;
        }
    }
}

void SocketWorkerFactory::readAvailable()
{
    if (m_inExchange)
        return;
    m_decoder.append(m_socket.readAll());
    takeFrames(-1, nullptr);
}

void SocketWorkerFactory::deliverEvents()
{
    m_deliveryScheduled = false;
    // One event per turn of the event loop, as the window's message queue delivered them.
    if (m_events.isEmpty())
        return;
    const proto::Message m = m_events.dequeue();
    if (!m_events.isEmpty()) {
        m_deliveryScheduled = true;
        QTimer::singleShot(0, this, &SocketWorkerFactory::deliverEvents);
    }
    if (SocketWorker *w = m_workers.value(m.objectId))
        w->raise(m.name, m.args);
}

void SocketWorkerFactory::connectionLost()
{
    if (m_socket.state() == QLocalSocket::ConnectedState && !m_lost)
        return;
    m_lost = true;
    m_events.clear();
    const QList<SocketWorker *> workers = m_workers.values();
    m_workers.clear();
    for (SocketWorker *w : workers)
        w->lose();
}

std::unique_ptr<WorkerHandle> SocketWorkerFactory::create(int *error)
{
    *error = 0;
    if (!ensureConnected(error))
        return nullptr;
    proto::Message request;
    request.type = proto::MessageType::Create;
    request.requestId = m_nextRequest++;
    request.name = QLatin1String(proto::kClassId);
    proto::Message answer;
    if (!exchange(request, &answer, kCallTimeoutMs)) {
        *error = proto::errors::kServerUnavailable;
        return nullptr;
    }
    if (answer.type != proto::MessageType::Created) {
        *error = int(answer.code ? answer.code : proto::errors::kCannotCreateObject);
        return nullptr;
    }
    auto worker = std::make_unique<SocketWorker>(this, answer.objectId);
    m_workers.insert(answer.objectId, worker.get());
    return worker;
}

bool SocketWorkerFactory::call(qint64 objectId, const QString &member, proto::CallKind kind,
                               const QVariantList &args, QVariant *result, int *error)
{
    if (m_lost || m_socket.state() != QLocalSocket::ConnectedState) {
        *error = proto::errors::kServerUnavailable;
        return false;
    }
    proto::Message request;
    request.type = proto::MessageType::Call;
    request.requestId = m_nextRequest++;
    request.objectId = objectId;
    request.name = member;
    request.code = int(kind);
    request.args = args;
    proto::Message answer;
    if (!exchange(request, &answer, kCallTimeoutMs)) {
        // No answer in time: the worker server is hung or gone; its workers are lost.
        m_lost = true;
        m_socket.abort();
        QTimer::singleShot(0, this, &SocketWorkerFactory::connectionLost);
        *error = proto::errors::kServerUnavailable;
        return false;
    }
    if (answer.type == proto::MessageType::Failure) {
        *error = int(answer.code);
        return false;
    }
    *error = 0;
    if (result)
        *result = answer.args.value(0);
    return true;
}

void SocketWorkerFactory::release(qint64 objectId)
{
    if (m_lost || m_socket.state() != QLocalSocket::ConnectedState)
        return;
    proto::Message request;
    request.type = proto::MessageType::Release;
    request.requestId = m_nextRequest++;
    request.objectId = objectId;
    proto::Message answer;
    exchange(request, &answer, kCallTimeoutMs);
}

void SocketWorkerFactory::forget(SocketWorker *worker)
{
    m_workers.remove(worker->objectId());
}

void SocketWorkerFactory::endServer()
{
    if (m_socket.state() != QLocalSocket::ConnectedState)
        return;
    proto::Message quit;
    quit.type = proto::MessageType::Quit;
    m_socket.write(proto::encodeFrame(quit));
    m_socket.flush();
    m_socket.waitForBytesWritten(1000);
    m_socket.disconnectFromServer();
}

} // namespace lonvera::server
