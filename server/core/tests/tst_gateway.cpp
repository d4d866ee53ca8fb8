// The gateway core against a fake worker and an in-memory store: device pool, dispatcher, event
// handlers, limits, standby search, counters and the close sequence.
#include "gateway_rig.h"

#include <QSignalSpy>
#include <QTest>

using namespace lonvera::server;
using namespace lonvera::server::testing;
using namespace Qt::StringLiterals;

namespace {

struct Rig : GatewayRig<>
{
    using GatewayRig::GatewayRig;
    void use(int id, const QString &pace = u"不限速"_s)
    {
        store.deviceRows[id - 1].inUseing = u"启用"_s;
        store.deviceRows[id - 1].pace = pace;
    }
};

} // namespace

class TstGateway : public QObject
{
    Q_OBJECT
private slots:
    void paceToPause_data();
    void paceToPause();
    void connectAllKeepsSlotNumbers();
    void standbySearch_data();
    void standbySearch();
    void limitStopsAndOpensNext();
    void statusTexts_data();
    void statusTexts();
    void receivedRecords();
    void reportsGiveOneRowEach();
    void eighthResultReads();
    void sendingWindow_data();
    void sendingWindow();
    void receiveOnlySendsNothing();
    void busyKeepsRowWithPort();
    void claimedRowStaysWhileStopped();
    void failedMoveKeepsRowAndDoesNotResend();
    void failedSendGoesToBadOutbox();
    void busyModemKeepsRowForRetry();
    void serverLostFreesSlot();
    void countersAre32Bit();
    void tableCountersCaption();
    void runLogTrim();
    void closeSequence_data();
    void closeSequence();
    void closeHandsOutNothingNew();
};

void TstGateway::paceToPause_data()
{
    QTest::addColumn<QString>("pace");
    QTest::addColumn<int>("pause");
    QTest::newRow("unlimited") << u"不限速"_s << 0;
    QTest::newRow("fast") << u"快速度"_s << 1;
    QTest::newRow("medium") << u"中速度"_s << 3;
    QTest::newRow("slow") << u"慢速度"_s << 10;
    QTest::newRow("slower") << u"较慢速"_s << 28;
    QTest::newRow("slowest") << u"极慢速"_s << 62;
    QTest::newRow("unknown") << u"飞快"_s << 0;
}

void TstGateway::paceToPause()
{
    QFETCH(QString, pace);
    QFETCH(int, pause);
    QCOMPARE(Gateway::paceToPause(pace), pause);
}

void TstGateway::connectAllKeepsSlotNumbers()
{
    Rig rig;
    rig.use(3, u"中速度"_s);
    rig.use(12);
    rig.store.deviceRows[11].forNo = u"|移动|"_s;
    rig.start();
    rig.gateway->connectAll();
    QVERIFY(!rig.gateway->slot(1).worker);
    QVERIFY(!rig.gateway->slot(2).worker);
    QVERIFY(rig.worker(3));
    QCOMPARE(rig.worker(3)->port, 3);
    QCOMPARE(rig.worker(3)->settings, u"9600,n,8,1"_s);
    QCOMPARE(rig.worker(3)->calls, QStringList{u"Connect 9 1"_s});
    QCOMPARE(rig.gateway->slot(3).pause, 3);
    QCOMPARE(rig.worker(12)->port, 12);
    QCOMPARE(rig.gateway->rangeText(12), u"|移动|"_s);
    QVERIFY(rig.logLines().last().endsWith(u"：正在连接设备..."_s));
    // Not connected until the worker says so: the tick leaves it alone.
    QVERIFY(!rig.gateway->slot(3).connected);
}

void TstGateway::standbySearch_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<QList<int>>("candidates"); // in-use devices
    QTest::addColumn<QList<int>>("connected");
    QTest::addColumn<int>("expected"); // 0: none
    QTest::newRow("from 16 starts at the first row") << 16 << QList<int>{1, 5} << QList<int>{} << 1;
    QTest::newRow("from 3 looks at 4 first") << 3 << QList<int>{2, 9} << QList<int>{} << 9;
    QTest::newRow("from 3 wraps to 1 and 2") << 3 << QList<int>{2} << QList<int>{} << 2;
    QTest::newRow("connected ones are skipped") << 3 << QList<int>{4, 6} << QList<int>{4} << 6;
    QTest::newRow("stops at its own row") << 3 << QList<int>{3} << QList<int>{} << 0;
}

