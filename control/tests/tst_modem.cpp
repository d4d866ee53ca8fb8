// Connect, notifications, receiving, deleting and the receive handler of the control, against the
// modem emulator over pseudo-terminals through the real serial layer.
#include "control/pdu/gsm7_alphabet.h"
#include "control/pdu/hex.h"
#include "control/pdu/ucs2.h"
#include "control/tarvex.h"
#include "emulator.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace lonvera::control;
using lonvera::emulator::Emulator;
using lonvera::emulator::EmulatorOptions;
using lonvera::emulator::ModemProfile;

namespace {

constexpr int Com = 2;
const QString Centre = QStringLiteral("0891683108200005F0");
const QString Sender = QStringLiteral("0D91683119325476F8"); // 8613912345678
const QString Stamp = QStringLiteral("62217001020300");      // 2026-12-07 10:20:30
const QString StampText = QStringLiteral("2026-12-07 10:20:30");

QByteArray deliver7Bit(const QString &text)
{
    return (Centre + QStringLiteral("04") + Sender + QStringLiteral("0000") + Stamp +
            lonvera::pdu::HexByte(int(text.size())) + lonvera::pdu::Pack7Bit(text))
        .toLatin1();
}

QByteArray deliverPart(int reference, int total, int sequence, const QString &text)
{
    const QString userData = QStringLiteral("050003") + lonvera::pdu::HexByte(reference) +
                             lonvera::pdu::HexByte(total) + lonvera::pdu::HexByte(sequence) +
                             lonvera::pdu::toHex(lonvera::pdu::textToUcs2(text));
    return (Centre + QStringLiteral("44") + Sender + QStringLiteral("0008") + Stamp +
            lonvera::pdu::HexByte(int(userData.size() / 2)) + userData)
        .toLatin1();
}

QString record(const QString &text)
{
    return QStringLiteral("8613912345678") + QChar(2) + text + QChar(2) + StampText;
}

int countCommands(const Emulator &emulator, const QByteArray &prefix)
{
    const QList<QByteArray> commands = emulator.commands(Com);
    return int(std::count_if(commands.begin(), commands.end(),
                             [&](const QByteArray &c) { return c.startsWith(prefix); }));
}

} // namespace

class TestModem : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void connectSetsUpTheModem();
    void probeStopsAtRtsCts();
    void dsrOnOpenEndsFirstProbe();
    void cnmiMode_data();
    void cnmiMode();
    void refusedNotificationsFallBackToPolling();
    void twoMessagesInListingOrder();
    void longMessageListedOutOfOrder();
    void capacityAboveLimitDeletesTwenty();
    void delSmsForms();
    void cmtiDuringReadRearmsTimer2();
    void ringWhileBusyRaisesNothing();
    void autoReceiveOffIgnoresCmtiAndRing();
    void newMsgRepeatsUntilFetched();
    void replyLog_data();
    void replyLog();
    void propertiesSaveAndRestore();

private:
    void startEmulator(const std::function<void(ModemProfile &)> &change = {});

    QTemporaryDir m_prefix;
    std::unique_ptr<Emulator> m_emulator;
};

void TestModem::initTestCase()
{
    QVERIFY(m_prefix.isValid());
    qputenv("LONVERA_PREFIX", m_prefix.path().toLocal8Bit());
}

void TestModem::init()
{
    m_emulator = std::make_unique<Emulator>();
    m_emulator->startInThread();
}

void TestModem::cleanup()
{
    m_emulator.reset();
}

void TestModem::startEmulator(const std::function<void(ModemProfile &)> &change)
{
    EmulatorOptions options;
    options.prefix = m_prefix.path();
    options.firstCom = Com;
    options.profiles.defaults.number = QStringLiteral("8613900000002");
    if (change)
        change(options.profiles.defaults);
    QString error;
    QVERIFY2(m_emulator->start(options, &error), qPrintable(error));
}

