// Status reports, voice calls and modem information against the modem emulator: direct and
// stored reports with both centre forms, reports that come while a send runs, the repeated
// event, the caller's number, dialling results, the information queries and the phonebook.
#include "emulator_fixture.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTimer>

using namespace lonvera::control;
using namespace fixture;

namespace {

// Recipient 8613912345678, centre time 2026-12-07 10:20:30, discharge time 10:20:35.
QByteArray reportPdu(const QByteArray &centre, const QByteArray &status)
{
    return centre + "06010D91683119325476F8" + "62217001020300" + "62217001025300" + status;
}

QString record(const QString &prefix)
{
    return prefix + QStringLiteral("8613912345678") + QChar(1) +
           QStringLiteral("2026-12-07 10:20:30") + QChar(1) + QStringLiteral("2026-12-07 10:20:35");
}

} // namespace

class TestReportsCallsInfo : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void reports_data();
    void reports();
    void twoReportsInOneNewReport();
    void reportsDuringSendAreKept();
    void eventRepeatsUntilFetched();

    void ring_data();
    void ring();
    void callPhone_data();
    void callPhone();
    void callPhoneWhileReading();

    void information();
    void unopenablePortLeavesControlFree();
    void phonebook();

private:
    bool start(const std::function<void(ModemProfile &)> &change = {}, int modems = 1);
    void connectControl(Tarvex &control);

    QTemporaryDir m_prefix;
    std::unique_ptr<Emulator> m_emulator;
};

void TestReportsCallsInfo::initTestCase()
{
    QVERIFY(m_prefix.isValid());
    qputenv("LONVERA_PREFIX", m_prefix.path().toLocal8Bit());
}

void TestReportsCallsInfo::cleanup()
{
    m_emulator.reset();
}

bool TestReportsCallsInfo::start(const std::function<void(ModemProfile &)> &change, int modems)
{
    m_emulator = startEmulator(m_prefix.path(), modems, change);
    return m_emulator != nullptr;
}

void TestReportsCallsInfo::connectControl(Tarvex &control)
{
    control.setCommPort(Com);
    QCOMPARE(control.Connect(2), QStringLiteral("y"));
}

void TestReportsCallsInfo::reports_data()
{
    QTest::addColumn<bool>("stored");
    QTest::addColumn<QByteArray>("pdu");
    QTest::addColumn<QString>("expected");
    const QString sent = record(QStringLiteral("已发送至："));
    const QString failed = record(QStringLiteral("未发送至："));
    const QByteArray centre = "0891683108200005F0";
    QTest::newRow("direct, centre 00, delivered") << false << reportPdu("00", "00") << sent;
    QTest::newRow("direct, centre 08, failed") << false << reportPdu(centre, "46") << failed;
    QTest::newRow("stored, centre 00, failed") << true << reportPdu("00", "46") << failed;
    QTest::newRow("stored, centre 08, delivered") << true << reportPdu(centre, "00") << sent;
}

void TestReportsCallsInfo::reports()
{
    QFETCH(bool, stored);
    QFETCH(QByteArray, pdu);
    QFETCH(QString, expected);
    QVERIFY(start());
    Tarvex control;
    connectControl(control);
    QSignalSpy event(&control, &Tarvex::OnRevReport);
    if (stored) {
        const int index = m_emulator->storeMessage(Com, 0, pdu);
        QVERIFY(index > 0);
        m_emulator->injectCdsi(Com, index);
    } else {
        m_emulator->injectCds(Com, pdu);
    }
    QVERIFY(event.wait(5000));
    QCOMPARE(control.NewReport().toString(), expected);
    QCOMPARE(control.Isbusy(), false);
    if (stored) {
        // Read and then deleted from the storage.
        QVERIFY(
            m_emulator->waitFor([&] { return m_emulator->storedMessages(Com).isEmpty(); }, 2000));
    }
    // A later notification must not report it again.
    m_emulator->injectRing(Com);
    QTest::qWait(300);
    QCOMPARE(control.NewReport().toString(), QString());
}

