// Faults found with replies captured from real devices, each reproduced through the emulator with
// the device's behaviour as profile data.
#include "control/pdu/pdu.h"
#include "control/port/serial_port.h"
#include "control/replies/send_verdict.h"
#include "control/send_results.h"
#include "emulator_fixture.h"

#include <QSerialPort>
#include <QSet>
#include <QSignalSpy>
#include <QTimer>

using namespace lonvera::control;
using namespace fixture;

namespace {

const QByteArray Centre = "0891683108200005F0";
const QByteArray Sender = "0D91683119325476F8"; // 8613912345678
const QByteArray Stamp = "62217001020300";      // 2026-12-07 10:20:30

// "hi" from 8613912345678, 7-bit.
const QByteArray Deliver = Centre + "04" + Sender + "0000" + Stamp + "02E834";
// A message this modem sent, kept on the SIM: SMS-SUBMIT to 8613912345678, UCS2 "hi".
const QByteArray SentSubmit = "0011000D91683119325476F80008010400680069";

// Report for 8613912345678 with status st.
QByteArray reportPdu(const QByteArray &status)
{
    return "0006010D91683119325476F8" + QByteArray("62217001020300") + "62217001025300" + status;
}

int countCommands(const Emulator &emulator, const QByteArray &prefix)
{
    const QList<QByteArray> commands = emulator.commands(Com);
    return int(std::count_if(commands.begin(), commands.end(),
                             [&](const QByteArray &c) { return c.startsWith(prefix); }));
}

} // namespace

class TestFieldFaults : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void manufacturerContainingOk();
    void refusalInWordsOfItsOwn();
    void noticeInTheSameReadAsOk();
    void refusedRevisionAndNamesHoldingAt();
    void listingWhileOwnListingRuns();
    void storedReportInItsOwnStorage();
    void storedSentMessagesNotReceived();
    void temporaryReportStatusNotFailure();
    void temporaryStatusOfAListedReport();
    void closedPortStaysClosed();
    void longMessagePartsGoOnce();
    void sendStoppedByClosePort();
    void portGoneWhileIdle();
    void promptLeftOpenByAnEarlierProgram();
    void dsrChangesWhileOpen();
    void dsrDroppedDuringASend();
    void lateProbeAnswerAfterDsrAtOpen();
    void secondCallWaiting();

private:
    bool start(const std::function<void(ModemProfile &)> &change = {});
    void connectControl(Tarvex &control);

    QTemporaryDir m_prefix;
    std::unique_ptr<Emulator> m_emulator;
};

void TestFieldFaults::initTestCase()
{
    QVERIFY(m_prefix.isValid());
    qputenv("LONVERA_PREFIX", m_prefix.path().toLocal8Bit());
}

void TestFieldFaults::cleanup()
{
    m_emulator.reset();
}

bool TestFieldFaults::start(const std::function<void(ModemProfile &)> &change)
{
    m_emulator = startEmulator(m_prefix.path(), 1, change);
    return m_emulator != nullptr;
}

void TestFieldFaults::connectControl(Tarvex &control)
{
    control.setCommPort(Com);
    QCOMPARE(control.Connect(2), QStringLiteral("y"));
}

void TestFieldFaults::portGoneWhileIdle()
{
    // A modem unplugged between two operations crashed the worker server on the next connect:
    // setting the line up on the dead port closed it under the control.
    QVERIFY(start());
    Tarvex control;
    connectControl(control);
    m_emulator->unplug(Com);
    QVERIFY(control.Connect(2) != QStringLiteral("y"));
    QVERIFY(m_emulator->replug(Com));
    QCOMPARE(control.Connect(2), QStringLiteral("y"));
    QCOMPARE(control.Sendsms(QStringLiteral("back"), m_emulator->number(Com), 0),
             QStringLiteral("y"));
    QCOMPARE(m_emulator->sentMessages(Com).size(), 1);
}

void TestFieldFaults::promptLeftOpenByAnEarlierProgram()
{
    // A worker server killed while the ">" prompt was open left the modem taking every probe as
    // PDU text: the next connect found nothing (38 s) and so did every retry, for good.
    QVERIFY(start());
    {
        QSerialPort earlier(lonvera::platform::comPortDevice(Com));
        QVERIFY(earlier.open(QIODevice::ReadWrite));
        earlier.write("AT+CMGS=18\r");
        QVERIFY(QTest::qWaitFor(
            [&] {
                earlier.waitForReadyRead(50);
                return earlier.peek(64).contains('>');
            },
            5000));
        earlier.write("0011000D91"); // half a PDU, then the program is gone
        QVERIFY(earlier.waitForBytesWritten(1000));
    }
    Tarvex control;
    connectControl(control);
    QCOMPARE(control.M_model().toString(), QStringLiteral("EMU-GSM900E1800"));
    QCOMPARE(control.Sendsms(QStringLiteral("after"), m_emulator->number(Com), 0),
             QStringLiteral("y"));
    // Only our message went; the half PDU was dropped, not sent.
    QCOMPARE(m_emulator->sentMessages(Com).size(), 1);
}