void TestModem::connectSetsUpTheModem()
{
    startEmulator();
    Tarvex control;
    control.setCommPort(Com);
    QSignalSpy status(&control, &Tarvex::OnStatusChange);
    QCOMPARE(control.Connect(2), QStringLiteral("y"));
    QCOMPARE(control.Isbusy(), false);
    QVERIFY(control.errmsg().toString().isEmpty());
    // Connect's own start and end, and RevAuto's inside it.
    QCOMPARE(status.count(), 4);
    // First the ESC that ends a PDU entry an earlier program left open (an empty line to a modem
    // in command state).
    const QList<QByteArray> commands = m_emulator->commands(Com);
    const QList<QByteArray> expected = {
        "",     "at",       "at+cmgf=?", "at+cpin?",          "at+cmgf=0",
        "at&w", "at+cpms?", "at+cnmi=?", "at+cnmi=2,1,0,1,0", "at&w"};
    QCOMPARE(commands, expected);
    QVERIFY(control.Link());
}

void TestModem::probeStopsAtRtsCts()
{
    startEmulator([](ModemProfile &p) { p.answeredHandshakes = {2}; });
    Tarvex control;
    control.setCommPort(Com);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(control.Connect(1), QStringLiteral("y"));
    // After the escape, both and none time out (a second each), RTS/CTS answers and stays set.
    QCOMPARE(m_emulator->commands(Com).value(0), QByteArray());
    QCOMPARE(countCommands(*m_emulator, "at"), m_emulator->commands(Com).size() - 1);
    QCOMPARE(m_emulator->commands(Com).mid(1, 4),
             (QList<QByteArray>{"at", "at", "at", "at+cmgf=?"}));
    QVERIFY(clock.elapsed() >= 2000);
}