void TstGateway::standbySearch()
{
    QFETCH(int, from);
    QFETCH(QList<int>, candidates);
    QFETCH(QList<int>, connected);
    QFETCH(int, expected);
    Rig rig;
    for (int id : candidates)
        rig.use(id);
    rig.start();
    for (int id : connected)
        rig.connect(id);
    const auto before = rig.factory.created.size();
    rig.gateway->openStandbyDevice(from);
    if (expected == 0) {
        QCOMPARE(rig.factory.created.size(), before);
    } else {
        QCOMPARE(rig.factory.created.size(), before + 1);
        QCOMPARE(rig.factory.created.back()->port, expected);
    }
}

void TstGateway::limitStopsAndOpensNext()
{
    Rig rig({u"[AUTOC]"_s, u"AutoOpenSet=1"_s, u"[Sound]"_s, u"limit_sound=1"_s});
    rig.use(1);
    rig.use(2);
    rig.store.deviceRows[0].msgMax = 1;
    rig.start();
    QSignalSpy sounds(&rig.view, &GatewayView::soundRequested);
    rig.store.addOutbox(7, u"13800000001"_s, rig.clock.addSecs(-60));
    FakeWorker *w = rig.connect(1);
    QCOMPARE(w->sent, QStringList{u"7"_s});
    emit w->sendReport(u"7"_s, u"y"_s);
    QCOMPARE(rig.gateway->sentCount(1), 1);
    QVERIFY(!rig.gateway->slot(1).worker);
    QCOMPARE(w->closeCount, 1);
    QCOMPARE(rig.view.row(1)->status, u"设备1 [暂停]"_s);
    QCOMPARE(rig.view.cell(1, ColumnModel), u"--"_s);
    QCOMPARE(rig.view.cell(1, ColumnPace), u"XXX"_s);
    QCOMPARE(rig.view.cell(1, ColumnSent), u"1"_s);
    QCOMPARE(sounds.size(), 1);
    QVERIFY(sounds[0][0].toString().endsWith(u"Sendend.wav"_s));
    QVERIFY(rig.worker(2)); // the standby device was connected
    QCOMPARE(rig.store.sentIds, QList<qint64>{7});
}

void TstGateway::statusTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("logged");
    QTest::addColumn<QString>("model");
    QTest::newRow("waiting") << u"正在候时"_s << false << u"--"_s;
    QTest::newRow("second attempt") << u"正在发送(2)"_s << false << u"--"_s;
    QTest::newRow("connecting") << u"正在连接"_s << true << u"--"_s;
    QTest::newRow("multiband") << u"成功连接设备MULTIBAND  900E  1800(COM1)"_s << true
                               << u" [WAVECOM]"_s;
    QTest::newRow("model") << u"成功连接设备SIM900(COM1)"_s << true << u" [SIM900]"_s;
}

void TstGateway::statusTexts()
{
    QFETCH(QString, text);
    QFETCH(bool, logged);
    QFETCH(QString, model);
    Rig rig;
    rig.start();
    rig.gateway->connectDevice(1, 1, u"9600"_s, {}, u"|不限范围|"_s, 0);
    const auto lines = rig.logLines().size();
    emit rig.worker(1)->otherReport(text);
    QCOMPARE(rig.logLines().size() > lines, logged);
    if (logged)
        QVERIFY(rig.logLines()[lines].endsWith(u"：设备1："_s + text));
    QCOMPARE(rig.view.cell(1, ColumnModel), model);
    QCOMPARE(rig.gateway->slot(1).connected, model != u"--"_s);
    QCOMPARE(rig.gateway->dispatchTickActive(), model != u"--"_s);
}

