// Sending against the modem emulator: the parts as written to the modem, the destination forms
// of both centre variants, the remembered variant, refusals, retries, partial failures and a
// close in the middle of a send.
#include "control/replies/send_verdict.h"
#include "control/send_results.h"
#include "emulator_fixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTimer>

#include <termios.h>

using namespace lonvera::control;
using namespace fixture;

class TestSending : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void partsAsWritten_data();
    void partsAsWritten();
    void atSignGoesAsUcs2();
    void destinationForms_data();
    void destinationForms();
    void refusalsBeforeSending_data();
    void refusalsBeforeSending();
    void refusedExplicitCentreFallsBack();
    void cmsErrorRetriesThePart();
    void partialLongMessageIsAFailure();
    void closeDuringSendInterrupts();
    void referencesDifferPerMessage();
    void eightBitData();
    void eightBitDestinationWithPlusIsInternational();
    void strayXoffDoesNotHaltThePort();
    void permanentRefusalIsNotRepeated();
    void linkLostAfterThePduEndsTheSend();
    void silenceAfterTheEchoedPduEndsTheSend();
    void heldOutputIsALineFault();

private:
    bool start(const std::function<void(ModemProfile &)> &change = {}, int modems = 1);
    void connectControl(Tarvex &control);

    QTemporaryDir m_prefix;
    std::unique_ptr<Emulator> m_emulator;
};

void TestSending::initTestCase()
{
    QVERIFY(m_prefix.isValid());
    qputenv("LONVERA_PREFIX", m_prefix.path().toLocal8Bit());
}

void TestSending::init()
{
    QFile::remove(winticPath());
}

void TestSending::cleanup()
{
    m_emulator.reset();
}

bool TestSending::start(const std::function<void(ModemProfile &)> &change, int modems)
{
    m_emulator = startEmulator(m_prefix.path(), modems, change);
    return m_emulator != nullptr;
}

void TestSending::connectControl(Tarvex &control)
{
    control.setCommPort(Com);
    QCOMPARE(control.Connect(2), QStringLiteral("y"));
}

void TestSending::partsAsWritten_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("firstOctets");
    QTest::addColumn<QString>("dcs");
    QTest::addColumn<QStringList>("lengths");
    const QString han(70, QChar(0x4E2D)); // 中
    const QString ascii(160, QLatin1Char('a'));
    QTest::newRow("70 UCS2, one message") << han << QStringList{"11"} << "08" << QStringList{"8C"};
    QTest::newRow("71 UCS2, 67 + 4")
        << han + QChar(0x4E2D) << QStringList{"51", "51"} << "08" << QStringList{"8C", "0E"};
    QTest::newRow("160 7-bit, one message")
        << ascii << QStringList{"11"} << "00" << QStringList{"A0"};
    QTest::newRow("161 7-bit, 153 + 8")
        << ascii + QLatin1Char('a') << QStringList{"51", "51"} << "00" << QStringList{"A0", "0F"};
}

void TestSending::partsAsWritten()
{
    QFETCH(QString, text);
    QFETCH(QStringList, firstOctets);
    QFETCH(QString, dcs);
    QFETCH(QStringList, lengths);
    QVERIFY(start());
    Tarvex control;
    connectControl(control);
    QCOMPARE(control.Sendsms(text, QStringLiteral("13912345678"), 0), QStringLiteral("y"));
    const auto sent = m_emulator->sentMessages(Com);
    QCOMPARE(sent.size(), firstOctets.size());
    QString reference;
    for (int k = 0; k < sent.size(); ++k) {
        const Submit s = submitOf(sent[k].pdu);
        QCOMPARE(s.firstOctet, firstOctets[k]);
        QCOMPARE(s.dcs, dcs);
        QCOMPARE(s.udl, lengths[k]);
        if (sent.size() > 1) {
            // 3GPP TS 23.040 9.2.3.24.1: reference, part count, sequence number.
            QCOMPARE(s.userData.left(6), QStringLiteral("050003"));
            if (k == 0)
                reference = s.userData.mid(6, 2);
            QCOMPARE(s.userData.mid(6, 2), reference);
            QCOMPARE(s.userData.mid(8, 4), QStringLiteral("%1%2")
                                               .arg(sent.size(), 2, 10, QLatin1Char('0'))
                                               .arg(k + 1, 2, 10, QLatin1Char('0')));
        }
    }
    QCOMPARE(control.Isbusy(), false);
}

