// See worker_fixture.h.
#include "worker_fixture.h"

#include <QCoreApplication>
#include <QTest>

#include <csignal>
#include <sys/types.h>

namespace lonvera::worker::testing {

EventRecorder::EventRecorder(client::QXSms *worker)
{
    m_clock.start();
    auto add = [this](const char *name, QStringList args) {
        events.append({QString::fromLatin1(name), std::move(args), m_clock.elapsed(), {}});
    };
    connect(worker, &client::QXSms::OnRevMsg, this,
            [add](const QVariant &v) { add("OnRevMsg", {v.toString()}); });
    connect(worker, &client::QXSms::OnStatusChange, this, [add](bool b) {
        add("OnStatusChange", {b ? QStringLiteral("1") : QStringLiteral("0")});
    });
    connect(worker, &client::QXSms::OnSendReport, this, [add](const QString &id, const QString &r) {
        add("OnSendReport", {id, r});
    });
    connect(worker, &client::QXSms::OnOtherReport, this,
            [this](const QVariant &v, const protocol::StatusReport &report) {
                events.append(
                    {QStringLiteral("OnOtherReport"), {v.toString()}, m_clock.elapsed(), report});
            });
    connect(worker, &client::QXSms::OnInCall, this,
            [add](const QVariant &v) { add("OnInCall", {v.toString()}); });
    connect(worker, &client::QXSms::OnReceipt, this,
            [add](const QVariant &v) { add("OnReceipt", {v.toString()}); });
    connect(worker, &client::QXSms::serverLost, this, [this] { lost = true; });
}

QStringList EventRecorder::texts() const
{
    QStringList out;
    for (const RecordedEvent &e : events) {
        if (e.name == QLatin1String("OnOtherReport"))
            out.append(e.args.value(0));
    }
    return out;
}

QList<protocol::ReportKind> EventRecorder::kinds() const
{
    QList<protocol::ReportKind> out;
    for (const RecordedEvent &e : events) {
        if (e.name == QLatin1String("OnOtherReport"))
            out.append(e.report.kind);
    }
    return out;
}

QList<RecordedEvent> EventRecorder::named(const QString &name) const
{
    QList<RecordedEvent> out;
    for (const RecordedEvent &e : events) {
        if (e.name == name)
            out.append(e);
    }
    return out;
}

bool EventRecorder::waitForText(const QString &text, int timeoutMs)
{
    return QTest::qWaitFor([&] { return texts().contains(text); }, timeoutMs);
}

bool EventRecorder::waitForEvent(const QString &name, int count, int timeoutMs)
{
    return QTest::qWaitFor([&] { return named(name).size() >= count; }, timeoutMs);
}

qint64 EventRecorder::timeOf(const QString &text) const
{
    for (const RecordedEvent &e : events) {
        if (e.name == QLatin1String("OnOtherReport") && e.args.value(0) == text)
            return e.atMs;
    }
    return -1;
}

bool WorkerFixture::start(int modems, const emulator::ProfileSet &profiles)
{
    m_prefix = std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/lvw-XXXXXX"));
    if (!m_prefix->isValid())
        return false;
    // The spawned worker server inherits the prefix, so it finds the same COM links.
    qputenv("LONVERA_PREFIX", m_prefix->path().toLocal8Bit());
    m_emulator = std::make_unique<emulator::Emulator>();
    m_emulator->startInThread();
    emulator::EmulatorOptions options;
    options.prefix = m_prefix->path();
    options.modems = modems;
    options.profiles = profiles;
    QString error;
    if (!m_emulator->start(options, &error)) {
        qWarning() << "emulator:" << error;
        return false;
    }
    return true;
}

void WorkerFixture::stop()
{
    client::quitWorkerServer(5000);
    m_emulator.reset();
    m_prefix.reset();
}

std::unique_ptr<client::QXSms> WorkerFixture::connectedWorker(int com,
                                                              std::unique_ptr<EventRecorder> *rec,
                                                              bool autoRevMsg, qint16 waitTime)
{
    client::WorkerError error;
    std::unique_ptr<client::QXSms> worker =
        client::QXSms::create(QString::fromLatin1(protocol::kClassId), &error);
    if (!worker) {
        qWarning() << "create failed:" << error.number << error.description;
        return nullptr;
    }
    *rec = std::make_unique<EventRecorder>(worker.get());
    worker->setComport(static_cast<qint16>(com));
    worker->setSettings(QStringLiteral("9600,n,8,1"));
    worker->Connect(waitTime, autoRevMsg);
    const QString expected = QStringLiteral("成功连接设备");
    if (!QTest::qWaitFor(
            [&] {
                for (const QString &t : (*rec)->texts()) {
                    if (t.startsWith(expected) || t.startsWith(QStringLiteral("未找到设备")))
                        return true;
                }
                return false;
            },
            60000))
        return nullptr;
    for (const QString &t : (*rec)->texts()) {
        if (t.startsWith(expected))
            return worker;
    }
    return nullptr;
}

bool processExists(qint64 pid)
{
    return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) == 0;
}

bool waitForProcessEnd(qint64 pid, int timeoutMs)
{
    return QTest::qWaitFor([pid] { return !processExists(pid); }, timeoutMs);
}

} // namespace lonvera::worker::testing