void TstGateway::receivedRecords()
{
    Rig rig({u"[Sound]"_s, u"InMsg=1"_s});
    rig.start();
    rig.connect(2);
    QSignalSpy sounds(&rig.view, &GatewayView::soundRequested);
    const QChar r(1), f(2);
    const QString sms = u"13800000001"_s + f + u"hello"_s + f + u"2024-05-06 10:11:12"_s + r +
                        u"13800000002"_s + f + u"bad"_s + f + u"yesterday"_s + r +
                        u"13800000003"_s + f + u"again"_s + f + u"2024-5-6 9:1:2"_s + r + u"x"_s;
    emit rig.worker(2)->messagesReceived(sms);
    QCOMPARE(rig.store.inbox.size(), 3);
    QCOMPARE(rig.store.inbox[0],
             (QStringList{u"13800000001"_s, u"hello"_s, u"2024-05-06 10:11:12"_s, u"2"_s}));
    // The last record lacks text and time: it keeps the previous record's values.
    QCOMPARE(rig.store.inbox[2], (QStringList{u"x"_s, u"again"_s, u"2024-5-6 9:1:2"_s, u"2"_s}));
    QVERIFY(rig.logLines().last().endsWith(u"：设备2：收到 3 条新信息(COM2)"_s));
    QCOMPARE(sounds.size(), 1);

    // Nothing stored: no line, no sound.
    emit rig.worker(2)->messagesReceived(u"0"_s);
    QCOMPARE(rig.store.inbox.size(), 3);
    QCOMPARE(sounds.size(), 1);
}

void TstGateway::reportsGiveOneRowEach()
{
    Rig rig;
    rig.start();
    rig.connect(1);
    const QChar r(2), f(1);
    const QString text = u"已发送至：13800000001"_s + f + u"24-05-06 10:00:00"_s + f +
                         u"24-05-06 10:00:05"_s + r + u"未发送至：13800000002"_s + f + u"a"_s + f +
                         u"b"_s;
    emit rig.worker(1)->receiptsReceived(text);
    QCOMPARE(rig.store.reports.size(), 2);
    QCOMPARE(rig.store.reports[1], (QStringList{u"未发送至：13800000002"_s, u"a"_s, u"b"_s}));
    QVERIFY(rig.logLines().last().endsWith(text));

    emit rig.worker(1)->callReceived(u"13912345678"_s);
    QCOMPARE(rig.store.calls, (QList<QStringList>{{u"13912345678"_s, u"1"_s}}));
    QVERIFY(rig.logLines().last().endsWith(u"：设备1：来电 13912345678(COM1)"_s));
}

void TstGateway::eighthResultReads()
{
    Rig rig;
    rig.start();
    FakeWorker *a = rig.connect(1);
    FakeWorker *b = rig.connect(2);
    a->calls.clear();
    b->calls.clear();
    for (int i = 1; i <= 16; ++i)
        emit(i % 2 ? a : b)->sendReport(QString::number(100 + i), u"y"_s);
    // Results 8 and 16 come from device 2 (even counts).
    QCOMPARE(a->calls.count(u"ReadMsg"_s), 0);
    QCOMPARE(b->calls.count(u"ReadMsg"_s), 2);
    QCOMPARE(rig.gateway->resultCounter(), 16);
}

void TstGateway::sendingWindow_data()
{
    QTest::addColumn<int>("hour");
    QTest::addColumn<bool>("sends");
    QTest::newRow("07:59") << 7 << false;
    QTest::newRow("08:00") << 8 << true;
    QTest::newRow("20:59") << 20 << true;
    QTest::newRow("21:00") << 21 << false;
    QTest::newRow("03:00") << 3 << false;
}

void TstGateway::sendingWindow()
{
    QFETCH(int, hour);
    QFETCH(bool, sends);
    Rig rig({u"[Pull]"_s, u"sendin=8"_s, u"sendend=20"_s, u"JustTm=1"_s});
    rig.clock = QDateTime(QDate(2024, 5, 6), QTime(hour, 59, 0));
    rig.store.addOutbox(1, u"13800000001"_s, rig.clock.addDays(-1));
    rig.start();
    FakeWorker *w = rig.connect(1);
    QCOMPARE(w->sent.size(), sends ? 1 : 0);
    QCOMPARE(rig.gateway->slot(1).idle, !sends);
}

void TstGateway::receiveOnlySendsNothing()
{
    Rig rig({u"[ocx]"_s, u"myserver=2"_s});
    rig.store.addOutbox(1, u"13800000001"_s, rig.clock.addSecs(-5));
    rig.start();
    FakeWorker *w = rig.connect(1);
    rig.gateway->dispatchTick();
    QCOMPARE(w->sent.size(), 0);
    QCOMPARE(rig.store.claims, 0);
    QCOMPARE(rig.store.outbox[0].m.comPort, 0);
    QVERIFY(w->calls.contains(u"ReadMsg"_s));
    // Back to both directions: the same slot sends on the next tick.
    QFile ini(rig.dir.filePath(u"set.ini"_s));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[ocx]\nmyserver=0\n");
    ini.close();
    rig.gateway->dispatchTick();
    QCOMPARE(w->sent, QStringList{u"1"_s});
}