void TestReportsCallsInfo::twoReportsInOneNewReport()
{
    QVERIFY(start());
    Tarvex control;
    connectControl(control);
    QSignalSpy event(&control, &Tarvex::OnRevReport);
    m_emulator->injectCds(Com, reportPdu("00", "00"));
    m_emulator->injectCds(Com, reportPdu("00", "46"));
    // One event per record taken in; the repeat of an unfetched one comes only seconds later.
    QVERIFY(QTest::qWaitFor([&] { return event.count() >= 2; }, 5000));
    QVERIFY(QTest::qWaitFor([&] { return control.property("Isbusy") == false; }, 2000));
    const QString expected =
        record(QStringLiteral("已发送至：")) + QChar(2) + record(QStringLiteral("未发送至："));
    QCOMPARE(control.NewReport().toString(), expected);
    QCOMPARE(control.NewReport().toString(), QString());
}

void TestReportsCallsInfo::reportsDuringSendAreKept()
{
    // Field fault: reports that came while a long message was still being sent were lost.
    QVERIFY(start({}, 2));
    Tarvex control;
    connectControl(control);
    QSignalSpy event(&control, &Tarvex::OnRevReport);
    const QString text(3 * 67, QChar(0x4E2D));
    QCOMPARE(control.Sendsms(text, m_emulator->number(Com + 1), 1), QStringLiteral("y"));
    QVERIFY(QTest::qWaitFor([&] { return event.count() >= 3; }, 5000));
    const QStringList records = control.NewReport().toString().split(QChar(2));
    QCOMPARE(records.size(), 3);
    for (const QString &r : records)
        QVERIFY2(r.startsWith(QStringLiteral("已发送至：") + m_emulator->number(Com + 1)),
                 qPrintable(r));
}

void TestReportsCallsInfo::eventRepeatsUntilFetched()
{
    QVERIFY(start());
    Tarvex control;
    connectControl(control);
    QSignalSpy event(&control, &Tarvex::OnRevReport);
    m_emulator->injectCds(Com, reportPdu("00", "00"));
    QVERIFY(event.wait(3000));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(event.wait(5000));
    QVERIFY2(clock.elapsed() > 3000 && clock.elapsed() < 4500,
             qPrintable(QString::number(clock.elapsed())));
    control.NewReport();
    QVERIFY(!event.wait(4500));
}

void TestReportsCallsInfo::ring_data()
{
    QTest::addColumn<QString>("caller");
    QTest::addColumn<QString>("reported");
    QTest::newRow("mobile number") << "13912345678"
                                   << "13912345678";
    // Two digits in quotes are four characters: not taken for a number.
    QTest::newRow("two-digit number") << "12" << QStringLiteral("无法获得来电号码！");
}

void TestReportsCallsInfo::ring()
{
    QFETCH(QString, caller);
    QFETCH(QString, reported);
    QVERIFY(start());
    Tarvex control;
    connectControl(control);
    QSignalSpy onCall(&control, &Tarvex::OnCall);
    m_emulator->ringFrom(Com, caller);
    QVERIFY(onCall.wait(8000));
    QCOMPARE(onCall.first().first().toString(), reported);
    QCOMPARE(control.Isbusy(), false);
    QVERIFY(control.HangUpCall());
}

void TestReportsCallsInfo::callPhone_data()
{
    QTest::addColumn<QString>("dialResult");
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<QString>("result");
    QTest::addColumn<bool>("hungUp");
    QTest::newRow("answered") << "OK" << 0 << "OK" << false;
    QTest::newRow("busy") << "BUSY" << 0 << "BUSY" << false;
    QTest::newRow("NO CARRIER after 5 s") << "NO CARRIER" << 5000 << "NO" << false;
    QTest::newRow("ERROR") << "ERROR" << 0 << "NoAnswer" << true;
}

