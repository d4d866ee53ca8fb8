// The gateway core when a device goes away and comes back by itself, against a fake worker and an
// in-memory store: a lost link, a silent modem, a worker server that died, and the modem's
// refusals taken by class.
#include "control/replies/send_verdict.h"
#include "gateway_rig.h"

#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
#include <QSignalSpy>
#include <QTest>

using namespace lonvera::server;
using namespace lonvera::server::testing;
using namespace Qt::StringLiterals;

namespace {

struct Rig : GatewayRig<>
{
    Rig() { start(); }
    ~Rig()
    {
        if (ownPrefix)
            qunsetenv("LONVERA_PREFIX");
    }
    /// A machine prefix of the rig's own with its link and device folders; ports resolve there
    /// until the rig ends (also when a check fails half-way). Empty when it cannot be made.
    QString machine()
    {
        const QString prefix = dir.path() + u"/machine"_s;
        if (!QDir().mkpath(prefix + u"/dosdevices"_s) || !QDir().mkpath(prefix + u"/dev"_s))
            return {};
        qputenv("LONVERA_PREFIX", QFile::encodeName(prefix));
        ownPrefix = true;
        return prefix;
    }
    /// Makes the device node <machine>/dev/<name> and links COM`com` to it: a port whose
    /// device is there. False when it cannot be made.
    bool attach(const QString &prefix, const QString &name, int com)
    {
        QFile node(prefix + u"/dev/"_s + name);
        return node.open(QIODevice::WriteOnly) &&
               QFile::link(node.fileName(), prefix + u"/dosdevices/com%1"_s.arg(com));
    }
    /// COM`com` sends row 1 and loses its link; five attempts find no device, so the next one
    /// is half a minute away.
    FakeWorker *lostForLong(int com)
    {
        queue(1);
        FakeWorker *w = connect(com);
        emit w->sendReport(u"1"_s, lonvera::control::kLinkLostText);
        for (int i = 0; i < 5; ++i)
            emit w->otherReport(u"未找到设备"_s);
        return w;
    }
    void queue(int rows)
    {
        for (int id = 1; id <= rows; ++id)
            store.addOutbox(id, u"1380000000%1"_s.arg(id), clock.addSecs(-60 + id));
    }
    bool ownPrefix = false;
};

int connects(const FakeWorker *w)
{
    return int(w->calls.filter(u"Connect "_s).size());
}

} // namespace

class TstDeviceRecovery : public QObject
{
    Q_OBJECT
private slots:
    void lostLinkKeepsTheRowAndReconnects();
    void addressedRowWaitsForItsPort();
    void silentModemAfterTheMessageIsOutcomeUnknown();
    void refusalsAreStoredReadably_data();
    void refusalsAreStoredReadably();
    void temporaryRefusalKeepsTheRow();
    void lostWorkerServerIsReplaced();
    void modemPluggedBackIsTriedAtOnce();
    void silentModemIsAskedAgainSoon();
    void linkMadeAgainElsewhereIsTriedAtOnce();
    void portNotFoundAtFirstIsTriedAgain();
    void stoppedDeviceStaysStopped();
    void hungWorkerServerIsAskedWhileMessagesAreOut();
    void rowNoDeviceTakesIsReportedOnce_data();
    void rowNoDeviceTakesIsReportedOnce();
    void rowsADeviceWillTakeAreNotReported();
};