void TestSending::atSignGoesAsUcs2()
{
    QVERIFY(start());
    Tarvex control;
    connectControl(control);
    QString text = QStringLiteral("Meet @ 8");
    QCOMPARE(control.Sendsms(text, QStringLiteral("13912345678"), 0), QStringLiteral("y"));
    QCOMPARE(text, QStringLiteral("Meet @ 8") + QChar(0x3000));
    const auto sent = m_emulator->sentMessages(Com);
    QCOMPARE(sent.size(), 1);
    const Submit s = submitOf(sent[0].pdu);
    QCOMPARE(s.dcs, QStringLiteral("08"));
    QCOMPARE(s.userData.toUpper(), QStringLiteral("004D0065006500740020004000200038"
                                                  "3000"));
}

void TestSending::destinationForms_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("mobile");
    QTest::addColumn<QString>("centre");
    QTest::addColumn<QString>("address");
    QTest::newRow("explicit, +86 form") << ""
                                        << "+8613912345678"
                                        << "0891683108200005f0"
                                        << "0D91683119325476f8";
    QTest::newRow("explicit, national form") << ""
                                             << "13912345678"
                                             << "0891683108200005f0"
                                             << "0B813119325476f8";
    QTest::newRow("default, +86 form") << "wave"
                                       << "+8613912345678"
                                       << "00"
                                       << "0D91683119325476f8";
    QTest::newRow("default, national form gets 86") << "wave"
                                                    << "13912345678"
                                                    << "00"
                                                    << "0D91683119325476f8";
}

void TestSending::destinationForms()
{
    QFETCH(QString, method);
    QFETCH(QString, mobile);
    QFETCH(QString, centre);
    QFETCH(QString, address);
    storeSendMethod(method);
    QVERIFY(start());
    Tarvex control;
    connectControl(control);
    QCOMPARE(control.Sendsms(QStringLiteral("hello"), mobile, 1), QStringLiteral("y"));
    const auto sent = m_emulator->sentMessages(Com);
    QCOMPARE(sent.size(), 1);
    const Submit s = submitOf(sent[0].pdu);
    QCOMPARE(s.centre.toUpper(), centre.toUpper());
    QCOMPARE((s.destinationLength + s.type + s.digits).toUpper(), address.toUpper());
    QCOMPARE(s.firstOctet, QStringLiteral("31")); // status report requested
    // The default-centre variant gives the user data in lower case.
    QByteArray received;
    for (const auto &e : m_emulator->log()->entries(Com))
        if (e.kind == lonvera::emulator::LogEntry::Kind::Received)
            received += e.data;
    QVERIFY(received.contains(method.isEmpty() ? "E8329BFD06\x1a" : "e8329bfd06\x1a"));
    QCOMPARE(storedSendMethod(), method.isEmpty() ? QStringLiteral("moblie") : method);
}

void TestSending::refusalsBeforeSending_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("mobile");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("method");
    QTest::newRow("letters in the destination")
        << "hello"
        << "1391234567a" << QStringLiteral("手机号码有误！") << "wave_no";
    QTest::newRow("exponent is not a number")
        << "hello"
        << "1e5" << QStringLiteral("手机号码有误！") << "wave_no";
    QTest::newRow("empty destination") << "hello"
                                       << "" << QStringLiteral("手机号码有误！") << "wave_no";
    QTest::newRow("empty text") << ""
                                << "13912345678" << QStringLiteral("内容不能为空") << "wave_no";
    QTest::newRow("2001 characters") << QString(2001, QLatin1Char('x')) << "13912345678"
                                     << QStringLiteral("内容太长（ 2001字），最多2000个汉字") << "";
}