void TestFieldFaults::manufacturerContainingOk()
{
    // Nokia: "Nokia" ended the wait of AT+CGMI early; every later answer was the previous one's.
    QVERIFY(start([](ModemProfile &p) {
        p.manufacturer = QStringLiteral("Nokia");
        p.model = QStringLiteral("N79");
        p.revision = QStringLiteral("V 31.0.101");
        p.lineGapMs = 150;
    }));
    Tarvex control;
    connectControl(control);
    QCOMPARE(control.M_ltd().toString(), QStringLiteral("Nokia"));
    QCOMPARE(control.M_model().toString(), QStringLiteral("N79"));
    QCOMPARE(control.M_ver().toString(), QStringLiteral("V31.0.101"));
}

void TestFieldFaults::refusalInWordsOfItsOwn()
{
    // Huawei: "COMMAND NOT SUPPORT" was no final word; the text came back as the answer.
    QVERIFY(start([](ModemProfile &p) {
        p.refusedCommands = {"+CGMR", "+CGSN"};
        p.refusalText = QStringLiteral("COMMAND NOT SUPPORT");
    }));
    Tarvex control;
    connectControl(control);
    QCOMPARE(control.M_ver().toString(), QString());
    QCOMPARE(control.M_imei().toString(), QString());
    QCOMPARE(control.M_model().toString(), QStringLiteral("EMU-GSM900E1800"));
    QVERIFY(Tarvex::isRefusal(control.InputAT(QStringLiteral("at+cgmr")).toString()));
    QVERIFY(!Tarvex::isRefusal(control.InputAT(QStringLiteral("at+cgmm")).toString()));
}

void TestFieldFaults::noticeInTheSameReadAsOk()
{
    // "+CMTI" in the same read as the OK of AT+CGMM became the model; RdCenNo returned "ME".
    QVERIFY(start([](ModemProfile &p) { p.glueNotifications = true; }));
    Tarvex control;
    connectControl(control);
    control.RevAutoClose(); // the notice itself must not start a read here
    m_emulator->injectNotification(Com, "+CMTI: \"ME\",1", true);
    QCOMPARE(control.M_model().toString(), QStringLiteral("EMU-GSM900E1800"));
    m_emulator->injectNotification(Com, "+CMTI: \"ME\",2", true);
    QCOMPARE(control.RdCenNo().toString(), QStringLiteral("+8613800200500"));
    QCOMPARE(control.M_ServiceNo().toString(), QStringLiteral("+8613800200500"));
}

void TestFieldFaults::refusedRevisionAndNamesHoldingAt()
{
    // M_ver returned "ERROR" for a refused AT+CGMR; "ZTE INCORPORATED" lost its "AT"s.
    QVERIFY(start([](ModemProfile &p) {
        p.refusedCommands = {"+CGMR"};
        p.manufacturer = QStringLiteral("ZTE INCORPORATED");
        p.model = QStringLiteral("MF190 AT");
    }));
    Tarvex control;
    connectControl(control);
    QCOMPARE(control.M_ver().toString(), QString());
    QCOMPARE(control.M_ltd().toString(), QStringLiteral("ZTEINCORPORATED"));
    QCOMPARE(control.M_model().toString(), QStringLiteral("MF190AT"));
}

