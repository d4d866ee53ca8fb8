// A SIM that starts locked: the PIN configured for the port goes in once, and every other state
// ends the connect with a text saying which.
#include "control/modem/sim_unlock.h"
#include "emulator_fixture.h"
#include "platform/paths.h"
#include "platform/profile_file.h"

using namespace lonvera::control;
using namespace fixture;

class TestSimPin : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void lockedSimTakesTheConfiguredPin();
    void connectEndsWithTheSimState_data();
    void connectEndsWithTheSimState();
    void refusedPinIsNeverEnteredAgain();

private:
    /// An emulated modem whose SIM asks for the PIN 4321.
    bool startLockedSim();
    void configurePin(const QString &pin);
    int pinEntries() const;

    QTemporaryDir m_prefix;
    QTemporaryDir m_home;
    std::unique_ptr<Emulator> m_emulator;
};

void TestSimPin::initTestCase()
{
    QVERIFY(m_prefix.isValid() && m_home.isValid());
    qputenv("LONVERA_PREFIX", m_prefix.path().toLocal8Bit());
    qputenv("LONVERA_HOME", m_home.path().toLocal8Bit());
}

void TestSimPin::init()
{
    QFile::remove(m_home.filePath(QStringLiteral("set.ini")));
    QFile::remove(lonvera::platform::mapWindowsPath(QStringLiteral("c:\\wintic.ini")));
}

void TestSimPin::cleanup()
{
    m_emulator.reset();
}

bool TestSimPin::startLockedSim()
{
    m_emulator = startEmulator(m_prefix.path(), 1, [](ModemProfile &p) {
        p.simState = QStringLiteral("SIM PIN");
        p.simPin = QStringLiteral("4321");
    });
    return m_emulator != nullptr;
}

void TestSimPin::configurePin(const QString &pin)
{
    lonvera::platform::ProfileFile(m_home.filePath(QStringLiteral("set.ini")))
        .writeString(QStringLiteral("PIN"), QStringLiteral("COM") + QString::number(Com), pin);
}

int TestSimPin::pinEntries() const
{
    const QList<QByteArray> commands = m_emulator->commands(Com);
    return int(std::count_if(commands.begin(), commands.end(),
                             [](const QByteArray &c) { return c.startsWith("at+cpin=\""); }));
}

void TestSimPin::lockedSimTakesTheConfiguredPin()
{
    // A modem starting with a locked SIM connected, then refused every message (+CMS ERROR: 311).
    QVERIFY(startLockedSim());
    configurePin(QStringLiteral("4321"));
    Tarvex control;
    control.setCommPort(Com);
    QCOMPARE(control.Connect(2), QStringLiteral("y"));
    QCOMPARE(pinEntries(), 1);
    QCOMPARE(control.Sendsms(QStringLiteral("hello"), QStringLiteral("13912345678"), 0),
             QStringLiteral("y"));
    // Ready now: the next connect enters nothing.
    QCOMPARE(control.Connect(2), QStringLiteral("y"));
    QCOMPARE(pinEntries(), 1);
}

void TestSimPin::connectEndsWithTheSimState_data()
{
    QTest::addColumn<QString>("simState");
    QTest::addColumn<QString>("configured");
    QTest::addColumn<QString>("text");
    QTest::newRow("no PIN configured") << "SIM PIN"
                                       << "" << SimUnlock::noPinText(Com);
    QTest::newRow("PUK") << "SIM PUK"
                         << "1234" << SimUnlock::pukText();
    QTest::newRow("no SIM") << ""
                            << "1234" << SimUnlock::noSimText();
}

void TestSimPin::connectEndsWithTheSimState()
{
    QFETCH(QString, simState);
    QFETCH(QString, configured);
    QFETCH(QString, text);
    m_emulator = startEmulator(m_prefix.path(), 1, [&](ModemProfile &p) { p.simState = simState; });
    QVERIFY(m_emulator);
    if (!configured.isEmpty())
        configurePin(configured);
    Tarvex control;
    control.setCommPort(Com);
    QCOMPARE(control.Connect(2), text);
    QCOMPARE(control.errmsg().toString(), text);
    QCOMPARE(control.lastConnectFailure(), ConnectFailure::Sim);
    QCOMPARE(pinEntries(), 0);
    QVERIFY(!control.Isbusy());
    QVERIFY(!m_emulator->isAttached(Com)); // the port is closed as after any failed connect
}

void TestSimPin::refusedPinIsNeverEnteredAgain()
{
    // The worker reconnects a device by itself: a wrong PIN tried on every connect locks the
    // SIM with its PUK after the third.
    QVERIFY(startLockedSim());
    configurePin(QStringLiteral("0000"));
    {
        Tarvex control;
        control.setCommPort(Com);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(control.Connect(2), SimUnlock::pinRefusedText(Com));
    }
    Tarvex fresh; // a new worker server, too, remembers it
    fresh.setCommPort(Com);
    QCOMPARE(fresh.Connect(2), SimUnlock::pinRefusedText(Com));
    QCOMPARE(pinEntries(), 1);
    // The operator corrects the PIN: it goes in.
    configurePin(QStringLiteral("4321"));
    QCOMPARE(fresh.Connect(2), QStringLiteral("y"));
    QCOMPARE(fresh.lastConnectFailure(), ConnectFailure::None);
    QCOMPARE(pinEntries(), 2);
}

QTEST_GUILESS_MAIN(TestSimPin)
#include "tst_sim_pin.moc"
