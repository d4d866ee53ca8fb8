// See qxsms.h.
#include "worker/client/qxsms.h"

#include "worker/client/worker_connection.h"

#include <algorithm>

namespace lonvera::worker::client {

namespace {

using protocol::CallKind;
using protocol::Event;
using protocol::Member;
using protocol::Message;
using protocol::MessageType;
namespace errors = protocol::errors;

thread_local WorkerError t_lastError;
int g_callTimeoutMs = 60000;
// Creating a worker loads its control; releasing one closes its port. Neither is given longer
// than a call when the caller allows its calls less.
constexpr int kCreateTimeoutMs = 15000;
constexpr int kReleaseTimeoutMs = 15000;

void noteError(const WorkerError &error, WorkerError *out)
{
    t_lastError = error;
    if (out)
        *out = error;
}

} // namespace

WorkerError lastError()
{
    return t_lastError;
}
void clearLastError()
{
    t_lastError = {};
}

void QXSms::setCallTimeout(int ms)
{
    g_callTimeoutMs = ms;
}
int QXSms::callTimeout()
{
    return g_callTimeoutMs;
}

void QXSms::setStartTimeout(int ms)
{
    WorkerConnection::setStartTimeout(ms);
}
int QXSms::startTimeout()
{
    return WorkerConnection::startTimeout();
}

std::unique_ptr<QXSms> QXSms::create(const QString &classId, WorkerError *error)
{
    // A server that is just ending after its last worker cannot take a new one: go to a new
    // server (a start racing with the ending one may reach it once more).
    for (int attempt = 0; attempt < 3; ++attempt) {
        WorkerError e;
        std::shared_ptr<WorkerConnection> connection = WorkerConnection::obtain(&e);
        if (!connection) {
            noteError(e, error);
            return nullptr;
        }
        Message create;
        create.type = MessageType::Create;
        create.name = classId;
        Message answer;
        if (connection->request(create, std::min(kCreateTimeoutMs, g_callTimeoutMs), &answer, &e)) {
            std::unique_ptr<QXSms> proxy(new QXSms(connection, answer.objectId));
            if (error)
                *error = {};
            return proxy;
        }
        const bool retry = e.number == errors::kServerUnavailable && connection->saidBye();
        if (!retry) {
            noteError(e, error);
            return nullptr;
        }
        // Let the ending server finish before the next one is started.
        connection->waitForClose(2000);
    }
    const WorkerError e{errors::kServerUnavailable,
                        protocol::errorText(errors::kServerUnavailable)};
    noteError(e, error);
    return nullptr;
}

QXSms::QXSms(std::shared_ptr<WorkerConnection> connection, qint64 objectId)
    : m_connection(std::move(connection)), m_objectId(objectId)
{
    m_connection->attach(m_objectId, this);
}

QXSms::~QXSms()
{
    release();
}

bool QXSms::isAlive() const
{
    return !m_lost && m_connection && m_connection->isAlive();
}

qint64 QXSms::serverPid() const
{
    return m_connection ? m_connection->serverPid() : 0;
}

bool QXSms::fail(const WorkerError &error)
{
    m_lastError = error;
    t_lastError = error;
    return false;
}

QVariant QXSms::invoke(const QString &member, CallKind kind, const QVariantList &args)
{
    if (m_released) {
        fail({errors::kObjectNotSet, protocol::errorText(errors::kObjectNotSet)});
        return {};
    }
    Message call;
    call.type = MessageType::Call;
    call.objectId = m_objectId;
    call.name = member;
    call.code = static_cast<int>(kind);
    call.args = args;
    Message answer;
    WorkerError error;
    if (!m_connection->request(call, g_callTimeoutMs, &answer, &error)) {
        fail(error);
        return {};
    }
    m_lastError = {};
    return answer.args.value(0);
}

void QXSms::release()
{
    if (m_released)
        return;
    m_released = true;
    m_connection->detach(m_objectId);
    if (!m_connection->isAlive())
        return;
    Message release;
    release.type = MessageType::Release;
    release.objectId = m_objectId;
    Message answer;
    WorkerError error;
    if (!m_connection->request(release, std::min(kReleaseTimeoutMs, g_callTimeoutMs), &answer,
                               &error))
        fail(error);
}

void QXSms::deliver(const Message &event)
{
    const QVariant first = event.args.value(0);
    switch (static_cast<Event>(event.code)) {
    case Event::OnRevMsg:
        emit OnRevMsg(first);
        break;
    case Event::OnStatusChange:
        emit OnStatusChange(first.toBool());
        break;
    case Event::OnOtherReport:
        emit OnOtherReport(first, event.report.value_or(protocol::StatusReport{}));
        break;
    case Event::OnSendReport:
        emit OnSendReport(first.toString(), event.args.value(1).toString());
        break;
    case Event::OnInCall:
        emit OnInCall(first);
        break;
    case Event::OnReceipt:
        emit OnReceipt(first);
        break;
    }
}

void QXSms::announceLoss(const WorkerError &error)
{
    if (m_lost || m_released)
        return;
    m_lost = true;
    emit serverLost(error);
}

QVariant QXSms::get(protocol::Member member)
{
    return invoke(QString::fromLatin1(protocol::member(member).name), CallKind::PropertyGet);
}
void QXSms::put(protocol::Member member, const QVariant &value)
{
    invoke(QString::fromLatin1(protocol::member(member).name), CallKind::PropertyPut, {value});
}
QVariant QXSms::call(protocol::Member member, const QVariantList &args)
{
    return invoke(QString::fromLatin1(protocol::member(member).name), CallKind::Method, args);
}

QString QXSms::spiidd()
{
    return get(Member::spiidd).toString();
}
void QXSms::setSpiidd(const QString &value)
{
    put(Member::spiidd, value);
}
qint16 QXSms::Comport()
{
    return static_cast<qint16>(get(Member::Comport).toInt());
}
void QXSms::setComport(qint16 port)
{
    put(Member::Comport, port);
}
QVariant QXSms::Settings()
{
    return get(Member::Settings);
}
void QXSms::setSettings(const QVariant &settings)
{
    put(Member::Settings, settings);
}
QVariant QXSms::Smsservice()
{
    return get(Member::Smsservice);
}
void QXSms::setSmsservice(const QVariant &number)
{
    put(Member::Smsservice, number);
}

void QXSms::Connect(qint16 WaitTime, bool AutoRevMsg)
{
    call(Member::Connect, {WaitTime, AutoRevMsg});
}
void QXSms::Dailphone(const QString &PhoneStr1)
{
    call(Member::Dailphone, {PhoneStr1});
}
void QXSms::DVts123(const QString &key123)
{
    call(Member::DVts123, {key123});
}
QVariant QXSms::SendsmsA(const QString &ppidd, const QString &msg1, const QString &mb1, qint16 rp1,
                         bool pV, qint16 waittm)
{
    return call(Member::SendsmsA, {ppidd, msg1, mb1, rp1, pV, waittm});
}
void QXSms::Dovote_task(const QString &mb, qint16 voteMax1, const QVariantList &tAndKeys)
{
    QVariantList args{mb, voteMax1};
    args += tAndKeys.mid(0, protocol::member(Member::Dovote_task).maxArgs() - 2);
    call(Member::Dovote_task, args);
}
void QXSms::ReadMsg()
{
    call(Member::ReadMsg);
}
void QXSms::HandupCall()
{
    call(Member::HandupCall);
}
void QXSms::ClosePort()
{
    call(Member::ClosePort);
}

bool quitWorkerServer(int timeoutMs)
{
    std::shared_ptr<WorkerConnection> connection = WorkerConnection::existing();
    if (!connection) {
        // Only a running server is asked; none is started for this.
        auto probe = std::make_shared<WorkerConnection>();
        if (!probe->openExisting())
            return false;
        connection = probe;
    }
    Message quit;
    quit.type = MessageType::Quit;
    connection->post(quit);
    connection->waitForClose(timeoutMs);
    return true;
}

} // namespace lonvera::worker::client