void TestFieldFaults::listingWhileOwnListingRuns()
{
    // A ReadMsg asked during the control's own listing wrote its commands into it: one record
    // was raised twice and became two inbox rows.
    QVERIFY(start([](ModemProfile &p) { p.commandDelayMs.insert("+CMGL", 400); }));
    Tarvex control;
    connectControl(control);
    QSignalSpy received(&control, &Tarvex::OnRecvMsg);
    QVariant asked;
    // The host asks while the control's listing after "+CMTI" waits for its modem.
    QObject::connect(&control, &Tarvex::OnStatusChange, &control, [&] {
        if (control.Isbusy() && !asked.isValid())
            QTimer::singleShot(100, &control, [&] { asked = control.ReadMsg(qint16(4)); });
    });
    const int before = countCommands(*m_emulator, "at+cmgl");
    QVERIFY(m_emulator->deliverText(Com, QStringLiteral("8613911112222"), QStringLiteral("once")));
    QVERIFY(received.wait(5000));
    QTRY_VERIFY(asked.isValid());
    QCOMPARE(asked.toString(), QStringLiteral("n")); // refused without a byte on the wire
    QTest::qWait(300);
    QCOMPARE(received.count(), 1);
    QCOMPARE(countCommands(*m_emulator, "at+cmgl"), before + 1);
    QVERIFY(control.NewMsg().toString().contains(QStringLiteral("once")));
}

void TestFieldFaults::storedReportInItsOwnStorage()
{
    // "+CDSI: "SR",1" deleted the unread message at index 1 of the SIM and raised no report.
    QVERIFY(start([](ModemProfile &p) {
        p.reportRoute = ModemProfile::ReportRoute::Stored;
        p.reportStorage = QStringLiteral("SR");
    }));
    Tarvex control;
    connectControl(control);
    QCOMPARE(m_emulator->storeMessage(Com, 0, Deliver), 1); // unread, and not announced

    QSignalSpy event(&control, &Tarvex::OnRevReport);
    m_emulator->deliverReport(Com, reportPdu("00"));
    QVERIFY(event.wait(5000));
    QVERIFY(control.NewReport().toString().startsWith(QStringLiteral("已发送至：8613912345678")));
    QTRY_VERIFY(!control.Isbusy());
    const QList<lonvera::emulator::StoredMessage> left = m_emulator->storedMessages(Com);
    QCOMPARE(left.size(), 1);
    QCOMPARE(left[0].status, 0); // still unread
    // The storage the modem had is selected again.
    QVERIFY(m_emulator->commands(Com).contains("at+cpms=\"SM\""));
}

void TestFieldFaults::storedSentMessagesNotReceived()
{
    // Every sent message kept on the SIM came back as a new inbox row on every full listing.
    QVERIFY(start([](ModemProfile &p) { p.deleteFlagSupported = false; }));
    Tarvex control;
    connectControl(control);
    QCOMPARE(m_emulator->storeMessage(Com, 3, SentSubmit), 1);
    QCOMPARE(m_emulator->storeMessage(Com, 1, Deliver), 2);
    const QString records = control.ReadMsg(qint16(4)).toString();
    QCOMPARE(records.count(QChar(2)), 2); // one record
    QVERIFY(records.contains(QStringLiteral("hi")));
    // The modem knows no delete flag: only what was read goes, the sent message stays.
    const QList<lonvera::emulator::StoredMessage> left = m_emulator->storedMessages(Com);
    QCOMPARE(left.size(), 1);
    QCOMPARE(left[0].status, 3);
    QCOMPARE(control.ReadMsg(qint16(4)).toInt(), 0);
}

void TestFieldFaults::temporaryReportStatusNotFailure()
{
    // A report "centre still trying" (TP-ST 0x20-0x3F) was raised as "not delivered".
    QVERIFY(start());
    Tarvex control;
    connectControl(control);
    QSignalSpy event(&control, &Tarvex::OnRevReport);
    m_emulator->injectCds(Com, reportPdu("30"));
    m_emulator->injectCds(Com, reportPdu("00"));
    QVERIFY(event.wait(5000));
    QTest::qWait(300);
    QCOMPARE(event.count(), 1);
    const QString records = control.NewReport().toString();
    QVERIFY(records.startsWith(QStringLiteral("已发送至：")));
    QVERIFY(!records.contains(QChar(2)));
}

void TestFieldFaults::temporaryStatusOfAListedReport()
{
    // A report kept among the messages with "centre still trying" became an inbox row
    // "未发送至：" beside the final "已发送至：" of the same message.
    QVERIFY(start());
    Tarvex control;
    connectControl(control);
    QCOMPARE(m_emulator->storeMessage(Com, 0, reportPdu("30")), 1);
    QCOMPARE(m_emulator->storeMessage(Com, 0, reportPdu("00")), 2);
    const QString records = control.ReadMsg(qint16(4)).toString();
    QCOMPARE(records.count(QChar(2)), 2); // one record
    QVERIFY2(records.contains(QStringLiteral("已发送至：8613912345678")), qPrintable(records));
    QVERIFY(m_emulator->storedMessages(Com).isEmpty()); // both read, both gone
}