void TestReportsCallsInfo::callPhone()
{
    QFETCH(QString, dialResult);
    QFETCH(int, delayMs);
    QFETCH(QString, result);
    QFETCH(bool, hungUp);
    QVERIFY(start([&](ModemProfile &p) {
        p.dialUnknownResult = dialResult;
        p.commandDelayMs.insert("D", delayMs);
    }));
    Tarvex control;
    connectControl(control);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(control.CallPhone(QStringLiteral("13912345678"), 30).toString(), result);
    QVERIFY2(clock.elapsed() >= delayMs - 500 && clock.elapsed() < delayMs + 2000,
             qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(m_emulator->commands(Com).contains("ATH"), hungUp);
    QCOMPARE(control.Isbusy(), false);
}

void TestReportsCallsInfo::callPhoneWhileReading()
{
    QVERIFY(start([](ModemProfile &p) { p.commandDelayMs.insert("+CMGL", 1500); }));
    Tarvex control;
    connectControl(control);
    QString during;
    QTimer::singleShot(300, &control, [&] {
        QElapsedTimer clock;
        clock.start();
        during = control.CallPhone(QStringLiteral("13912345678"), 30).toString();
        QVERIFY(clock.elapsed() < 100);
    });
    control.ReadMsg(qint16(4));
    QCOMPARE(during, QStringLiteral("B"));
    QVERIFY(!m_emulator->commands(Com).contains("ATD13912345678;"));
}

void TestReportsCallsInfo::information()
{
    QVERIFY(start([](ModemProfile &p) {
        p.model = QStringLiteral("MULTIBAND 900E 1800");
        p.manufacturer = QStringLiteral("ACME");
        p.revision = QStringLiteral("R 1.2");
        p.imei = QStringLiteral("351234567890123");
    }));
    Tarvex control;
    connectControl(control);
    QSignalSpy status(&control, &Tarvex::OnStatusChange);
    QCOMPARE(control.M_model().toString(), QStringLiteral("MULTIBAND900E1800"));
    QCOMPARE(control.M_ltd().toString(), QStringLiteral("ACME"));
    QCOMPARE(control.M_ver().toString(), QStringLiteral("R1.2"));
    QCOMPARE(control.M_imei().toString(), QStringLiteral("351234567890123"));
    QCOMPARE(control.M_ServiceNo().toString(), QStringLiteral("+8613800200500"));
    QCOMPARE(control.RdCenNo().toString(), QStringLiteral("+8613800200500"));
    QVERIFY(control.InputAT(QStringLiteral("at+csq"))
                .toString()
                .contains(QLatin1String("+CSQ: 24,99")));
    QCOMPARE(status.count(), 14);
    QCOMPARE(control.Isbusy(), false);

    // A centre in national form comes back as the modem gives it.
    m_emulator->updateProfile(Com,
                              [](ModemProfile &p) { p.centre = QStringLiteral("13800200500"); });
    QCOMPARE(control.M_ServiceNo().toString(), QStringLiteral("13800200500"));
    QCOMPARE(control.RdCenNo().toString(), QStringLiteral("13800200500"));
}

void TestReportsCallsInfo::unopenablePortLeavesControlFree()
{
    Tarvex control;
    control.setCommPort(31); // nothing behind it
    QCOMPARE(control.M_model().toString(), QString());
    QCOMPARE(control.ReadNB(QStringLiteral("SM")).toString(), QString());
    QCOMPARE(control.Isbusy(), false);
}

void TestReportsCallsInfo::phonebook()
{
    QVERIFY(start([](ModemProfile &p) {
        p.phonebooks[QStringLiteral("SM")] = {
            {QStringLiteral("13912345678"), QStringLiteral("张三")}};
    }));
    Tarvex control;
    connectControl(control);
    QCOMPARE(control.ReadNB(QStringLiteral("SM")).toString(),
             QStringLiteral("张三") + QChar(2) + QStringLiteral("13912345678"));
    // The character set the modem had is back, so caller numbers do not come as hex.
    QVERIFY(m_emulator->commands(Com).last().toUpper().startsWith("AT+CSCS=\"IRA\""));
    QCOMPARE(control.ReadNB(QStringLiteral("XX")).toString(), QString());
    QCOMPARE(control.Isbusy(), false);
}

QTEST_GUILESS_MAIN(TestReportsCallsInfo)
#include "tst_reports_calls_info.moc"