void TstDeviceRecovery::lostLinkKeepsTheRowAndReconnects()
{
    // An unplugged modem turned the queue into failures: its slot took row after row and
    // failed each at once.
    Rig rig;
    rig.queue(3);
    FakeWorker *w3 = rig.connect(3);
    FakeWorker *w4 = rig.connect(4);
    QCOMPARE(w3->sent, QStringList{u"1"_s});
    QCOMPARE(w4->sent, QStringList{u"2"_s});

    emit w3->sendReport(u"1"_s, u"\r\n> "_s + lonvera::control::kLinkLostText);
    QVERIFY(rig.store.badIds.isEmpty());
    // Nothing went: the row is free for every port again, and the lost slot takes nothing.
    QCOMPARE(rig.store.outboxRow(1)->m.comPort, 0);
    QVERIFY(!rig.gateway->slot(3).connected);
    rig.gateway->dispatchTick();
    QCOMPARE(w3->sent, QStringList{u"1"_s});
    emit w4->sendReport(u"2"_s, u"y"_s);
    QCOMPARE(w4->sent, (QStringList{u"2"_s, u"1"_s}));
    QCOMPARE(rig.logged(u"设备连接中断"_s), 1);

    // Connected again by itself with a growing pause; the attempts are not logged.
    QTRY_COMPARE_WITH_TIMEOUT(connects(w3), 2, 3000);
    emit w3->otherReport(u"正在连接"_s);
    emit w3->otherReport(u"未找到设备"_s);
    QTest::qWait(1300);
    QCOMPARE(connects(w3), 2);
    QTRY_COMPARE_WITH_TIMEOUT(connects(w3), 3, 3000);
    emit w3->otherReport(u"成功连接设备SIM900(COM3)"_s);
    QVERIFY(rig.gateway->slot(3).connected);
    QCOMPARE(rig.logged(u"未找到设备"_s), 0);
    QCOMPARE(rig.logged(u"设备已恢复连接"_s), 1);
    QCOMPARE(rig.logged(u"设备连接中断"_s), 1);
    QCOMPARE(w3->sent, (QStringList{u"1"_s, u"3"_s}));
}

void TstDeviceRecovery::addressedRowWaitsForItsPort()
{
    Rig rig;
    rig.store.addOutbox(7, u"13800000007"_s, rig.clock.addSecs(-5), 3);
    FakeWorker *w3 = rig.connect(3);
    QCOMPARE(w3->sent, QStringList{u"7"_s});
    emit w3->sendReport(u"7"_s, lonvera::control::kNotConnectedText);
    QVERIFY(rig.store.badIds.isEmpty());
    QCOMPARE(rig.store.outboxRow(7)->m.comPort, 3);
}

void TstDeviceRecovery::silentModemAfterTheMessageIsOutcomeUnknown()
{
    // A modem that fell silent after taking the message had it sent again once it answered.
    Rig rig;
    rig.queue(2);
    FakeWorker *w = rig.connect(5);
    emit w->sendReport(u"1"_s, u"\r\n> "_s + lonvera::control::kSilentAfterPduText);
    QCOMPARE(rig.store.badIds, QList<qint64>{1});
    QVERIFY(rig.store.badWhy.value(0).startsWith(u"发送结果未知"_s));
    QCOMPARE(rig.logged(u"设备连接中断"_s), 1);
    // Not handed the next row while it is away.
    QCOMPARE(w->sent, QStringList{u"1"_s});
    QCOMPARE(rig.store.outboxRow(2)->m.comPort, 0);
}

void TstDeviceRecovery::refusalsAreStoredReadably_data()
{
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("why");
    const QString cms304 = u"\r\n+CMS ERROR: 304\r\n"_s;
    QTest::newRow("invalid PDU, permanent")
        << u"> "_s + cms304 + u"> "_s + cms304 << u"短信参数无效(+CMS ERROR: 304)"_s;
    QTest::newRow("barred") << u"\r\n+CMS ERROR: 10\r\n"_s << u"号码被限制呼叫(+CMS ERROR: 10)"_s;
    QTest::newRow("code not in the table")
        << u"\r\n+CMS ERROR: 500\r\n"_s << u"发送失败(+CMS ERROR: 500)"_s;
    QTest::newRow("no code") << u"发送失败"_s << u"发送失败"_s;
}