void TstGateway::busyKeepsRowWithPort()
{
    Rig rig;
    rig.store.addOutbox(1, u"13800000001"_s, rig.clock.addSecs(-5));
    rig.start();
    FakeWorker *w = rig.connect(4, u"Busy"_s);
    QCOMPARE(rig.store.outbox[0].m.comPort, 4);
    QVERIFY(rig.gateway->slot(4).idle);
    w->nextAnswer = u"y"_s;
    rig.gateway->dispatchTick();
    QCOMPARE(w->sent, (QStringList{u"1"_s, u"1"_s}));
    QVERIFY(!rig.gateway->slot(4).idle);
}

void TstGateway::claimedRowStaysWhileStopped()
{
    Rig rig;
    rig.store.addOutbox(1, u"13800000001"_s, rig.clock.addSecs(-5));
    rig.start();
    // The worker answers "Busy": the row is claimed, but no message is out to wait for.
    FakeWorker *w = rig.connect(5, u"Busy"_s);
    QCOMPARE(w->sent.size(), 1);
    rig.gateway->pauseDeviceRow(5);
    QCOMPARE(w->closeCount, 1);
    QCOMPARE(rig.view.row(5)->status, u"设备5 [暂停]"_s);
    QVERIFY(rig.store.outboxRow(1));
    QCOMPARE(rig.store.outboxRow(1)->m.comPort, 5);
    // Another port never takes it; the tick leaves the stopped slot alone.
    FakeWorker *other = rig.connect(6);
    rig.gateway->dispatchTick();
    QCOMPARE(other->sent.size(), 0);
    QVERIFY(rig.store.outboxRow(1));
}

void TstGateway::failedMoveKeepsRowAndDoesNotResend()
{
    // A result that cannot be written must neither lose the row nor send it again.
    Rig rig;
    rig.store.addOutbox(1, u"13800000001"_s, rig.clock.addSecs(-5));
    rig.store.addOutbox(2, u"13800000002"_s, rig.clock.addSecs(-4));
    rig.start();
    FakeWorker *w = rig.connect(1);
    rig.store.failMoves = true;
    emit w->sendReport(u"1"_s, u"y"_s);
    QVERIFY(rig.store.outboxRow(1));
    QVERIFY(rig.logLines().last().contains(u"disk full"_s));
    rig.gateway->dispatchTick();
    rig.gateway->dispatchTick();
    QCOMPARE(w->sent, QStringList{u"1"_s});
    rig.store.failMoves = false;
    rig.gateway->dispatchTick();
    QCOMPARE(rig.store.sentIds, QList<qint64>{1});
    QCOMPARE(w->sent, (QStringList{u"1"_s, u"2"_s}));
    QCOMPARE(rig.gateway->sentCount(1), 1);
}

void TstGateway::failedSendGoesToBadOutbox()
{
    Rig rig({u"[Sound]"_s, u"SoundErr=1"_s});
    rig.store.addOutbox(1, u"13800000001"_s, rig.clock.addSecs(-5));
    rig.store.addOutbox(2, u"13800000002"_s, rig.clock.addSecs(-4));
    rig.start();
    QSignalSpy sounds(&rig.view, &GatewayView::soundRequested);
    FakeWorker *w = rig.connect(3);
    emit w->sendReport(u"1"_s, u"发送失败"_s);
    QCOMPARE(rig.store.badIds, QList<qint64>{1});
    QCOMPARE(rig.store.badWhy, QStringList{u"发送失败"_s});
    QVERIFY(rig.logLines().last().endsWith(u"：设备3：发送 1 条信息失败[13800000001](COM3)"_s));
    QCOMPARE(sounds.size(), 1);
    QCOMPARE(w->sent, (QStringList{u"1"_s, u"2"_s}));
    QCOMPARE(rig.gateway->sentCount(3), 0);
}