void TestFieldFaults::closedPortStaysClosed()
{
    // 1.5 s after ClosePort the polling timer opened the port again and held it.
    QVERIFY(start([](ModemProfile &p) { p.cnmiRanges.clear(); }));
    Tarvex control;
    QVERIFY(control.setRevInterval(300));
    connectControl(control); // no notifications: polling
    QTRY_VERIFY(countCommands(*m_emulator, "at+cmgl") >= 1);
    QCOMPARE(control.ClosePort(), QStringLiteral("y"));
    QTRY_VERIFY(!m_emulator->isAttached(Com));
    const int reads = countCommands(*m_emulator, "at+cmgl");
    QTest::qWait(1500);
    QVERIFY(!m_emulator->isAttached(Com));
    QCOMPARE(countCommands(*m_emulator, "at+cmgl"), reads);
    // Connect takes it again.
    QCOMPARE(control.Connect(2), QStringLiteral("y"));
}

void TestFieldFaults::longMessagePartsGoOnce()
{
    // A modem refusing part 2 made part 1 go out four times: each variant and each attempt
    // started the message again.
    QVERIFY(start([](ModemProfile &p) { p.refusedParts = {2}; }));
    Tarvex control;
    connectControl(control);
    const QString text(3 * 67, QChar(0x4E2D));
    const QString first = control.Sendsms(text, QStringLiteral("13912345678"), 0);
    QVERIFY2(first.startsWith(QStringLiteral("未全部发送成功")), qPrintable(first));
    // The worker's second attempt, now that the modem takes part 2.
    m_emulator->updateProfile(Com, [](ModemProfile &p) { p.refusedParts.clear(); });
    QCOMPARE(control.Sendsms(text, QStringLiteral("13912345678"), 0), QStringLiteral("y"));

    QMap<int, int> accepted;
    QSet<int> references;
    for (const lonvera::emulator::SentMessage &m : m_emulator->sentMessages(Com)) {
        const auto pdu = lonvera::pdu::decodePduHex(QString::fromLatin1(m.pdu));
        QVERIFY(pdu.ok() && pdu->submit() && pdu->submit()->userData.concatenation);
        const auto &concat = *pdu->submit()->userData.concatenation;
        references.insert(concat.reference);
        if (m.error.isEmpty())
            ++accepted[concat.sequence];
    }
    QCOMPARE(accepted.value(1), 1);
    QCOMPARE(accepted.value(2), 1);
    QCOMPARE(accepted.value(3), 1);
    QCOMPARE(references.size(), 1);
}

void TestFieldFaults::sendStoppedByClosePort()
{
    // A send stopped by ClosePort reported nothing: the row stayed claimed.
    QVERIFY(start([](ModemProfile &p) { p.networkDelayMs = 300; }));
    Tarvex control;
    connectControl(control);
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &control, [&] {
        if (countCommands(*m_emulator, "AT+CMGS") >= 2) { // part 1 is through
            watch.stop();
            control.ClosePort();
        }
    });
    watch.start(10);
    const QString text(3 * 67, QChar(0x4E2D));
    QCOMPARE(control.Sendsms(text, QStringLiteral("13912345678"), 0),
             SendResult::InterruptedPartSent.toString());
    // Closed before anything went: nothing was sent, and the result says so.
    QCOMPARE(control.Sendsms(text, QStringLiteral("13912345678"), 0),
             SendResult::InterruptedNothingSent.toString());
}

void TestFieldFaults::dsrChangesWhileOpen()
{
    // A modem that drops DSR while connected was never noticed: DSR was read once, at open.
    QVERIFY(start());
    SerialPort port;
    QCOMPARE(port.setPortNumber(Com), PortError::None);
    QSignalSpy changed(&port, &SerialPort::dsrChanged);
    QSignalSpy lost(&port, &SerialPort::portLost);
    QCOMPARE(port.open(), PortError::None);
    QCOMPARE(changed.count(), 0);
    // Raised: a sign of life, the line stays.
    m_emulator->setDsr(Com, true);
    QTRY_COMPARE(changed.count(), 1);
    QVERIFY(port.isOpen());
    // Dropped: the line is lost as if the device had been unplugged.
    m_emulator->setDsr(Com, false);
    QTRY_COMPARE(lost.count(), 1);
    QCOMPARE(lost[0][0].toInt(), PortError::ReadFailed);
    QCOMPARE(changed.count(), 2);
    QVERIFY(!port.isOpen());
    QTRY_VERIFY(!m_emulator->isAttached(Com));

    // Opened again with DSR up, then unplugged: the loss is reported once, not once for the
    // vanished line and again for the vanished DSR.
    m_emulator->setDsr(Com, true);
    QCOMPARE(port.open(), PortError::None);
    QCOMPARE(changed.count(), 3);
    m_emulator->unplug(Com);
    QTRY_COMPARE(lost.count(), 2);
    QTest::qWait(300);
    QCOMPARE(lost.count(), 2);
    QVERIFY(!port.isOpen());
}