void TstDeviceRecovery::refusalsAreStoredReadably()
{
    // A modem's refusal was stored in badoutbox as the raw AT transcript.
    QFETCH(QString, result);
    QFETCH(QString, why);
    Rig rig;
    rig.queue(2);
    FakeWorker *w = rig.connect(2);
    emit w->sendReport(u"1"_s, result);
    QCOMPARE(rig.store.badWhy, QStringList{why});
    // A refusal is the message's fault, not the device's: it goes on with the next.
    QVERIFY(rig.gateway->slot(2).connected);
    QCOMPARE(w->sent, (QStringList{u"1"_s, u"2"_s}));
}

void TstDeviceRecovery::temporaryRefusalKeepsTheRow()
{
    Rig rig;
    rig.queue(1);
    FakeWorker *w = rig.connect(2);
    const QString noService = u"\r\n+CMS ERROR: 331\r\n"_s;
    emit w->sendReport(u"1"_s, noService);
    QVERIFY(rig.store.badIds.isEmpty());
    QCOMPARE(rig.store.outboxRow(1)->m.comPort, 2);
    // Not again at once: after a pause.
    rig.gateway->dispatchTick();
    QCOMPARE(w->sent, QStringList{u"1"_s});
    QTRY_COMPARE_WITH_TIMEOUT(w->sent.size(), 2, 4000);
    emit w->sendReport(u"1"_s, noService);
    QCOMPARE(rig.logged(u"无网络服务(+CMS ERROR: 331)"_s), 1);
    QTRY_COMPARE_WITH_TIMEOUT(w->sent.size(), 3, 5000);
    emit w->sendReport(u"1"_s, u"y"_s);
    QCOMPARE(rig.store.sentIds, QList<qint64>{1});
}

void TstDeviceRecovery::modemPluggedBackIsTriedAtOnce()
{
    // A replugged modem waited out a reconnect pause of up to a minute.
    Rig rig;
    const QString prefix = rig.machine();
    QVERIFY(!prefix.isEmpty());
    const QString node = prefix + u"/dev/ttyUSB0"_s;
    // COM3 is an unplugged USB adapter (its link names nothing).
    QVERIFY(QFile::link(node, prefix + u"/dosdevices/com3"_s));
    FakeWorker *w3 = rig.lostForLong(3);
    const int before3 = connects(w3);

    // The gateway's watch sees a change of the folder when this one does.
    QFileSystemWatcher folder({prefix + u"/dev"_s});
    QSignalSpy changed(&folder, &QFileSystemWatcher::directoryChanged);
    QFile plugged(node);
    QVERIFY(plugged.open(QIODevice::WriteOnly));
    QTRY_COMPARE_WITH_TIMEOUT(connects(w3), before3 + 1, 5000);
    // An attempt under way when the node comes back is followed by another at once.
    changed.clear();
    QVERIFY(plugged.remove());
    QTRY_VERIFY(!changed.isEmpty());
    changed.clear();
    QVERIFY(plugged.open(QIODevice::WriteOnly));
    QTRY_VERIFY(!changed.isEmpty());
    QCOMPARE(connects(w3), before3 + 1);
    emit w3->otherReport(u"未找到设备"_s);
    QTRY_COMPARE_WITH_TIMEOUT(connects(w3), before3 + 2, 5000);
    emit w3->otherReport(u"成功连接设备SIM900(COM3)"_s);
    QVERIFY(rig.gateway->slot(3).connected);
    QCOMPARE(rig.logged(u"设备已恢复连接"_s), 1);
}