void TestSending::refusalsBeforeSending()
{
    QFETCH(QString, text);
    QFETCH(QString, mobile);
    QFETCH(QString, result);
    QFETCH(QString, method);
    QVERIFY(start());
    Tarvex control;
    connectControl(control);
    QCOMPARE(control.Sendsms(text, mobile, 0), result);
    QCOMPARE(control.errmsg().toString(), result);
    QCOMPARE(storedSendMethod(), method);
    QVERIFY(m_emulator->sentMessages(Com).isEmpty());
    QCOMPARE(control.Isbusy(), false);
}

void TestSending::refusedExplicitCentreFallsBack()
{
    QVERIFY(start([](ModemProfile &p) { p.rejectExplicitCentre = true; }));
    Tarvex control;
    connectControl(control);
    QCOMPARE(control.Sendsms(QStringLiteral("hello"), QStringLiteral("13912345678"), 0),
             QStringLiteral("y"));
    auto sent = m_emulator->sentMessages(Com);
    // Three refused explicit-centre attempts, then the default-centre variant.
    QCOMPARE(sent.size(), 4);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(sent[i].reference, -1);
    QVERIFY(sent[3].pdu.startsWith("00"));
    QCOMPARE(storedSendMethod(), QStringLiteral("wave"));

    // The next send goes with the default centre only.
    QCOMPARE(control.Sendsms(QStringLiteral("again"), QStringLiteral("13912345678"), 0),
             QStringLiteral("y"));
    sent = m_emulator->sentMessages(Com);
    QCOMPARE(sent.size(), 5);
    QVERIFY(sent[4].pdu.startsWith("00"));
}

void TestSending::cmsErrorRetriesThePart()
{
    QVERIFY(start([](ModemProfile &p) { p.cmsErrorOnSend = 2; }));
    Tarvex control;
    connectControl(control);
    const QString text(3 * 67, QChar(0x4E2D));
    QCOMPARE(control.Sendsms(text, QStringLiteral("13912345678"), 0), QStringLiteral("y"));
    const auto sent = m_emulator->sentMessages(Com);
    QCOMPARE(sent.size(), 4);
    QVERIFY(!sent[1].error.isEmpty());
    // Part 2 again after its refusal, then part 3.
    QCOMPARE(submitOf(sent[2].pdu).userData.mid(10, 2), QStringLiteral("02"));
    QCOMPARE(submitOf(sent[3].pdu).userData.mid(10, 2), QStringLiteral("03"));
}

void TestSending::partialLongMessageIsAFailure()
{
    // Field fault: a long message whose last parts were refused was reported as sent, and the
    // recipient got a message that could never be completed.
    storeSendMethod(QStringLiteral("wave"));
    QVERIFY(start());
    Tarvex control;
    connectControl(control);
    // From the second part on, the network refuses the destination.
    QObject guard;
    QObject::connect(m_emulator->log(), &lonvera::emulator::EmulatorLog::changed, &guard, [&] {
        if (m_emulator->sentMessages(Com).size() == 1)
            m_emulator->updateProfile(Com, [](ModemProfile &p) {
                p.cmsErrorOnSend = 0;
                p.unknownNumberCmsError = 500;
            });
    });
    const QString text(3 * 67, QChar(0x4E2D));
    const QString result = control.Sendsms(text, QStringLiteral("13912345678"), 0);
    QVERIFY2(result.startsWith(QStringLiteral("未全部发送成功：共3条，只发出1条")),
             qPrintable(result));
    QCOMPARE(storedSendMethod(), QStringLiteral("wave_no"));
    QCOMPARE(control.errmsg().toString(), result);
}

