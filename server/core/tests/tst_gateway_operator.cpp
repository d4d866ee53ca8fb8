// What the window and its dialogs ask of the gateway: one device record, the live sent counter,
// the device list read again, and in-memory settings that take effect at once.
#include "gateway_rig.h"

#include <QTest>

using namespace lonvera::server;
using namespace lonvera::server::testing;
using namespace Qt::StringLiterals;

namespace {

struct Rig : GatewayRig<>
{
    Rig() : GatewayRig({}, 4, u"启用"_s)
    {
        for (DeviceRecord &d : store.deviceRows)
            d.msgMax = 10;
        start();
    }
};

} // namespace

class TstGatewayOperator : public QObject
{
    Q_OBJECT
private slots:
    void refillKeepsLiveColumnsOfConnectedRows();
    void sentCountSetByTheDialogCountsForTheLimit();
    void sendingWindowTakesEffectAtOnce();
    void deviceRecordOfMissingRowSaysSo();
};

void TstGatewayOperator::refillKeepsLiveColumnsOfConnectedRows()
{
    Rig rig;
    FakeWorker *w = rig.connect(2);
    emit w->statusChanged(false);
    rig.gateway->setSentCount(2, 5);
    rig.store.deviceRows[1].rate = u"115200"_s;
    rig.store.deviceRows[2].setName = u"备用"_s;
    rig.gateway->refillDeviceList();
    QCOMPARE(rig.view.cell(2, ColumnModel), u" [SIM900]"_s);
    QCOMPARE(rig.view.row(2)->status, u"设备2 [空闲]"_s);
    QCOMPARE(rig.view.cell(2, ColumnRate), u"115200"_s);
    // The live count, not the stored one that waits for the next save.
    QCOMPARE(rig.view.cell(2, ColumnSent), u"5"_s);
    QCOMPARE(rig.view.cell(3, ColumnName), u"备用"_s);
    QCOMPARE(rig.view.cell(3, ColumnModel), u"--"_s);
    QVERIFY(rig.view.row(3)->status.isEmpty());
}

void TstGatewayOperator::sentCountSetByTheDialogCountsForTheLimit()
{
    Rig rig;
    rig.gateway->setSentCount(1, 9);
    QCOMPARE(rig.gateway->sentCount(1), 9);
    QCOMPARE(rig.view.cell(1, ColumnSent), u"9"_s);
    // The tenth message reaches the limit of 10.
    rig.store.addOutbox(1, u"13800000001"_s, rig.clock.addSecs(-60));
    FakeWorker *w = rig.connect(1);
    QCOMPARE(w->sent, QStringList{u"1"_s});
    emit w->sendReport(u"1"_s, u"y"_s);
    QCOMPARE(rig.gateway->sentCount(1), 10);
    QVERIFY(!rig.gateway->slot(1).worker);
    QCOMPARE(rig.view.row(1)->status, u"设备1 [暂停]"_s);
    // An id no row holds changes nothing.
    rig.gateway->setSentCount(17, 3);
    for (int n = 1; n <= 4; ++n)
        QVERIFY(rig.gateway->sentCount(n) != 3);
}

void TstGatewayOperator::sendingWindowTakesEffectAtOnce()
{
    Rig rig;
    rig.store.addOutbox(1, u"13800000001"_s, rig.clock.addSecs(-60));
    FakeWorker *w = rig.connect(1);
    QCOMPARE(w->sent, QStringList{u"1"_s});
    emit w->sendReport(u"1"_s, u"y"_s);
    LiveSettings live = rig.gateway->liveSettings();
    QCOMPARE(live.sendEnd, 24);
    // 12 o'clock is outside a window from 8 to 11.
    live.justTm = 1;
    live.sendIn = 8;
    live.sendEnd = 11;
    live.soundErr = true;
    rig.gateway->applyLiveSettings(live);
    QCOMPARE(rig.gateway->liveSettings(), live);
    rig.store.addOutbox(2, u"13800000001"_s, rig.clock.addSecs(-60));
    rig.gateway->dispatchTick();
    QCOMPARE(w->sent.size(), 1);
    live.sendEnd = 12;
    rig.gateway->applyLiveSettings(live);
    rig.gateway->dispatchTick();
    QCOMPARE(w->sent, (QStringList{u"1"_s, u"2"_s}));
}

void TstGatewayOperator::deviceRecordOfMissingRowSaysSo()
{
    Rig rig;
    QStringList shown;
    QObject::connect(&rig.view, &GatewayView::messageShown,
                     [&](const QString &text) { shown << text; });
    QVERIFY(rig.gateway->deviceRecordOfRow(3));
    rig.store.deviceRows.removeAt(2);
    QVERIFY(!rig.gateway->deviceRecordOfRow(3));
    QCOMPARE(shown.size(), 1);
    QVERIFY(rig.view.runLog().lines().last().contains(shown[0]));
    QVERIFY(!rig.gateway->deviceRecordOfRow(9)); // no such row: nothing to say
    QCOMPARE(shown.size(), 1);
}

QTEST_GUILESS_MAIN(TstGatewayOperator)
#include "tst_gateway_operator.moc"