void TstDeviceRecovery::silentModemIsAskedAgainSoon()
{
    // A modem that answered again after a minute of silence stayed idle until a reconnect pause
    // grown to half a minute ran out.
    Rig rig;
    const QString prefix = rig.machine();
    QVERIFY(!prefix.isEmpty());
    // Its device node is there all along.
    QVERIFY(rig.attach(prefix, u"ttyS3"_s, 4));
    rig.queue(1);
    FakeWorker *w4 = rig.connect(4);
    emit w4->sendReport(u"1"_s, lonvera::control::kSilentText);
    // Attempt after attempt finds no answer; the next one never waits a grown pause.
    for (int i = 0; i < 6; ++i) {
        QTRY_COMPARE_WITH_TIMEOUT(connects(w4), 2 + i, 5000);
        emit w4->otherReport(u"正在连接"_s);
        emit w4->otherReport(u"未找到设备"_s);
    }
    QTRY_COMPARE_WITH_TIMEOUT(connects(w4), 8, 5000);
    emit w4->otherReport(u"成功连接设备SIM900(COM4)"_s);
    QVERIFY(rig.gateway->slot(4).connected);
    QCOMPARE(rig.logged(u"设备无响应"_s), 1);
    QCOMPARE(rig.logged(u"未找到设备"_s), 0);
    QCOMPARE(rig.logged(u"设备已恢复连接"_s), 1);
}

void TstDeviceRecovery::linkMadeAgainElsewhereIsTriedAtOnce()
{
    // A modem plugged back under a node of another name (its link removed and made again,
    // pointing at ttyUSB1 where it named ttyUSB0) waited out the reconnect pause: while the link
    // was missing the watch had left the link's folder.
    Rig rig;
    const QString prefix = rig.machine();
    QVERIFY(!prefix.isEmpty());
    const QString link = prefix + u"/dosdevices/com2"_s;
    QVERIFY(QFile::link(prefix + u"/dev/ttyUSB0"_s, link));
    FakeWorker *w2 = rig.lostForLong(2);
    const int before = connects(w2);

    // The link is gone for a moment (the port then names the standard serial device) before
    // it is made again; the gateway looks in between.
    QFileSystemWatcher folder({prefix + u"/dosdevices"_s});
    QSignalSpy changed(&folder, &QFileSystemWatcher::directoryChanged);
    QVERIFY(QFile::remove(link));
    QTRY_VERIFY(!changed.isEmpty());
    QTest::qWait(50);
    QFile node(prefix + u"/dev/ttyUSB1"_s);
    QVERIFY(node.open(QIODevice::WriteOnly));
    QVERIFY(QFile::link(node.fileName(), link));
    QTRY_COMPARE_WITH_TIMEOUT(connects(w2), before + 1, 5000);
}

void TstDeviceRecovery::portNotFoundAtFirstIsTriedAgain()
{
    // A port not found at its first connect was never tried again: after a crash the last run's
    // worker server still held a port for a moment, the restarted server's connect failed, and a
    // row that port had claimed waited for an operator.
    Rig rig;
    const QString prefix = rig.machine();
    QVERIFY(!prefix.isEmpty());
    QVERIFY(rig.attach(prefix, u"ttyUSB1"_s, 2));
    rig.queue(1);
    const auto firstConnect = [&rig](int n) {
        const DeviceRecord &d = rig.store.deviceRows[n - 1];
        rig.gateway->connectDevice(n, n, d.rate, d.serno, d.forNo, Gateway::paceToPause(d.pace));
        return rig.worker(n);
    };
    // COM3 has no link here: it may be another machine's port on a shared database.
    FakeWorker *w3 = firstConnect(3);
    emit w3->otherReport(u"未找到设备"_s);
    FakeWorker *w2 = firstConnect(2);
    emit w2->otherReport(u"正在连接"_s);
    emit w2->otherReport(u"未找到设备：端口已被占用"_s);
    QVERIFY(!rig.gateway->slot(2).connected);
    QTRY_COMPARE_WITH_TIMEOUT(connects(w2), 2, 5000);
    emit w2->otherReport(u"正在连接"_s);
    emit w2->otherReport(u"未找到设备：端口已被占用"_s);
    QTRY_COMPARE_WITH_TIMEOUT(connects(w2), 3, 5000);
    emit w2->otherReport(u"成功连接设备SIM900(COM2)"_s);
    QVERIFY(rig.gateway->slot(2).connected);
    // One line for the failure and one for the connect: attempts are not logged, and a device
    // that was never connected is not "back".
    QCOMPARE(rig.logged(u"未找到设备"_s), 2);
    QCOMPARE(rig.logged(u"成功连接设备"_s), 1);
    QCOMPARE(connects(w3), 1);
    QCOMPARE(rig.logged(u"设备已恢复连接"_s), 0);
    // The operator's stop ends the attempts.
    rig.gateway->stopDevice(2);
    QVERIFY(!rig.gateway->slot(2).recovery.lost);
}