void TestSending::closeDuringSendInterrupts()
{
    QVERIFY(start([](ModemProfile &p) { p.networkDelayMs = 3000; }));
    Tarvex control;
    connectControl(control);
    QTimer::singleShot(500, &control, [&control] { control.ClosePort(); });
    QElapsedTimer clock;
    clock.start();
    const QString result =
        control.Sendsms(QStringLiteral("hello"), QStringLiteral("13912345678"), 0);
    // The PDU was with the modem, its answer not yet: it may have gone.
    QCOMPARE(result, SendResult::InterruptedMaybeSent.toString());
    QVERIFY2(clock.elapsed() < 2500, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(control.Isbusy(), false);
    QVERIFY(m_emulator->waitFor([&] { return !m_emulator->isAttached(Com); }, 2000));
}

void TestSending::referencesDifferPerMessage()
{
    QVERIFY(start());
    Tarvex control;
    connectControl(control);
    const QString text(2 * 67, QChar(0x4E2D));
    QCOMPARE(control.Sendsms(text, QStringLiteral("13912345678"), 0), QStringLiteral("y"));
    QCOMPARE(control.Sendsms(text, QStringLiteral("13912345678"), 0), QStringLiteral("y"));
    const auto sent = m_emulator->sentMessages(Com);
    QCOMPARE(sent.size(), 4);
    const QString first = submitOf(sent[0].pdu).userData.mid(6, 2);
    const QString second = submitOf(sent[2].pdu).userData.mid(6, 2);
    QVERIFY2(first != second, qPrintable(first));
}

void TestSending::eightBitDestinationWithPlusIsInternational()
{
    // SendAsc2 sent "+27821231234" as type 81 without its "+": the centre read it as national.
    QVERIFY(start());
    Tarvex control;
    connectControl(control);
    QCOMPARE(control.SendAsc2(QStringLiteral("0102"), QStringLiteral("+27821231234"), 0),
             QStringLiteral("y"));
    QCOMPARE(control.SendAsc2(QStringLiteral("0102"), QStringLiteral("27821231234"), 0),
             QStringLiteral("y"));
    const auto sent = m_emulator->sentMessages(Com);
    QCOMPARE(sent.size(), 2);
    const Submit plus = submitOf(sent[0].pdu);
    QCOMPARE((plus.destinationLength + plus.type + plus.digits).toUpper(),
             QStringLiteral("0B917228211332F4"));
    QCOMPARE(submitOf(sent[1].pdu).type, QStringLiteral("81"));
}

void TestSending::eightBitData()
{
    QVERIFY(start());
    Tarvex control;
    connectControl(control);
    const QString data = QString(300, QLatin1Char('A')); // 150 octets: two pieces
    QCOMPARE(control.SendAsc2(data, QStringLiteral("13912345678"), 1), QStringLiteral("y"));
    const auto sent = m_emulator->sentMessages(Com);
    QCOMPARE(sent.size(), 2);
    QCOMPARE(submitOf(sent[0].pdu).dcs, QStringLiteral("15"));
    QCOMPARE(submitOf(sent[0].pdu).udl, QStringLiteral("8C"));
    QCOMPARE(submitOf(sent[1].pdu).udl, QStringLiteral("0A"));
    QCOMPARE(control.SendAsc2(QStringLiteral("0G"), QStringLiteral("13912345678"), 0),
             QStringLiteral("发送的内容不是十六进制数据"));
    control.setSmsService(QStringLiteral("+8613800"));
    QCOMPARE(control.SendAsc2(data, QStringLiteral("13912345678"), 0),
             QStringLiteral("信息中心号码位数不对，应为13位并以“+86”开头！"));
}

void TestSending::strayXoffDoesNotHaltThePort()
{
    // A stray XOFF byte on the line stopped the port's output for good.
    QVERIFY(start());
    Tarvex control;
    connectControl(control);
    m_emulator->inject(Com, QByteArray("\x13"));
    QVERIFY(m_emulator->waitFor([] { return true; }, 200));
    QCOMPARE(control.Sendsms(QStringLiteral("after noise"), QStringLiteral("13912345678"), 0),
             QStringLiteral("y"));
}

void TestSending::permanentRefusalIsNotRepeated()
{
    // A refused number was tried three times per centre variant: the same refusal six times.
    storeSendMethod(QStringLiteral("wave"));
    QVERIFY(start([](ModemProfile &p) { p.unknownNumberCmsError = 28; }));
    Tarvex control;
    connectControl(control);
    const QString result =
        control.Sendsms(QStringLiteral("nobody"), QStringLiteral("13900000000"), 0);
    QVERIFY2(result.contains(QStringLiteral("+CMS ERROR: 28")), qPrintable(result));
    QCOMPARE(m_emulator->sentMessages(Com).size(), 1);
}

void TestSending::linkLostAfterThePduEndsTheSend()
{
    // A message the modem took before its port went away was recorded as not sent.
    QVERIFY(start([](ModemProfile &p) { p.networkDelayMs = 3000; }, 2));
    Tarvex control;
    connectControl(control);
    // The port goes away while the modem holds its answer to the PDU.
    bool unplugged = false;
    QObject guard;
    QObject::connect(m_emulator->log(), &lonvera::emulator::EmulatorLog::changed, &guard, [&] {
        const QList<QByteArray> commands = m_emulator->commands(Com);
        if (!unplugged && !commands.isEmpty() && commands.last().endsWith("^Z")) {
            unplugged = true;
            m_emulator->unplug(Com);
        }
    });
    const QString result = control.Sendsms(QStringLiteral("gone"), m_emulator->number(Com + 1), 0);
    QVERIFY2(result.endsWith(lonvera::control::kLinkLostAfterPduText), qPrintable(result));
    // No second attempt and no other centre variant: the PDU was written once.
    const QList<QByteArray> commands = m_emulator->commands(Com);
    QCOMPARE(std::count_if(commands.begin(), commands.end(),
                           [](const QByteArray &c) { return c.endsWith("^Z"); }),
             1);
    QCOMPARE(fixture::storedSendMethod(), QString());
}

void TestSending::silenceAfterTheEchoedPduEndsTheSend()
{
    // A modem that echoed the PDU and fell silent sent the message twice: the echo counted as an
    // answer, the part was tried again and the second try reported that nothing went.
    QVERIFY(start([](ModemProfile &p) { p.networkDelayMs = 3000; }, 2));
    Tarvex control;
    connectControl(control);
    bool silenced = false;
    QObject guard;
    QObject::connect(m_emulator->log(), &lonvera::emulator::EmulatorLog::changed, &guard, [&] {
        const QList<QByteArray> commands = m_emulator->commands(Com);
        if (!silenced && !commands.isEmpty() && commands.last().endsWith("^Z")) {
            silenced = true;
            m_emulator->updateProfile(Com, [](ModemProfile &p) { p.silent = true; });
        }
    });
    const QString result = control.Sendsms(QStringLiteral("quiet"), m_emulator->number(Com + 1), 0);
    QVERIFY2(result.endsWith(lonvera::control::kSilentAfterPduText), qPrintable(result));
    QCOMPARE(m_emulator->sentMessages(Com).size(), 1);
    const QList<QByteArray> commands = m_emulator->commands(Com);
    QCOMPARE(std::count_if(commands.begin(), commands.end(),
                           [](const QByteArray &c) { return c.endsWith("^Z"); }),
             1);
}

// Stops (or restarts) what this process writes to the pseudo-terminal at path, as a modem holding
// CTS low would: on our own descriptor of it, since the port is opened for exclusive use.
static bool holdOutput(const QString &path, bool held)
{
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &entry : fds.entryList(QDir::System | QDir::NoDotAndDotDot)) {
        if (QFileInfo(fds.filePath(entry)).symLinkTarget() == path)
            return ::tcflow(entry.toInt(), held ? TCOOFF : TCOON) == 0;
    }
    return false;
}

void TestSending::heldOutputIsALineFault()
{
    // A modem that held our output (CTS low) stopped the port for good and nobody was told.
    QVERIFY(start());
    Tarvex control;
    connectControl(control);
    QVERIFY(holdOutput(m_emulator->devicePath(Com), true));
    const QString result =
        control.Sendsms(QStringLiteral("held"), QStringLiteral("13912345678"), 0);
    // The command never left the port: nothing went, and the line counts as lost.
    QCOMPARE(result, lonvera::control::kLinkLostText);
    QCOMPARE(m_emulator->sentMessages(Com).size(), 0);
    // The next send opens the port again, which lets the output run.
    QCOMPARE(control.Sendsms(QStringLiteral("again"), QStringLiteral("13912345678"), 0),
             QStringLiteral("y"));
    QCOMPARE(m_emulator->sentMessages(Com).size(), 1);
}

QTEST_GUILESS_MAIN(TestSending)
#include "tst_sending.moc"