void TestModem::dsrOnOpenEndsFirstProbe()
{
    // The modem raises DSR but answers only without handshaking: the first probe ends at once on
    // DSR and "both" stays set, so the modem then never answers.
    startEmulator([](ModemProfile &p) {
        p.dsrOnOpen = true;
        p.answeredHandshakes = {0};
    });
    Tarvex control;
    control.setCommPort(Com);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(control.Connect(5),
             QStringLiteral("未接通！如果连接良好及COM 选择正确，请再试！或换其它速率"
                            "（在settings属性中更改）"));
    QVERIFY2(clock.elapsed() < 4000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(control.lastConnectFailure(), ConnectFailure::NoAnswer);
    QCOMPARE(m_emulator->commands(Com).mid(1, 2), (QList<QByteArray>{"at", "at+cmgf=?"}));
    QCOMPARE(control.Isbusy(), false);
}

void TestModem::cnmiMode_data()
{
    QTest::addColumn<QString>("ranges");
    QTest::addColumn<QByteArray>("setting");
    QTest::newRow("modes 0-1") << "(0-1),(0-3),(0-3),(0-2),(0,1)"
                               << QByteArray("at+cnmi=1,1,0,1,0");
    QTest::newRow("modes 0-3") << "(0-3),(0-3),(0-3),(0-2),(0,1)"
                               << QByteArray("at+cnmi=2,1,0,1,0");
}

void TestModem::cnmiMode()
{
    QFETCH(QString, ranges);
    QFETCH(QByteArray, setting);
    startEmulator([&](ModemProfile &p) { p.cnmiRanges = ranges; });
    Tarvex control;
    control.setCommPort(Com);
    QCOMPARE(control.Connect(2), QStringLiteral("y"));
    QVERIFY(m_emulator->commands(Com).contains(setting));
}

void TestModem::refusedNotificationsFallBackToPolling()
{
    startEmulator([](ModemProfile &p) { p.cnmiRanges.clear(); });
    Tarvex control;
    control.setCommPort(Com);
    QCOMPARE(control.Connect(2), QStringLiteral("y"));
    QCOMPARE(countCommands(*m_emulator, "at+cnmi="), 10); // the test form and all nine settings
    QVERIFY(control.setRevInterval(300));
    QCOMPARE(control.RevAuto(), QStringLiteral(" 300"));
    // Polling now reads the storage on its own.
    QVERIFY(m_emulator->waitForCommand(Com, "at+cmgl= 0", 3000));
    QVERIFY(control.setRevInterval(30000));
    QCOMPARE(control.RevAuto(), QStringLiteral(" 30000"));
}

void TestModem::twoMessagesInListingOrder()
{
    startEmulator();
    m_emulator->storeMessage(Com, 0, deliver7Bit(QStringLiteral("hello")));
    m_emulator->storeMessage(Com, 0, deliver7Bit(QStringLiteral("second one")));
    Tarvex control;
    control.setCommPort(Com);
    qint16 state = 2;
    const QVariant records = control.ReadMsg(state);
    QCOMPARE(state, qint16(4)); // written back into the caller's variable
    QCOMPARE(records.toString(),
             record(QStringLiteral("hello")) + QChar(1) + record(QStringLiteral("second one")));
    QVERIFY(m_emulator->commands(Com).contains("at+cmgl= 4"));
    QVERIFY(m_emulator->commands(Com).contains("at+cmgd=1, 1"));
    // Read and deleted: nothing is left, and a second read finds the number 0.
    QVERIFY(m_emulator->storedMessages(Com).isEmpty());
    QCOMPARE(control.ReadMsg(qint16(4)), QVariant(0));
}

void TestModem::longMessageListedOutOfOrder()
{
    startEmulator();
    m_emulator->storeMessage(Com, 0, deliverPart(0x1A, 3, 2, QStringLiteral("二段")));
    m_emulator->storeMessage(Com, 0, deliverPart(0x1A, 3, 3, QStringLiteral("三段")));
    Tarvex control;
    control.setCommPort(Com);
    // Without part 1 nothing is delivered; the parts wait in the control.
    QCOMPARE(control.ReadMsg(qint16(4)), QVariant(0));
    m_emulator->storeMessage(Com, 0, deliverPart(0x01, 2, 1, QStringLiteral("other")));
    m_emulator->storeMessage(Com, 0, deliverPart(0x1A, 3, 1, QStringLiteral("一段")));
    QCOMPARE(control.ReadMsg(qint16(4)).toString(), record(QStringLiteral("一段二段三段")));
}

void TestModem::capacityAboveLimitDeletesTwenty()
{
    startEmulator([](ModemProfile &p) {
        p.capacity = 250;
        p.deleteFlagSupported = false;
    });
    Tarvex control;
    control.setCommPort(Com);
    QCOMPARE(control.Connect(2), QStringLiteral("y"));
    // The flag form is refused: delete index by index up to the capacity, which 250 makes 20.
    QCOMPARE(control.DelSms(qint16(4)), QStringLiteral("y"));
    QCOMPARE(countCommands(*m_emulator, "at+cmgd= "), 20);
    QVERIFY(m_emulator->commands(Com).contains("at+cmgd= 20"));
}

void TestModem::delSmsForms()
{
    startEmulator();
    m_emulator->storeMessage(Com, 1, deliver7Bit(QStringLiteral("x")));
    Tarvex control;
    control.setCommPort(Com);
    qint16 flag = 2;
    QCOMPARE(control.DelSms(flag), QStringLiteral("y"));
    QCOMPARE(flag, qint16(4));
    QCOMPARE(m_emulator->commands(Com).last(), QByteArray("at+cmgd=1, 4"));
    m_emulator->storeMessage(Com, 0, deliver7Bit(QStringLiteral("y")));
    control.DelSms(qint16(12));
    QCOMPARE(m_emulator->commands(Com).last(), QByteArray("at+cmgd= 12"));
}

void TestModem::cmtiDuringReadRearmsTimer2()
{
    startEmulator([](ModemProfile &p) { p.commandDelayMs.insert("+CMGL", 400); });
    Tarvex control;
    control.setCommPort(Com);
    control.setReadAndDel(false);
    QSignalSpy received(&control, &Tarvex::OnRecvMsg);
    // A "+CMTI" arrives while the listing is awaited.
    QTimer::singleShot(100, [this] { m_emulator->inject(Com, "\r\n+CMTI: \"SM\",1\r\n"); });
    m_emulator->storeMessage(Com, 0, deliver7Bit(QStringLiteral("late")));
    control.ReadMsg(qint16(1)); // the read messages only: the unread one stays unread

    QCOMPARE(countCommands(*m_emulator, "at+cmgl"), 1);
    // Two seconds after, Timer2 reads the new message; a read without a new notice stops it.
    QVERIFY(
        m_emulator->waitFor([this] { return countCommands(*m_emulator, "at+cmgl") == 2; }, 3500));
    QTRY_COMPARE(received.count(), 1);
    QCOMPARE(control.NewMsg().toString(), record(QStringLiteral("late")));
    QTest::qWait(2600);
    QVERIFY2(countCommands(*m_emulator, "at+cmgl") == 2, qPrintable(m_emulator->log()->dump(Com)));
}

void TestModem::ringWhileBusyRaisesNothing()
{
    startEmulator([](ModemProfile &p) { p.commandDelayMs.insert("+CMGL", 400); });
    Tarvex control;
    control.setCommPort(Com);
    QSignalSpy calls(&control, &Tarvex::OnCall);
    QTimer::singleShot(100, [this] { m_emulator->inject(Com, "\r\nRING\r\n"); });
    control.ReadMsg(qint16(4));
    QTest::qWait(300);
    QCOMPARE(calls.count(), 0);
    QCOMPARE(countCommands(*m_emulator, "at+clcc"), 0);

    // The same ring while idle is reported; without a listed call the number is unknown.
    m_emulator->inject(Com, "\r\nRING\r\n");
    QTRY_COMPARE_WITH_TIMEOUT(calls.count(), 1, 15000);
    QCOMPARE(calls.at(0).at(0).toString(), QStringLiteral("无法获得来电号码！"));
    QCOMPARE(countCommands(*m_emulator, "at+clcc"), 3);
}

void TestModem::autoReceiveOffIgnoresCmtiAndRing()
{
    startEmulator();
    Tarvex control;
    control.setCommPort(Com);
    QCOMPARE(control.Connect(2), QStringLiteral("y"));
    QCOMPARE(control.RevAutoClose(), QStringLiteral("y"));
    QSignalSpy calls(&control, &Tarvex::OnCall);
    const int reads = countCommands(*m_emulator, "at+cmgl");
    m_emulator->inject(Com, "\r\n+CMTI: \"SM\",1\r\n\r\nRING\r\n");
    QTest::qWait(500);
    QCOMPARE(calls.count(), 0);
    QCOMPARE(countCommands(*m_emulator, "at+cmgl"), reads);
    QCOMPARE(countCommands(*m_emulator, "at+clcc"), 0);
}

void TestModem::newMsgRepeatsUntilFetched()
{
    startEmulator();
    Tarvex control;
    control.setCommPort(Com);
    QCOMPARE(control.Connect(2), QStringLiteral("y"));
    QSignalSpy received(&control, &Tarvex::OnRecvMsg);
    QVERIFY(m_emulator->deliverText(Com, QStringLiteral("8613911112222"), QStringLiteral("hi")));
    QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, 5000);
    // Not fetched: raised again by Timer_newmsg three seconds later.
    QTRY_COMPARE_WITH_TIMEOUT(received.count(), 2, 4500);
    QVERIFY(control.NewMsg().toString().contains(QStringLiteral("hi")));
    QTest::qWait(3500);
    QCOMPARE(received.count(), 2);
}