void TestFieldFaults::dsrDroppedDuringASend()
{
    // A modem that drops DSR while connected was never noticed: a send waited for an answer from
    // a modem that had gone.
    QVERIFY(start([](ModemProfile &p) { p.networkDelayMs = 3000; }));
    Tarvex control;
    connectControl(control);
    // Raised once the modem is connected; a command's round trip lets the port see it.
    m_emulator->setDsr(Com, true);
    QCOMPARE(control.M_model().toString(), QStringLiteral("EMU-GSM900E1800"));
    bool dropped = false;
    QObject guard;
    QObject::connect(m_emulator->log(), &lonvera::emulator::EmulatorLog::changed, &guard, [&] {
        const QList<QByteArray> commands = m_emulator->commands(Com);
        if (!dropped && !commands.isEmpty() && commands.last().endsWith("^Z")) {
            dropped = true;
            m_emulator->setDsr(Com, false);
        }
    });
    // Ends as a send whose port went away after the PDU: the server's road for a lost device.
    const QString result =
        control.Sendsms(QStringLiteral("gone"), QStringLiteral("13912345678"), 0);
    QVERIFY2(result.endsWith(kLinkLostAfterPduText), qPrintable(result));
    QVERIFY(!m_emulator->isAttached(Com));
    // The modem is back once it has finished with the message: Connect takes the port again.
    QTRY_VERIFY_WITH_TIMEOUT(m_emulator->sentBytes(Com).contains("+CMGS:"), 10000);
    m_emulator->setDsr(Com, true);
    QCOMPARE(control.Connect(2), QStringLiteral("y"));
}

void TestFieldFaults::lateProbeAnswerAfterDsrAtOpen()
{
    // A modem raising DSR at open: the probe's late OK answered the next command, every later
    // answer was the previous one's, and a send's prompt wait ended early, garbling its PDU.
    QVERIFY(start([](ModemProfile &p) {
        p.dsrOnOpen = true;
        p.replyDelayMs = 40;
    }));
    Tarvex control;
    connectControl(control);
    QCOMPARE(control.M_ltd().toString(), QStringLiteral("LONVERA"));
    QCOMPARE(control.M_model().toString(), QStringLiteral("EMU-GSM900E1800"));
    QCOMPARE(control.Sendsms(QStringLiteral("intact"), m_emulator->number(Com), 0),
             QStringLiteral("y"));
    const QList<lonvera::emulator::SentMessage> sent = m_emulator->sentMessages(Com);
    QCOMPARE(sent.size(), 1);
    QVERIFY2(sent[0].error.isEmpty() && sent[0].reference >= 0, sent[0].error.constData());
    QCOMPARE(sent[0].destination, m_emulator->number(Com));

    // A second Connect on the open port sees DSR up at once again; the same holds.
    QCOMPARE(control.Connect(2), QStringLiteral("y"));
    QCOMPARE(control.M_ver().toString(), QStringLiteral("EMU1.0.0"));
}

void TestFieldFaults::secondCallWaiting()
{
    // With a call in progress and a second one waiting, OnCall named the first call listed.
    QVERIFY(start([](ModemProfile &p) { p.callWaiting = true; }));
    Tarvex control;
    connectControl(control);
    QSignalSpy onCall(&control, &Tarvex::OnCall);
    m_emulator->ringFrom(Com, QStringLiteral("13911110001"));
    QVERIFY(onCall.wait(8000));
    QCOMPARE(onCall.takeFirst().first().toString(), QStringLiteral("13911110001"));
    QVERIFY(control.AnswerCall().toBool());
    m_emulator->ringFrom(Com, QStringLiteral("13922220002"));
    QVERIFY(onCall.wait(8000));
    QCOMPARE(onCall.takeFirst().first().toString(), QStringLiteral("13922220002"));
    QVERIFY(control.HangUpCall());
}

QTEST_GUILESS_MAIN(TestFieldFaults)
#include "tst_field_faults.moc"