void TstGateway::busyModemKeepsRowForRetry()
{
    // "B": the modem was busy and sent nothing; the row must not end in badoutbox.
    Rig rig;
    rig.store.addOutbox(1, u"13800000001"_s, rig.clock.addSecs(-5));
    rig.store.addOutbox(2, u"13800000002"_s, rig.clock.addSecs(-4));
    rig.start();
    FakeWorker *w = rig.connect(3);
    emit w->sendReport(u"1"_s, u"B"_s);
    QVERIFY(rig.store.badIds.isEmpty());
    QCOMPARE(rig.store.outboxRow(1)->m.comPort, 3);
    QCOMPARE(w->sent, QStringList{u"1"_s});
    rig.gateway->dispatchTick();
    QCOMPARE(w->sent, (QStringList{u"1"_s, u"1"_s}));
    emit w->sendReport(u"1"_s, u"y"_s);
    QCOMPARE(rig.store.sentIds, QList<qint64>{1});
    QCOMPARE(w->sent, (QStringList{u"1"_s, u"1"_s, u"2"_s}));
}

void TstGateway::serverLostFreesSlot()
{
    Rig rig;
    rig.start();
    FakeWorker *w = rig.connect(2);
    emit w->statusChanged(true);
    QVERIFY(rig.view.busyIcon());
    QCOMPARE(rig.view.trayTip(), u"短信服务已启动\r\r端口2工作中"_s);
    emit w->serverLost();
    QVERIFY(!rig.gateway->slot(2).worker);
    QVERIFY(!rig.gateway->slot(2).connected);
    QCOMPARE(rig.view.cell(2, ColumnModel), u"--"_s);
    QCOMPARE(rig.view.row(2)->status, u"设备2 [--]"_s);
    QCOMPARE(rig.view.light(2), Light::NotConnected);
    QVERIFY(!rig.view.busyIcon());
    QCOMPARE(rig.view.trayTip(), u"短信服务已启动\r状态：空闲"_s);
    QVERIFY(rig.logLines().last().contains(u"：设备2："_s));
}

void TstGateway::countersAre32Bit()
{
    Rig rig;
    rig.store.deviceRows[0].msgSendedCount = 32767;
    rig.store.deviceRows[16 - 1].msgSendedCount = 5;
    DeviceRecord extra = rig.store.deviceRows[0];
    extra.id = 17;
    extra.msgSendedCount = 99;
    rig.store.deviceRows << extra;
    rig.store.addOutbox(1, u"13800000001"_s, rig.clock.addSecs(-5));
    rig.start();
    QCOMPARE(rig.gateway->sentCount(16), 5);
    rig.connect(1);
    emit rig.worker(1)->sendReport(u"1"_s, u"y"_s);
    QCOMPARE(rig.gateway->sentCount(1), 32768);
    QVERIFY(rig.gateway->requestClose());
    QCOMPARE(rig.store.deviceRows[0].msgSendedCount, 32768);
    QCOMPARE(rig.store.deviceRows[16].msgSendedCount, 99); // id 17 is not touched
}

void TstGateway::tableCountersCaption()
{
    Rig rig;
    rig.store.addOutbox(1, u"1"_s, rig.clock);
    rig.start();
    QCOMPARE(rig.view.countersCaption(), u"实时运行记录[待发1,已发0,收到0,失败0,来电0]"_s);
    rig.store.failCounts = true;
    rig.gateway->updateTableCounters();
    QCOMPARE(rig.view.countersCaption(), u"实时运行记录[待发1,已发0,收到0,失败0,来电]"_s);
}

void TstGateway::runLogTrim()
{
    Rig rig({u"[AUTOC]"_s, u"report=1"_s});
    rig.start();
    QVERIFY(QDir(rig.dir.path()).mkdir(u"report"_s));
    RunLog &log = rig.view.runLog();
    log.clear();
    for (int i = 0; i < 3000; ++i)
        rig.gateway->log(u"：line"_s);
    rig.gateway->trimRunLog();
    QCOMPARE(log.lines().size(), 3000);
    rig.gateway->log(u"：line 3001"_s);
    rig.gateway->trimRunLog();
    QCOMPARE(log.lines().size(), 0);
    rig.gateway->log(u"：after"_s);
    QVERIFY(rig.gateway->requestClose());
    QFile file(RunLog::reportFilePath(rig.gateway->reportFolder(), QDate::currentDate()));
    QVERIFY(!file.fileName().contains(u'/' + QDate::currentDate().toString(u"yyyy/MM/dd"_s)));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3001 + 3); // a trim, then "after" and the two closing lines
    QVERIFY(lines.last().endsWith(u"：关闭短信服务器"_s));
}

