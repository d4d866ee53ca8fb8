// See client_worker_factory.h.
#include "server/core/client_worker_factory.h"

#include "worker/client/qxsms.h"
#include "worker/protocol/identity.h"

namespace lonvera::server {

using worker::client::QXSms;
namespace proto = worker::protocol;

namespace {

// Adapts one client proxy to the core's WorkerHandle. Calls and events keep the worker
// interface's names one level down; the core only sees its own vocabulary.
class ClientWorker : public WorkerHandle
{
public:
    explicit ClientWorker(std::unique_ptr<QXSms> proxy) : m_proxy(std::move(proxy))
    {
        QXSms *p = m_proxy.get();
        connect(p, &QXSms::OnStatusChange, this, &WorkerHandle::statusChanged);
        connect(p, &QXSms::OnOtherReport, this,
                [this](const QVariant &text, const proto::StatusReport &report) {
                    emit statusReport(text.toString(), report);
                });
        connect(p, &QXSms::OnSendReport, this, &WorkerHandle::sendReport);
        connect(p, &QXSms::OnRevMsg, this,
                [this](const QVariant &text) { emit messagesReceived(text.toString()); });
        connect(p, &QXSms::OnReceipt, this,
                [this](const QVariant &text) { emit receiptsReceived(text.toString()); });
        connect(p, &QXSms::OnInCall, this,
                [this](const QVariant &phone) { emit callReceived(phone.toString()); });
        connect(p, &QXSms::serverLost, this, [this] { emit serverLost(); });
    }

    int comport() const override { return m_port; }
    void setComport(int port) override
    {
        m_port = port;
        m_proxy->setComport(qint16(port));
    }
    void setSettings(const QString &settings) override { m_proxy->setSettings(settings); }
    void setSmsservice(const QString &number) override { m_proxy->setSmsservice(number); }
    void connectDevice(int waitSeconds, bool autoRevMsg) override
    {
        m_proxy->Connect(qint16(waitSeconds), autoRevMsg);
    }
    QString sendsmsA(const QString &id, const QString &msg, const QString &mbno, int report,
                     bool validity, int waitSeconds) override
    {
        return m_proxy->SendsmsA(id, msg, mbno, qint16(report), validity, qint16(waitSeconds))
            .toString();
    }
    void readMsg() override { m_proxy->ReadMsg(); }
    void ping() override { m_proxy->Comport(); }
    void closePort() override { m_proxy->ClosePort(); }
    int lastError() const override { return m_proxy->lastError().number; }

private:
    std::unique_ptr<QXSms> m_proxy;
    int m_port = 0;
};

} // namespace

ClientWorkerFactory::ClientWorkerFactory(int callTimeoutMs)
{
    QXSms::setCallTimeout(callTimeoutMs);
}

std::unique_ptr<WorkerHandle> ClientWorkerFactory::create(int *error)
{
    worker::client::WorkerError failure;
    std::unique_ptr<QXSms> proxy = QXSms::create(QString::fromLatin1(proto::kClassId), &failure);
    if (!proxy) {
        if (error)
            *error = failure.number;
        return nullptr;
    }
    if (error)
        *error = 0;
    m_serverPid = proxy->serverPid();
    return std::make_unique<ClientWorker>(std::move(proxy));
}

void ClientWorkerFactory::endServer()
{
    worker::client::quitWorkerServer(3000);
    m_serverPid = 0;
}

QString ClientWorkerFactory::errorText(int number) const
{
    return proto::errorText(number);
}

} // namespace lonvera::server
