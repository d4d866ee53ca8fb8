// The gateway mends itself, end to end: the worker server Tarvex80 killed or stopped mid-run, a
// modem unplugged and plugged in again, a modem that falls silent and answers again. Each time
// sending resumes without the operator, no message goes into the network twice, and a row in
// badoutbox is one whose outcome is unknown, never one that simply did not go.
#include "e2e_rig.h"
#include "server/core/client_worker_factory.h"
#include "server/core/server_app.h"

#include <QTest>

#include <csignal>

using namespace lonvera::server;
using namespace lonvera::server::test;
using lonvera::db::test::TestEngine;
using namespace Qt::StringLiterals;

namespace {

bool allConnected(Gateway *gateway, int modems)
{
    for (int n = 1; n <= modems; ++n) {
        if (!gateway->slot(n).connected)
            return false;
    }
    return true;
}

// A slow network, so that a fault lands in the middle of an exchange now and then.
lonvera::emulator::ProfileSet slowNetwork()
{
    lonvera::emulator::ProfileSet profiles;
    profiles.defaults.networkDelayMs = 300;
    return profiles;
}

// The set-up every case shares: emulated modems on a slow network, the messages queued, the
// gateway started on a real worker server with every device connected.
class Run
{
public:
    bool start(int modems, int messages,
               const lonvera::emulator::ProfileSet &profiles = slowNetwork())
    {
        m_modems = modems;
        if (!m_rig.setUp(TestEngine::Sqlite, modems, &m_failure, profiles))
            return false;
        m_failure = u"cannot queue the messages or connect every device"_s;
        if (!m_rig.queue(0, messages))
            return false;
        m_app = std::make_unique<ServerApp>(m_rig.home(), &m_factory);
        if (m_app->start(1, 0, 0) != ServerApp::StartResult::Running)
            return false;
        gateway()->connectAll();
        return QTest::qWaitFor([this] { return allConnected(gateway(), m_modems); }, 30000);
    }
    QByteArray failure() const { return m_failure.toLocal8Bit(); }
    E2eRig &rig() { return m_rig; }
    ClientWorkerFactory &factory() { return m_factory; }
    Gateway *gateway() const { return m_app->gateway(); }
    qint64 count(const char *table)
    {
        return m_rig.scalar(u"select count(*) from "_s + QLatin1String(table));
    }
    int logged(const QString &text) const
    {
        return int(m_app->view()->runLog().lines().filter(text).size());
    }
    // Every row ended once, none went into the network twice, and badoutbox holds only rows
    // whose outcome is unknown.
    void checkTheEnd(int messages)
    {
        QTRY_COMPARE_WITH_TIMEOUT(count("outbox"), 0, 120000);
        QCOMPARE(count("SendedOutBox") + count("badoutbox"), messages);
        const QStringList bad = m_rig.column(u"select bad_why from badoutbox"_s);
        for (const QString &why : bad)
            QVERIFY2(why.startsWith(u"发送结果未知"_s), qPrintable(why));
        const QHash<int, int> wire = m_rig.sentTags();
        for (auto it = wire.begin(); it != wire.end(); ++it)
            QVERIFY2(it.value() == 1,
                     qPrintable(u"#%1 sent %2 times"_s.arg(it.key()).arg(it.value())));
        QVERIFY(wire.size() >= count("SendedOutBox"));
    }
    void close() { QVERIFY(gateway()->requestClose()); }

private:
    E2eRig m_rig;
    ClientWorkerFactory m_factory;
    int m_modems = 0;
    QString m_failure;
    std::unique_ptr<ServerApp> m_app;
};

} // namespace

class TstSelfHealing : public QObject
{
    Q_OBJECT
private slots:
    void workerServerKilled();
    void workerServerStopped();
    void modemUnplugged();
    void replugEndsTheReconnectPause();
    void modemFallsSilent();
    void heldOutputIsReopened();
};

void TstSelfHealing::workerServerKilled()
{
    // A killed Tarvex80 left every device down until an operator restarted the server, and the
    // messages in flight went out again.
    const int modems = 4;
    const int messages = 80;
    Run run;
    QVERIFY2(run.start(modems, messages), run.failure().constData());
    QTRY_VERIFY_WITH_TIMEOUT(run.count("SendedOutBox") >= 15, 60000);
    const qint64 pid = run.factory().serverPid();
    QCOMPARE(::kill(pid_t(pid), SIGKILL), 0);
    // Back by itself on a fresh worker server.
    QTRY_VERIFY_WITH_TIMEOUT(run.factory().serverPid() != pid, 15000);
    QTRY_VERIFY_WITH_TIMEOUT(allConnected(run.gateway(), modems), 30000);
    run.checkTheEnd(messages);
    QCOMPARE(run.logged(u"短信工作服务已中断"_s), modems);
    run.close();
}

void TstSelfHealing::workerServerStopped()
{
    // A stopped Tarvex80 froze the server 15 s per call and never came back.
    const int modems = 2;
    const int messages = 40;
    Run run;
    QVERIFY2(run.start(modems, messages), run.failure().constData());
    QTRY_VERIFY_WITH_TIMEOUT(run.count("SendedOutBox") >= 8, 60000);
    const qint64 pid = run.factory().serverPid();
    QCOMPARE(::kill(pid_t(pid), SIGSTOP), 0);
    // The first call left unanswered ends the stopped server; a fresh one takes over.
    QTRY_VERIFY_WITH_TIMEOUT(run.factory().serverPid() != pid, 30000);
    QVERIFY(::kill(pid_t(pid), 0) != 0 ||
            QTest::qWaitFor([pid] { return ::kill(pid_t(pid), 0) != 0; }, 5000));
    run.checkTheEnd(messages);
    run.close();
}