void TstDeviceRecovery::lostWorkerServerIsReplaced()
{
    // A worker server that died left every device down until an operator restarted the server.
    Rig rig;
    rig.queue(2);
    FakeWorker *w1 = rig.connect(1);
    FakeWorker *w2 = rig.connect(2);
    // Slot 1's worker was still waiting before the exchange; slot 2's was sending.
    emit w1->otherReport(u"正在候时"_s);
    emit w2->otherReport(u"正在候时"_s);
    emit w2->otherReport(u"正在发送"_s);
    rig.factory.failWith = 462;
    emit w1->serverLost();
    emit w2->serverLost();
    QVERIFY(!rig.gateway->slot(1).worker && !rig.gateway->slot(2).worker);
    // Nothing of row 1 went: free again. Row 2 may have gone: parked, not sent twice.
    QCOMPARE(rig.store.outboxRow(1)->m.comPort, 0);
    QCOMPARE(rig.store.badIds, QList<qint64>{2});
    QVERIFY(rig.store.badWhy.value(0).startsWith(u"发送结果未知"_s));

    // The first tries find no worker server; a later one gets fresh workers that connect.
    QTest::qWait(1500);
    QVERIFY(!rig.gateway->slot(1).worker);
    rig.factory.failWith = 0;
    QTRY_VERIFY_WITH_TIMEOUT(rig.gateway->slot(1).worker && rig.gateway->slot(2).worker, 5000);
    QCOMPARE(connects(rig.worker(1)), 1);
    QCOMPARE(rig.logged(u"短信工作服务已中断"_s), 2);
    QCOMPARE(rig.logged(u"无法创建工作对象"_s), 0);
    emit rig.worker(1)->otherReport(u"成功连接设备SIM900(COM1)"_s);
    QCOMPARE(rig.worker(1)->sent, QStringList{u"1"_s});
}

void TstDeviceRecovery::stoppedDeviceStaysStopped()
{
    Rig rig;
    rig.queue(1);
    FakeWorker *w = rig.connect(6);
    emit w->sendReport(u"1"_s, lonvera::control::kLinkLostText);
    rig.gateway->stopDevice(6);
    QTest::qWait(1500);
    QVERIFY(!rig.gateway->slot(6).worker);
    QCOMPARE(rig.factory.created.size(), std::size_t(1));
}

void TstDeviceRecovery::hungWorkerServerIsAskedWhileMessagesAreOut()
{
    Rig rig;
    rig.queue(1);
    FakeWorker *w = rig.connect(1);
    FakeWorker *idle = rig.connect(2);
    rig.gateway->dispatchTick();
    rig.gateway->dispatchTick();
    QCOMPARE(w->pings + idle->pings, 1);
    emit w->sendReport(u"1"_s, u"y"_s);
    QTest::qWait(5100);
    rig.gateway->dispatchTick();
    // Nothing is out: nothing to wait for, nothing to ask.
    QCOMPARE(w->pings + idle->pings, 1);
}