void TstGateway::closeSequence_data()
{
    QTest::addColumn<QString>("confirm");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<bool>("asked");
    QTest::newRow("no confirm") << u""_s << false << true << false;
    QTest::newRow("confirm yes") << u"1"_s << true << true << true;
    QTest::newRow("confirm no") << u"1"_s << false << false << true;
}

void TstGateway::closeSequence()
{
    QFETCH(QString, confirm);
    QFETCH(bool, answer);
    QFETCH(bool, closes);
    QFETCH(bool, asked);
    Rig rig({u"[AUTOC]"_s, u"CloseConfirm="_s + confirm});
    rig.start();
    FakeWorker *a = rig.connect(1);
    FakeWorker *b = rig.connect(9);
    QPointer<FakeWorker> guardA(a);
    bool wasAsked = false;
    rig.view.setAsker([&](const QString &q) {
        wasAsked = q.startsWith(u"确实关闭短信服务器吗？"_s);
        return answer;
    });
    const auto lines = rig.logLines().size();
    QSignalSpy closed(rig.gateway.get(), &Gateway::closed);
    QSignalSpy minimise(&rig.view, &GatewayView::minimiseRequested);
    QVERIFY(!rig.gateway->requestClose(true)); // the close box only minimises
    QCOMPARE(minimise.size(), 1);
    QCOMPARE(wasAsked, false);
    QCOMPARE(rig.gateway->requestClose(), closes);
    QCOMPARE(wasAsked, asked);
    if (!closes) {
        QCOMPARE(rig.logLines().size(), lines);
        QVERIFY(rig.gateway->slot(1).worker);
        QCOMPARE(a->closeCount, 0);
        return;
    }
    QCOMPARE(a->closeCount, 3);
    QCOMPARE(b->closeCount, 3);
    QVERIFY(!rig.gateway->slot(1).worker);
    QVERIFY(rig.gateway->shutdownFlag());
    QCOMPARE(rig.factory.endCount, 1);
    QCOMPARE(closed.size(), 1);
    QVERIFY(rig.logLines()[lines].endsWith(u"：正在关闭短信服务，请稍候..."_s));
    QVERIFY(rig.logLines().last().endsWith(u"：关闭短信服务器"_s));
    QCOMPARE(rig.store.saves, 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(guardA.isNull());  // released
    rig.gateway->connectAll(); // after the shutdown flag nothing connects
    QCOMPARE(rig.factory.created.size(), std::size_t(2));
}

void TstGateway::closeHandsOutNothingNew()
{
    // While the ports close, a result is still recorded but the next row is not handed out, and
    // a second close request (a second signal) does not run the sequence again.
    Rig rig;
    rig.store.addOutbox(1, u"13800000001"_s, rig.clock.addSecs(-5));
    rig.store.addOutbox(2, u"13800000002"_s, rig.clock.addSecs(-4));
    rig.start();
    FakeWorker *w = rig.connect(1);
    QCOMPARE(w->sent, QStringList{u"1"_s});
    QSignalSpy closed(rig.gateway.get(), &Gateway::closed);
    Gateway *gateway = rig.gateway.get();
    QMetaObject::invokeMethod(
        w, [w] { emit w->sendReport(u"1"_s, u"y"_s); }, Qt::QueuedConnection);
    QMetaObject::invokeMethod(
        gateway, [gateway] { QVERIFY(gateway->requestClose()); }, Qt::QueuedConnection);
    QVERIFY(gateway->requestClose());
    QCOMPARE(rig.store.sentIds, QList<qint64>{1});
    QCOMPARE(w->sent, QStringList{u"1"_s});
    QCOMPARE(rig.store.outboxRow(2)->m.comPort, 0);
    QCOMPARE(closed.size(), 1);
    QCOMPARE(rig.factory.endCount, 1);
    QCOMPARE(rig.logLines().filter(u"关闭短信服务器"_s).size(), 1);
}

QTEST_GUILESS_MAIN(TstGateway)
#include "tst_gateway.moc"