void TstSelfHealing::modemUnplugged()
{
    // An unplugged modem turned the queue into failures while the other modems worked, and the
    // message it was sending went out yet was recorded as failed.
    const int modems = 3;
    const int messages = 90;
    Run run;
    QVERIFY2(run.start(modems, messages), run.failure().constData());
    QTRY_VERIFY_WITH_TIMEOUT(run.count("SendedOutBox") >= 10, 60000);
    run.rig().emulator().unplug(2);
    // The others go on and take its share; it takes nothing while it is away.
    QTRY_VERIFY_WITH_TIMEOUT(!run.gateway()->slot(2).connected, 10000);
    const qint64 before = run.count("SendedOutBox");
    QTRY_VERIFY_WITH_TIMEOUT(run.count("SendedOutBox") >= before + 10, 60000);
    QVERIFY(run.rig().emulator().replug(2));
    QTRY_VERIFY_WITH_TIMEOUT(run.gateway()->slot(2).connected, 30000);
    run.checkTheEnd(messages);
    QCOMPARE(run.logged(u"：设备2：设备连接中断"_s), 1);
    QCOMPARE(run.logged(u"：设备2：设备已恢复连接"_s), 1);
    QCOMPARE(run.logged(u"发送时通信链路中断"_s), 0);
    run.close();
}

void TstSelfHealing::replugEndsTheReconnectPause()
{
    // A replugged modem waited up to a minute before sending resumed.
    const int modems = 2;
    const int messages = 60;
    Run run;
    QVERIFY2(run.start(modems, messages), run.failure().constData());
    QTRY_VERIFY_WITH_TIMEOUT(run.count("SendedOutBox") >= 4, 60000);
    run.rig().emulator().unplug(2);
    // Away long enough for the pause before the next attempt to have grown to 16 s; the modem
    // comes back just as that pause begins.
    QTRY_VERIFY_WITH_TIMEOUT(run.gateway()->slot(2).recovery.attempts >= 5, 60000);
    const qsizetype before = run.rig().emulator().sentMessages(2).size();
    QVERIFY(run.rig().emulator().replug(2));
    // Tried at once, long before the pause is out, and it takes messages again.
    QTRY_VERIFY_WITH_TIMEOUT(run.gateway()->slot(2).connected, 8000);
    QTRY_VERIFY_WITH_TIMEOUT(run.rig().emulator().sentMessages(2).size() > before, 30000);
    run.checkTheEnd(messages);
    QCOMPARE(run.logged(u"：设备2：设备连接中断"_s), 1);
    QCOMPARE(run.logged(u"：设备2：设备已恢复连接"_s), 1);
    run.close();
}

void TstSelfHealing::modemFallsSilent()
{
    // A modem that fell silent kept its claimed row, and sent it again once it answered.
    const int modems = 2;
    const int messages = 30;
    Run run;
    QVERIFY2(run.start(modems, messages), run.failure().constData());
    QTRY_VERIFY_WITH_TIMEOUT(run.count("SendedOutBox") >= 4, 60000);
    run.rig().emulator().updateProfile(1,
                                       [](lonvera::emulator::ModemProfile &p) { p.silent = true; });
    // Reported as not responding within the control's waits; its rows go to the other modem.
    QTRY_VERIFY_WITH_TIMEOUT(run.logged(u"：设备1：设备"_s) >= 1, 60000);
    QVERIFY(!run.gateway()->slot(1).connected);
    run.rig().emulator().updateProfile(
        1, [](lonvera::emulator::ModemProfile &p) { p.silent = false; });
    QTRY_VERIFY_WITH_TIMEOUT(run.gateway()->slot(1).connected, 90000);
    run.checkTheEnd(messages);
    QCOMPARE(run.logged(u"：设备1：设备已恢复连接"_s), 1);
    run.close();
}

void TstSelfHealing::heldOutputIsReopened()
{
    // A stray XOFF stopped a port for good: its output never left again, with no log line, and
    // its share of the queue stayed behind.
    const int modems = 2;
    const int messages = 80;
    lonvera::emulator::ProfileSet profiles = slowNetwork();
    profiles.perCom[1] = {{u"holdableOutput"_s, true}};
    Run run;
    QVERIFY2(run.start(modems, messages, profiles), run.failure().constData());
    QTRY_VERIFY_WITH_TIMEOUT(run.count("SendedOutBox") >= 4, 60000);
    QVERIFY(run.rig().emulator().holdOutput(1, true));
    // What it writes next makes no progress: the port is given up within the command's wait,
    // opened afresh (which ends the stop) and takes messages again.
    QTRY_COMPARE_WITH_TIMEOUT(run.logged(u"：设备1：设备连接中断"_s), 1, 60000);
    const qsizetype before = run.rig().emulator().sentMessages(1).size();
    QTRY_VERIFY_WITH_TIMEOUT(run.rig().emulator().sentMessages(1).size() > before, 60000);
    run.checkTheEnd(messages);
    QCOMPARE(run.logged(u"：设备1：设备已恢复连接"_s), 1);
    run.close();
}

QTEST_GUILESS_MAIN(TstSelfHealing)
#include "tst_self_healing.moc"