void TstDeviceRecovery::rowNoDeviceTakesIsReportedOnce_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<int>("comPort");
    QTest::addColumn<QString>("connectedRanges"); // of the device on COM3; empty: none connected
    QTest::addColumn<QString>("setting");         // a set.ini line "section/key=value"
    QTest::addColumn<QString>("why");
    const QString all = u"|不限范围|"_s;
    QTest::newRow("port that no device names")
        << u"13800000004"_s << 9 << all << QString() << u"其端口 COM9 不存在"_s;
    QTest::newRow("port not connected")
        << u"13800000004"_s << 5 << all << QString() << u"其端口 COM5 未连接"_s;
    QTest::newRow("no device at all")
        << u"13800000004"_s << 0 << QString() << QString() << u"没有已连接的设备"_s;
    QTest::newRow("no range covers the number")
        << u"10086"_s << 0 << u"|移动|联通|"_s << QString() << u"没有设备的发送范围包含该号码"_s;
    QTest::newRow("its port's range does not cover it")
        << u"10086"_s << 3 << u"|移动|"_s << QString() << u"其端口 COM3 的发送范围不包含该号码"_s;
    QTest::newRow("receive only") << u"13800000004"_s << 0 << all << u"ocx/myserver=2"_s
                                  << u"服务设为只收不发"_s;
}

void TstDeviceRecovery::rowNoDeviceTakesIsReportedOnce()
{
    // Rows that could never be sent waited for ever without a word.
    QFETCH(QString, number);
    QFETCH(int, comPort);
    QFETCH(QString, connectedRanges);
    QFETCH(QString, setting);
    QFETCH(QString, why);
    Rig rig;
    rig.store.deviceRows[4].inUseing = u"启用"_s; // COM5 is in use, but never connected
    if (!setting.isEmpty()) {
        ServerSettings(rig.dir.path())
            .setValue(setting.section(u'/', 0, 0), setting.section(u'/', 1).section(u'=', 0, 0),
                      setting.section(u'=', 1));
    }
    rig.store.addOutbox(4, number, rig.clock.addSecs(-11 * 60), comPort);
    if (!connectedRanges.isEmpty()) {
        rig.gateway->connectDevice(3, 3, u"9600"_s, QString(), connectedRanges, 0);
        emit rig.worker(3)->otherReport(u"成功连接设备SIM900(COM3)"_s);
    }
    QVERIFY(rig.store.outboxRow(4)); // nothing took it
    rig.gateway->updateTableCounters();
    const QStringList lines = rig.view.runLog().lines().filter(u"待发信息 4["_s + number + u"]"_s);
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines[0].endsWith(why), qPrintable(lines[0]));
    QVERIFY(lines[0].contains(u"已等待 11 分钟"_s));
    // The counters caption carries the same words while the row waits.
    const QString warning = lines[0].mid(lines[0].indexOf(u"待发信息"_s));
    QVERIFY2(rig.view.countersCaption().endsWith(u"]　"_s + warning),
             qPrintable(rig.view.countersCaption()));
    rig.gateway->updateTableCounters();
    QCOMPARE(rig.view.runLog().lines().filter(u"待发信息 4"_s).size(), 1);
    rig.store.outbox.clear();
    rig.gateway->updateTableCounters();
    QCOMPARE(rig.view.countersCaption(), u"实时运行记录[待发0,已发0,收到0,失败0,来电0]"_s);
}

void TstDeviceRecovery::rowsADeviceWillTakeAreNotReported()
{
    // A due row that a free device covers is only in the queue; a row held off by the network's
    // temporary refusal says so.
    Rig rig;
    rig.store.addOutbox(4, u"13800000004"_s, rig.clock.addSecs(-11 * 60), 0);
    FakeWorker *w = rig.connect(3);
    QCOMPARE(w->sent, QStringList{u"4"_s});
    rig.gateway->updateTableCounters();
    QCOMPARE(rig.logged(u"待发信息 4"_s), 0);
    emit w->sendReport(u"4"_s, u"\r\n+CMS ERROR: 331\r\n"_s);
    rig.gateway->updateTableCounters();
    QCOMPARE(rig.logged(u"待发信息 4[13800000004] 已等待 11 分钟仍无设备发送：设备暂时无法发送："
                        u"无网络服务(+CMS ERROR: 331)"_s),
             1);
}

QTEST_GUILESS_MAIN(TstDeviceRecovery)
#include "tst_device_recovery.moc"
