// The worker server end to end: a client in the test, a real Tarvex80 process, emulated modems on
// pseudo-terminals. Connecting, sending with its waits and retries, queued requests, receiving,
// calls, closing, many workers at once, bad input on the socket, and a server that dies.
#include "control/modem/sim_unlock.h"
#include "control/send_results.h"
#include "worker_fixture.h"

#include "worker/client/endpoint.h"
#include "worker/protocol/message.h"

#include <QElapsedTimer>
#include <QLocalSocket>
#include <QTest>

#include <atomic>
#include <csignal>

using namespace lonvera;
using namespace lonvera::worker;
using namespace lonvera::worker::testing;

class TestTarvex80 : public QObject
{
    Q_OBJECT

    WorkerFixture m_fixture;

    void setProfile(int com, const std::function<void(emulator::ModemProfile &)> &change)
    {
        m_fixture.emulator().updateProfile(com, change);
    }

    int refusedSends(int com)
    {
        const auto sent = m_fixture.emulator().sentMessages(com);
        return int(std::count_if(sent.begin(), sent.end(),
                                 [](const emulator::SentMessage &m) { return m.reference < 0; }));
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_fixture.start(16)); }
    void cleanupTestCase() { m_fixture.stop(); }

    void connectReportsModelAndPort()
    {
        std::unique_ptr<EventRecorder> rec;
        auto worker = m_fixture.connectedWorker(2, &rec);
        QVERIFY(worker);
        QCOMPARE(rec->texts().value(0), QStringLiteral("正在连接"));
        // The model as the control reads it, then the port.
        const QString connected = rec->texts().value(1);
        QVERIFY2(connected.startsWith(QStringLiteral("成功连接设备EMU-GSM")) &&
                     connected.endsWith(QStringLiteral("(COM2)")),
                 qPrintable(rec->texts().join('|')));
        // The kind travels beside the text: the server never takes model or port from it.
        QCOMPARE(rec->kinds().mid(0, 2),
                 (QList{protocol::ReportKind::Connecting, protocol::ReportKind::Connected}));
        const protocol::StatusReport report = rec->named(QStringLiteral("OnOtherReport"))[1].report;
        QVERIFY2(report.model.startsWith(QStringLiteral("EMU-GSM")), qPrintable(report.model));
        QVERIFY(connected.contains(report.model));
        QCOMPARE(report.port, 2);
        QCOMPARE(worker->Comport(), qint16(2));
        QCOMPARE(worker->Settings().toString(), QStringLiteral("9600,n,8,1"));
        worker->setSpiidd(QStringLiteral("slot 2"));
        QCOMPARE(worker->spiidd(), QStringLiteral("slot 2"));
    }

    void connectToSilentModemFails()
    {
        setProfile(3, [](emulator::ModemProfile &p) { p.silent = true; });
        std::unique_ptr<EventRecorder> rec;
        auto worker = m_fixture.connectedWorker(3, &rec, true, 1);
        QVERIFY(!worker);
        QVERIFY2(rec->texts().contains(QStringLiteral("未找到设备")),
                 qPrintable(rec->texts().join('|')));
        // The control waits WaitTime seconds for each of its four handshake probes.
        const qint64 took =
            rec->timeOf(QStringLiteral("未找到设备")) - rec->timeOf(QStringLiteral("正在连接"));
        QVERIFY2(took >= 4000 - 50 && took < 9000, qPrintable(QString::number(took)));
        setProfile(3, [](emulator::ModemProfile &p) { p.silent = false; });
    }

    void connectReportNamesTheSimFault()
    {
        // A SIM asking for its PUK reached the run log only as "未找到设备".
        setProfile(3, [](emulator::ModemProfile &p) { p.simState = QStringLiteral("SIM PUK"); });
        std::unique_ptr<EventRecorder> rec;
        auto worker = m_fixture.connectedWorker(3, &rec, true, 1);
        QVERIFY(!worker);
        const QString expected = QStringLiteral("未找到设备：") + control::SimUnlock::pukText();
        QVERIFY2(rec->texts().contains(expected), qPrintable(rec->texts().join('|')));
        QVERIFY(rec->kinds().contains(protocol::ReportKind::NotFound));
        setProfile(3, [](emulator::ModemProfile &p) { p.simState = QStringLiteral("READY"); });
    }

    void connectWithoutAutoReceiveSwitchesNoticesOff()
    {
        std::unique_ptr<EventRecorder> rec;
        auto worker = m_fixture.connectedWorker(4, &rec, false);
        QVERIFY(worker);
        // The last new-message setting the modem got is "off".
        QVERIFY(QTest::qWaitFor(
            [&] {
                const auto commands = m_fixture.emulator().commands(4);
                for (auto it = commands.crbegin(); it != commands.crend(); ++it) {
                    if (it->toUpper().contains("+CNMI="))
                        return it->toUpper().contains("+CNMI=0");
                }
                return false;
            },
            5000));
    }

    void sendWaitsAndReportsInOrder_data()
    {
        QTest::addColumn<int>("waittm");
        QTest::addColumn<int>("minimumMs");
        QTest::newRow("no pause: two 38 ms halves") << 0 << 76;
        QTest::newRow("3 s: two 1500 ms halves") << 3 << 3000;
    }
    void sendWaitsAndReportsInOrder()
    {
        QFETCH(int, waittm);
        QFETCH(int, minimumMs);
        std::unique_ptr<EventRecorder> rec;
        auto worker = m_fixture.connectedWorker(5, &rec);
        QVERIFY(worker);
        rec->events.clear();
        QCOMPARE(worker
                     ->SendsmsA(QStringLiteral("41"), QStringLiteral("hello"),
                                m_fixture.emulator().number(6), 0, false,
                                static_cast<qint16>(waittm))
                     .toString(),
                 QStringLiteral("y"));
        QVERIFY(rec->waitForEvent(QStringLiteral("OnSendReport"), 1, 20000));
        const auto report = rec->named(QStringLiteral("OnSendReport")).first();
        QCOMPARE(report.args, (QStringList{QStringLiteral("41"), QStringLiteral("y")}));
        QCOMPARE(rec->texts().mid(0, 2),
                 (QStringList{QStringLiteral("正在候时"), QStringLiteral("正在发送")}));
        QCOMPARE(rec->kinds().mid(0, 2),
                 (QList{protocol::ReportKind::Waiting, protocol::ReportKind::Sending}));
        const qint64 waited =
            rec->timeOf(QStringLiteral("正在发送")) - rec->timeOf(QStringLiteral("正在候时"));
        // Events travel the same road, so their gap is the worker's wait (give or take a tick).
        QVERIFY2(waited >= minimumMs - 10, qPrintable(QString::number(waited)));
        QVERIFY2(waited < minimumMs + 1500, qPrintable(QString::number(waited)));
    }

    void failedAttemptIsRetriedOnce()
    {
        std::unique_ptr<EventRecorder> rec;
        auto worker = m_fixture.connectedWorker(7, &rec);
        QVERIFY(worker);
        // The network refuses every message to a number it does not know.
        setProfile(7, [](emulator::ModemProfile &p) { p.unknownNumberCmsError = 500; });
        rec->events.clear();
        QCOMPARE(worker->SendsmsA("77", "nobody", "10000").toString(), QStringLiteral("y"));
        QVERIFY(rec->waitForEvent(QStringLiteral("OnSendReport"), 1, 60000));
        QCOMPARE(rec->texts().mid(0, 3),
                 (QStringList{QStringLiteral("正在候时"), QStringLiteral("正在发送"),
                              QStringLiteral("正在发送(2)")}));
        const QStringList report = rec->named(QStringLiteral("OnSendReport")).first().args;
        QCOMPARE(report.value(0), QStringLiteral("77"));
        QVERIFY(!report.value(1).isEmpty() && report.value(1) != QStringLiteral("y"));
        setProfile(7, [](emulator::ModemProfile &p) { p.unknownNumberCmsError = 0; });
        // Two attempts, each of the same number of the control's own tries.
        const int refused = refusedSends(7);
        QVERIFY2(refused >= 2 && refused % 2 == 0, qPrintable(QString::number(refused)));
    }

    void firstAttemptFailsSecondSucceeds()
    {
        std::unique_ptr<EventRecorder> rec;
        auto worker = m_fixture.connectedWorker(8, &rec);
        QVERIFY(worker);
        setProfile(8, [](emulator::ModemProfile &p) { p.unknownNumberCmsError = 500; });
        // The control retries on its own inside one of the worker's attempts: a send the network
        // refuses in full tells how many refusals make up one attempt.
        QCOMPARE(worker->SendsmsA("79", "nobody", "10000").toString(), QStringLiteral("y"));
        QVERIFY(rec->waitForEvent(QStringLiteral("OnSendReport"), 1, 60000));
        const int refusedInFull = refusedSends(8);
        QVERIFY2(refusedInFull >= 2 && refusedInFull % 2 == 0,
                 qPrintable(QString::number(refusedInFull)));
        // The modem takes messages again right after the refusal that ends the first attempt.
        // The switch is made on the emulator's thread as it logs that refusal, before the modem
        // answers, so the second attempt finds it in place whatever the timing.
        const int lastRefusal = refusedInFull + refusedInFull / 2;
        std::atomic<bool> switched = false;
        emulator::Emulator &emu = m_fixture.emulator();
        QMetaObject::Connection hook = connect(
            emu.log(), &emulator::EmulatorLog::changed, emu.log(),
            [&] {
                if (!switched && refusedSends(8) >= lastRefusal) {
                    switched = true;
                    emu.updateProfile(
                        8, [](emulator::ModemProfile &p) { p.unknownNumberCmsError = 0; });
                }
            },
            Qt::DirectConnection);
        rec->events.clear();
        QCOMPARE(worker->SendsmsA("78", "second time lucky", "10000").toString(),
                 QStringLiteral("y"));
        const bool reported = rec->waitForEvent(QStringLiteral("OnSendReport"), 1, 60000);
        disconnect(hook);
        QVERIFY(reported);
        QVERIFY(switched);
        QCOMPARE(rec->texts(), (QStringList{QStringLiteral("正在候时"), QStringLiteral("正在发送"),
                                            QStringLiteral("正在发送(2)")}));
        const auto reports = rec->named(QStringLiteral("OnSendReport"));
        QCOMPARE(reports.size(), 1);
        QCOMPARE(reports[0].args, (QStringList{QStringLiteral("78"), QStringLiteral("y")}));
        // The first attempt's refusals and the second attempt's one accepted message.
        QCOMPARE(refusedSends(8), lastRefusal);
        const auto sent = emu.sentMessages(8);
        QVERIFY(!sent.isEmpty() && sent.last().reference >= 0);
    }

    // Field fault: a second send requested within the deferral replaced the first, which then
    // stayed claimed and was never reported.
    void twoQuickSendsAreBothReported()
    {
        std::unique_ptr<EventRecorder> rec;
        auto worker = m_fixture.connectedWorker(9, &rec);
        QVERIFY(worker);
        const QString to = m_fixture.emulator().number(10);
        QCOMPARE(worker->SendsmsA("1", "first", to).toString(), QStringLiteral("y"));
        QCOMPARE(worker->SendsmsA("2", "second", to).toString(), QStringLiteral("y"));
        QVERIFY(rec->waitForEvent(QStringLiteral("OnSendReport"), 2, 20000));
        const auto reports = rec->named(QStringLiteral("OnSendReport"));
        QCOMPARE(reports[0].args, (QStringList{"1", "y"}));
        QCOMPARE(reports[1].args, (QStringList{"2", "y"}));
        QVERIFY(m_fixture.emulator().waitForSentMessages(9, 2, 5000));
    }

    // Every few results the server asks for a read and the next send at once. Each still waits
    // the deferral from its request, but the send must not wait a second one after the read:
    // that cost a tenth of a second on every eighth message.
    void readAndSendRequestedTogetherShareTheDeferral()
    {
        std::unique_ptr<EventRecorder> rec;
        auto worker = m_fixture.connectedWorker(14, &rec);
        QVERIFY(worker);
        rec->events.clear();
        QElapsedTimer requested;
        requested.start();
        worker->ReadMsg();
        QCOMPARE(
            worker->SendsmsA("31", "after the read", m_fixture.emulator().number(10)).toString(),
            QStringLiteral("y"));
        QVERIFY(rec->waitForText(QStringLiteral("正在候时"), 10000));
        const qint64 untilSendStarted = requested.elapsed();
        QVERIFY(rec->waitForEvent(QStringLiteral("OnSendReport"), 1, 20000));
        QCOMPARE(rec->named(QStringLiteral("OnSendReport")).first().args, (QStringList{"31", "y"}));
        const auto reads = rec->named(QStringLiteral("OnRevMsg"));
        QCOMPARE(reads.size(), 1);
        const qint64 gap = rec->timeOf(QStringLiteral("正在候时")) - reads.first().atMs;
        QVERIFY2(gap >= 0 && gap < 80, qPrintable(QString::number(gap)));
        QVERIFY2(untilSendStarted >= 95, qPrintable(QString::number(untilSendStarted)));
    }

    void busyControlAnswersBusy()
    {
        setProfile(11, [](emulator::ModemProfile &p) { p.networkDelayMs = 1500; });
        std::unique_ptr<EventRecorder> rec;
        auto worker = m_fixture.connectedWorker(11, &rec);
        QVERIFY(worker);
        rec->events.clear();
        QCOMPARE(worker->SendsmsA("5", "slow", m_fixture.emulator().number(12)).toString(),
                 QStringLiteral("y"));
        QVERIFY(rec->waitForText(QStringLiteral("正在发送"), 5000));
        QCOMPARE(worker->SendsmsA("6", "refused", m_fixture.emulator().number(12)).toString(),
                 QStringLiteral("Busy"));
        QVERIFY(rec->waitForEvent(QStringLiteral("OnSendReport"), 1, 20000));
        // Requests run in order: once a read asked for now is answered, a send taken before it
        // would have run and been reported.
        worker->ReadMsg();
        QVERIFY(rec->waitForEvent(QStringLiteral("OnRevMsg"), 1, 10000));
        // Only the first one was taken.
        const auto reports = rec->named(QStringLiteral("OnSendReport"));
        QCOMPARE(reports.size(), 1);
        QCOMPARE(reports[0].args.value(0), QStringLiteral("5"));
        QCOMPARE(rec->texts().count(QStringLiteral("正在候时")), 1);
        setProfile(11, [](emulator::ModemProfile &p) { p.networkDelayMs = 0; });
    }

    void closePortStopsARunningSend()
    {
        setProfile(13, [](emulator::ModemProfile &p) { p.networkDelayMs = 4000; });
        std::unique_ptr<EventRecorder> rec;
        auto worker = m_fixture.connectedWorker(13, &rec);
        QVERIFY(worker);
        rec->events.clear();
        QCOMPARE(worker->SendsmsA("8", "stop me", m_fixture.emulator().number(14)).toString(),
                 QStringLiteral("y"));
        QVERIFY(rec->waitForText(QStringLiteral("正在发送"), 5000));
        worker->ClosePort();
        QVERIFY(rec->waitForText(QStringLiteral("关闭端口"), 3000));
        // The read runs only after the stopped send has ended, so anything that send still
        // raised comes before its answer.
        worker->ReadMsg();
        QVERIFY(rec->waitForEvent(QStringLiteral("OnRevMsg"), 1, 10000));
        // The stopped send still reports, once, with a text that says how far it got (here the
        // PDU was with the modem and its answer never came), and is not tried a second time.
        const auto reports = rec->named(QStringLiteral("OnSendReport"));
        QCOMPARE(reports.size(), 1);
        QCOMPARE(reports[0].args.value(0), QStringLiteral("8"));
        QVERIFY2(control::SendResult::isInterrupted(reports[0].args.value(1)),
                 qPrintable(reports[0].args.value(1)));
        QVERIFY(!rec->texts().contains(QStringLiteral("正在发送(2)")));
        setProfile(13, [](emulator::ModemProfile &p) { p.networkDelayMs = 0; });
    }

    void readMsgDeliversRecordsOrNothing()
    {
        std::unique_ptr<EventRecorder> rec;
        auto worker = m_fixture.connectedWorker(15, &rec, false);
        QVERIFY(worker);
        m_fixture.emulator().clearStorage(15);
        rec->events.clear();
        worker->ReadMsg();
        QVERIFY(rec->waitForEvent(QStringLiteral("OnRevMsg"), 1, 10000));
        QCOMPARE(rec->named(QStringLiteral("OnRevMsg")).first().args.value(0), QStringLiteral("0"));

        QVERIFY(m_fixture.emulator().deliverText(15, QStringLiteral("8613912345678"),
                                                 QStringLiteral("你好")));
        worker->ReadMsg();
        QVERIFY(rec->waitForEvent(QStringLiteral("OnRevMsg"), 2, 10000));
        const QString records = rec->named(QStringLiteral("OnRevMsg"))[1].args.value(0);
        const QStringList fields = records.split(QChar(1)).value(0).split(QChar(2));
        QCOMPARE(fields.size(), 3);
        QVERIFY2(fields[0].contains("13912345678"), qPrintable(fields[0]));
        QCOMPARE(fields[1], QStringLiteral("你好"));
    }

    void incomingCalls()
    {
        std::unique_ptr<EventRecorder> rec;
        auto worker = m_fixture.connectedWorker(16, &rec);
        QVERIFY(worker);
        rec->events.clear();
        emulator::Emulator &emu = m_fixture.emulator();
        const qsizetype start = emu.commands(16).size();
        auto sinceStart = [&](const char *command) {
            const auto commands = emu.commands(16).mid(start);
            return std::count_if(commands.begin(), commands.end(), [&](const QByteArray &c) {
                return c.toUpper().startsWith(command);
            });
        };
        // A ring without a caller the modem can name raises nothing and is not hung up: the
        // control asks for the caller three times and gives up.
        emu.injectRing(16);
        QVERIFY(emu.waitFor([&] { return sinceStart("AT+CLCC") >= 3; }, 10000));

        emu.ringFrom(16, QStringLiteral("13900001111"));
        QVERIFY(rec->waitForEvent(QStringLiteral("OnInCall"), 1, 15000));
        // Events keep their order, so a call event for the first ring would have come first.
        const auto calls = rec->named(QStringLiteral("OnInCall"));
        QCOMPARE(calls.size(), 1);
        QVERIFY(calls.first().args.value(0).contains(QStringLiteral("13900001111")));
        // The worker rejected the known caller (only) before telling the client.
        QVERIFY(emu.waitFor([&] { return sinceStart("ATH") + sinceStart("AT+CHUP") >= 1; }, 5000));
        QCOMPARE(sinceStart("ATH") + sinceStart("AT+CHUP"), 1);
    }

    void sixteenWorkersAtOnce()
    {
        std::vector<std::unique_ptr<client::QXSms>> workers;
        std::vector<std::unique_ptr<EventRecorder>> recs(16);
        for (int com = 1; com <= 16; ++com) {
            auto w = client::QXSms::create();
            QVERIFY(w);
            recs[static_cast<size_t>(com - 1)] = std::make_unique<EventRecorder>(w.get());
            w->setComport(static_cast<qint16>(com));
            w->Connect(9);
            workers.push_back(std::move(w));
        }
        for (auto &rec : recs)
            QVERIFY(QTest::qWaitFor(
                [&] { return rec->texts().filter(QStringLiteral("成功连接设备")).size() == 1; },
                60000));
        for (int i = 0; i < 16; ++i)
            QCOMPARE(workers[static_cast<size_t>(i)]
                         ->SendsmsA(QString::number(100 + i), "all at once",
                                    m_fixture.emulator().number(i == 15 ? 1 : i + 2))
                         .toString(),
                     QStringLiteral("y"));
        for (int i = 0; i < 16; ++i) {
            QVERIFY(recs[static_cast<size_t>(i)]->waitForEvent("OnSendReport", 1, 20000));
            QCOMPARE(recs[static_cast<size_t>(i)]->named("OnSendReport").first().args,
                     (QStringList{QString::number(100 + i), "y"}));
        }
    }

    void badCallsAreErrorsNotCrashes_data()
    {
        QTest::addColumn<QString>("member");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QVariantList>("args");
        QTest::addColumn<int>("error");
        const int method = int(protocol::CallKind::Method);
        QTest::newRow("unknown member") << "Explode" << method << QVariantList{} << 438;
        QTest::newRow("method as property")
            << "Connect" << int(protocol::CallKind::PropertyGet) << QVariantList{} << 438;
        QTest::newRow("missing argument") << "SendsmsA" << method << QVariantList{"1", "x"} << 449;
        QTest::newRow("too many arguments") << "ReadMsg" << method << QVariantList{1} << 450;
        QTest::newRow("wait not a number")
            << "Dovote_task" << method << QVariantList{"10086", 1, "abc", "1"} << 13;
        QTest::newRow("rounds out of range")
            << "Dovote_task" << method << QVariantList{"10086", 99999} << 6;
        QTest::newRow("port not a number")
            << "Comport" << int(protocol::CallKind::PropertyPut) << QVariantList{"COM1"} << 13;
    }
    void badCallsAreErrorsNotCrashes()
    {
        QFETCH(QString, member);
        QFETCH(int, kind);
        QFETCH(QVariantList, args);
        QFETCH(int, error);
        auto worker = client::QXSms::create();
        QVERIFY2(worker, qPrintable(client::lastError().description));
        worker->invoke(member, static_cast<protocol::CallKind>(kind), args);
        QCOMPARE(worker->lastError().number, error);
        QCOMPARE(client::lastError().number, error);
        // The worker (and its server) go on.
        worker->setSpiidd(QStringLiteral("still here"));
        QCOMPARE(worker->spiidd(), QStringLiteral("still here"));
        QCOMPARE(worker->lastError().number, 0);
    }

    void malformedFramesCloseOnlyThatConnection_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("garbage") << QByteArray("GET / HTTP/1.1\r\n\r\n");
        QTest::newRow("oversized") << QByteArray("\x7f\xff\xff\xff", 4);
        protocol::Message call;
        call.type = protocol::MessageType::Call;
        call.objectId = 1;
        call.name = "ClosePort";
        call.code = 1;
        QTest::newRow("call before greeting") << protocol::encodeFrame(call);
    }
    void malformedFramesCloseOnlyThatConnection()
    {
        QFETCH(QByteArray, bytes);
        auto worker = client::QXSms::create();
        QVERIFY2(worker, qPrintable(client::lastError().description));
        QLocalSocket intruder;
        intruder.connectToServer(client::serverSocketPath());
        QVERIFY(intruder.waitForConnected(2000));
        intruder.write(bytes);
        intruder.flush();
        QVERIFY(QTest::qWaitFor([&] { return intruder.state() == QLocalSocket::UnconnectedState; },
                                5000));
        QVERIFY(worker->isAlive());
        worker->setSpiidd(QStringLiteral("ok"));
        QCOMPARE(worker->spiidd(), QStringLiteral("ok"));
    }

    void otherClientsCannotReachMyWorkers()
    {
        auto mine = client::QXSms::create();
        QVERIFY(mine);
        QLocalSocket other;
        other.connectToServer(client::serverSocketPath());
        QVERIFY(other.waitForConnected(2000));
        protocol::Message call;
        call.type = protocol::MessageType::Call;
        call.requestId = 1;
        call.objectId = 1; // the first object id of any session
        call.name = "ClosePort";
        call.code = int(protocol::CallKind::Method);
        other.write(protocol::encodeFrame(protocol::makeHello()) + protocol::encodeFrame(call));
        protocol::FrameDecoder decoder;
        QList<protocol::Message> answers;
        QVERIFY(QTest::qWaitFor(
            [&] {
                decoder.append(other.readAll());
                protocol::Message m;
                while (decoder.next(&m) == protocol::FrameDecoder::Status::Ready)
                    answers.append(m);
                return answers.size() >= 2;
            },
            5000));
        QCOMPARE(answers[1].type, protocol::MessageType::Failure);
        QCOMPARE(answers[1].code, 91);
    }

    void processEndsAfterLastRelease()
    {
        auto first = client::QXSms::create();
        auto second = client::QXSms::create();
        QVERIFY(first && second);
        const qint64 pid = first->serverPid();
        QVERIFY(processExists(pid));
        first.reset();
        // The release has been answered; the server still serves the other worker.
        second->setSpiidd(QStringLiteral("left"));
        QCOMPARE(second->spiidd(), QStringLiteral("left"));
        QVERIFY(processExists(pid));
        second.reset();
        QVERIFY(waitForProcessEnd(pid, 5000));
        // The next creation starts a new server.
        auto third = client::QXSms::create();
        QVERIFY(third);
        QVERIFY(third->serverPid() != pid);
    }

    void killedServerIsReportedAtOnce()
    {
        std::unique_ptr<EventRecorder> rec;
        setProfile(1, [](emulator::ModemProfile &p) { p.networkDelayMs = 3000; });
        auto worker = m_fixture.connectedWorker(1, &rec);
        QVERIFY(worker);
        QCOMPARE(worker->SendsmsA("9", "lost", m_fixture.emulator().number(2)).toString(),
                 QStringLiteral("y"));
        QVERIFY(rec->waitForText(QStringLiteral("正在发送"), 5000));
        ::kill(static_cast<pid_t>(worker->serverPid()), SIGKILL);
        QVERIFY(QTest::qWaitFor([&] { return rec->lost; }, 3000));
        QVERIFY(!worker->isAlive());
        QCOMPARE(worker->SendsmsA("10", "x", "1").toString(), QString());
        QCOMPARE(worker->lastError().number, 462);
        QCOMPARE(worker->lastError().description,
                 QStringLiteral("The remote server machine does not exist or is unavailable"));
        worker.reset();
        setProfile(1, [](emulator::ModemProfile &p) { p.networkDelayMs = 0; });
        // A new server takes over (after the old socket file is cleared).
        auto again = client::QXSms::create();
        QVERIFY(again);
    }

    void stoppedServerIsEndedAtTheFirstTimeOut()
    {
        // A stopped Tarvex80 froze its client for the whole call time-out on every call.
        std::unique_ptr<EventRecorder> rec;
        auto worker = m_fixture.connectedWorker(3, &rec);
        QVERIFY(worker);
        const qint64 pid = worker->serverPid();
        const int savedTimeout = client::QXSms::callTimeout();
        client::QXSms::setCallTimeout(1000);
        QCOMPARE(::kill(static_cast<pid_t>(pid), SIGSTOP), 0);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(worker->SendsmsA("11", "hung", m_fixture.emulator().number(2)).toString(),
                 QString());
        const qint64 took = clock.elapsed();
        QCOMPARE(worker->lastError().number, 462);
        QVERIFY2(took >= 1000 && took < 3000, qPrintable(QString::number(took)));
        // The loss is reported, the next call fails at once, and the hung process is gone.
        QVERIFY(QTest::qWaitFor([&] { return rec->lost; }, 3000));
        clock.restart();
        worker->ClosePort();
        QVERIFY(clock.elapsed() < 500);
        QVERIFY(waitForProcessEnd(pid, 3000));
        worker.reset();
        client::QXSms::setCallTimeout(savedTimeout);
        // A fresh server takes the port again.
        auto again = m_fixture.connectedWorker(3, &rec);
        QVERIFY(again);
        QVERIFY(again->serverPid() != pid);
    }

    void unknownClassIsRefused()
    {
        client::WorkerError error;
        auto unknown =
            client::QXSms::create(QStringLiteral("{00000000-0000-0000-0000-000000000000}"), &error);
        QVERIFY(!unknown);
        QCOMPARE(error.number, 429);
    }

    void unreachableServerGives462_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<int>("startTimeoutMs");
        QTest::addColumn<int>("minimumMs");
        QTest::addColumn<int>("maximumMs");
        // Given up on as soon as it has ended, long before the start time-out.
        QTest::newRow("ends without listening") << QByteArray("exit 0") << 10000 << 0 << 5000;
        // Given up on at the start time-out, not before.
        QTest::newRow("runs but never listens")
            << QByteArray("exec sleep 4") << 1000 << 1000 << 3500;
    }
    void unreachableServerGives462()
    {
        QFETCH(QByteArray, script);
        QFETCH(int, startTimeoutMs);
        QFETCH(int, minimumMs);
        QFETCH(int, maximumMs);
        const QByteArray saved = qgetenv("LONVERA_PREFIX");
        const int savedTimeout = client::QXSms::startTimeout();
        QTemporaryDir other(QStringLiteral("/tmp/lvw-XXXXXX"));
        qputenv("LONVERA_PREFIX", other.path().toLocal8Bit());
        QFile file(other.filePath(QStringLiteral("mute-server")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n" + script + "\n");
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(client::registerServer(file.fileName()));
        QCOMPARE(client::registeredServerPath(), file.fileName());

        client::QXSms::setStartTimeout(startTimeoutMs);
        client::WorkerError error;
        QElapsedTimer clock;
        clock.start();
        auto worker = client::QXSms::create(QString::fromLatin1(protocol::kProgId), &error);
        const qint64 took = clock.elapsed();
        client::QXSms::setStartTimeout(savedTimeout);
        qputenv("LONVERA_PREFIX", saved);
        QVERIFY(!worker);
        QCOMPARE(error.number, 462);
        QCOMPARE(error.description,
                 QStringLiteral("The remote server machine does not exist or is unavailable"));
        QCOMPARE(client::lastError().number, 462);
        QVERIFY2(took >= minimumMs && took < maximumMs, qPrintable(QString::number(took)));
    }
};

QTEST_GUILESS_MAIN(TestTarvex80)
#include "tst_tarvex80.moc"