void TestModem::replyLog_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("logs");
    QTest::newRow("1 with a blank") << "1 " << true;
    QTest::newRow("0") << "0" << false;
    QTest::newRow("absent") << QString() << false;
}

void TestModem::replyLog()
{
    QFETCH(QString, value);
    QFETCH(bool, logs);
    const QString driveC = m_prefix.path() + QStringLiteral("/drive_c");
    QDir(driveC).removeRecursively();
    QDir().mkpath(driveC);
    if (!value.isNull()) {
        QFile file(driveC + QStringLiteral("/SmsInKf.ini"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[InKf]\r\nInKf=" + value.toLatin1() + "\r\n");
    }
    startEmulator();
    Tarvex control;
    QCOMPARE(control.logsReplies(), logs);
    control.setCommPort(Com);
    control.ReadMsg(qint16(4));
    control.ReadMsg(qint16(4));
    const QString logName = driveC + QLatin1Char('/') +
                            QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) +
                            QStringLiteral(".txt");
    QCOMPARE(QFile::exists(logName), logs);
    if (logs) {
        QFile file(logName);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        QCOMPARE(text.count(QStringLiteral("：")), 2); // one line head per listing
        QVERIFY(text.contains(QStringLiteral("OK")));
    }
}

void TestModem::propertiesSaveAndRestore()
{
    Tarvex fresh;
    QCOMPARE(fresh.CommPort(), qint16(1));
    QCOMPARE(fresh.Settings(), QStringLiteral("9600,n,8,1"));
    QCOMPARE(fresh.RevInterval(), 30000);
    QCOMPARE(fresh.ReadAndDel(), true);
    QCOMPARE(fresh.Isbusy(), false);
    QCOMPARE(fresh.errmsg(), QVariant(0));
    QCOMPARE(fresh.SmsService(), QStringLiteral("+8613800200500"));

    QSignalSpy changed(&fresh, &Tarvex::propertyChanged);
    fresh.setCommPort(5);
    QVERIFY(fresh.setSettings(QStringLiteral("19200,n,8,1")));
    QVERIFY(!fresh.setSettings(QStringLiteral("19200,q,8,1")));
    QCOMPARE(changed.count(), 2);
    const QVariantMap store = fresh.saveProperties();
    QCOMPARE(store.keys().size(), Tarvex::propertyKeys().size());

    Tarvex restored;
    QVERIFY(restored.restoreProperties(store));
    QCOMPARE(restored.CommPort(), qint16(5));
    QCOMPARE(restored.Settings(), QStringLiteral("19200,n,8,1"));
    QCOMPARE(restored.RevInterval(), 30000);
    QCOMPARE(restored.errmsg(), QVariant(0));

    // A refused value is reported, the rest of the store still applies.
    QVariantMap bad = store;
    bad.insert(QStringLiteral("Settings"), QStringLiteral("fast"));
    bad.insert(QStringLiteral("SmsService"), QStringLiteral("+8613800100500"));
    QString error;
    Tarvex partly;
    QVERIFY(!partly.restoreProperties(bad, &error));
    QVERIFY(error.contains(QStringLiteral("Settings")));
    QCOMPARE(partly.Settings(), QStringLiteral("9600,n,8,1"));
    QCOMPARE(partly.SmsService(), QStringLiteral("+8613800100500"));

    // A port number the port refuses sets errmsg and makes Connect refuse with "n".
    Tarvex refused;
    refused.setCommPort(0);
    QCOMPARE(refused.errmsg().toString(),
             QStringLiteral("端口已打开，串口须预先设置正确，且运行中不能更改,( 8002)"));
    QCOMPARE(refused.Connect(1), QStringLiteral("n"));
    QCOMPARE(refused.lastConnectFailure(), ConnectFailure::Refused);
    QCOMPARE(refused.Isbusy(), false);
}

QTEST_GUILESS_MAIN(TestModem)
#include "tst_modem.moc"
