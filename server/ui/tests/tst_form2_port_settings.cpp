// The port settings dialog on the real core, fake workers and the SQLite database: the record
// shown and written, the range column, the two number checks, the live sent counter, the row
// refreshed as a refill of the list would show it, and the rows it refuses to open.
#include "window_rig.h"

#include "server/ui/form2_port_settings.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

using namespace lonvera;
using namespace lonvera::ui;
using namespace lonvera::ui::test;
using namespace Qt::StringLiterals;

namespace {

const QString kLimitNotNumber = u"“许可发送条数”必须为数字，请检查"_s;
const QString kSentNotNumber = u"“已发送条数”必须为数字，请检查"_s;

struct Rig : WindowRig
{
    Rig()
    {
        start();
        form->setDialogHooks(programDialogs());
    }
    Form2 *open(int row)
    {
        messages.clear();
        select(row);
        form->openPortSettings();
        return form->findChild<Form2 *>();
    }
    QString column(int id, const QString &name)
    {
        return scalar(u"select %1 from comset where id=%2"_s.arg(name).arg(id));
    }
    QString record(int id)
    {
        return scalar(u"select id||SetName||InUseing||com||rate||serno||FOR_no||pace||msgmax||"
                      u"MsgSendedCount from comset where id=%1"_s.arg(id));
    }
};

template<typename T> T *control(QWidget *dialog, const QString &name)
{
    T *c = dialog->findChild<T *>(name);
    if (!c)
        qFatal("no control %s", qPrintable(name));
    return c;
}

QList<bool> ranges(Form2 *f)
{
    QList<bool> checked;
    for (const char *name : {"Check1", "Check2", "Check3", "Check4"})
        checked << control<QCheckBox>(f, QLatin1String(name))->isChecked();
    return checked;
}

} // namespace

class TstForm2 : public QObject
{
    Q_OBJECT
private slots:
    void rangeText_data();
    void rangeText();
    void rangeBoxesAtLoad_data();
    void rangeBoxesAtLoad();

    void controlsShowTheRecord();
    void savedRecordReadBackAlike();
    void notANumberLeavesRecord_data();
    void notANumberLeavesRecord();
    void notInUseKeepsConnectedDeviceConnected();
    void sentCountIsTheLiveCounter();
    void cancelWritesNothing();
    void paceExplanation();

    void deviceIdOutOfRangeOpensNothing();
    void rowWithoutRecordOpensNothing();
    void secondOpeningRaisesTheFirst();
    void opensFromDoubleClickAndDeviceMenu();
};

void TstForm2::rangeText_data()
{
    QTest::addColumn<QList<bool>>("boxes");
    QTest::addColumn<QString>("text");
    QTest::newRow("none") << QList<bool>{false, false, false, false} << u"|"_s;
    QTest::newRow("all") << QList<bool>{true, true, true, true} << u"|不限范围|"_s;
    QTest::newRow("first two") << QList<bool>{true, true, false, false} << u"|移动|联通|"_s;
    QTest::newRow("other") << QList<bool>{false, false, false, true} << u"|其它|"_s;
    QTest::newRow("three") << QList<bool>{true, false, true, true} << u"|移动|小灵通|其它|"_s;
}

void TstForm2::rangeText()
{
    QFETCH(QList<bool>, boxes);
    QFETCH(QString, text);
    QCOMPARE(Form2::rangeText(boxes[0], boxes[1], boxes[2], boxes[3]), text);
}

void TstForm2::rangeBoxesAtLoad_data()
{
    QTest::addColumn<QString>("forNo");
    QTest::addColumn<QList<bool>>("boxes");
    QTest::newRow("other only") << u"|其它|"_s << QList<bool>{false, false, false, true};
    QTest::newRow("all") << u"|不限范围|"_s << QList<bool>{true, true, true, true};
    QTest::newRow("phs is not unicom") << u"|小灵通|"_s << QList<bool>{false, false, true, false};
    QTest::newRow("none") << u"|"_s << QList<bool>{false, false, false, false};
}

void TstForm2::rangeBoxesAtLoad()
{
    QFETCH(QString, forNo);
    QFETCH(QList<bool>, boxes);
    Rig rig;
    QVERIFY(rig.exec(u"update comset set FOR_no='%1' where id=3"_s.arg(forNo)));
    QCOMPARE(ranges(rig.open(3)), boxes);
}

void TstForm2::controlsShowTheRecord()
{
    Rig rig;
    QVERIFY(rig.exec(u"update comset set SetName='前台猫', InUseing='启用', com='COM9', "
                     u"rate=115200, serno='+8613800100500', pace='慢速度', msgmax=500 "
                     u"where id=2"_s));
    rig.form->view().setRows(rig.form->view().rows());
    rig.app->gateway()->refillDeviceList();
    Form2 *f = rig.open(2);
    QVERIFY(f);
    QCOMPARE(f->windowTitle(), u"设定端口参数"_s);
    QVERIFY(f->windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(control<QLabel>(f, u"Label6"_s)->text(), u"设备编号：前台猫"_s);
    QCOMPARE(control<QComboBox>(f, u"Combo_com"_s)->currentText(), u"COM9"_s);
    QCOMPARE(control<QComboBox>(f, u"Combo_com"_s)->count(), 16);
    QCOMPARE(control<QComboBox>(f, u"Combo_on"_s)->currentText(), u"启用"_s);
    QCOMPARE(control<QComboBox>(f, u"Combo_rate"_s)->currentText(), u"115200"_s);
    QCOMPARE(control<QComboBox>(f, u"Combo_pace"_s)->currentText(), u"慢速度"_s);
    QCOMPARE(control<QComboBox>(f, u"Combo_pace"_s)->count(), 6);
    QCOMPARE(control<QLineEdit>(f, u"Text_serno"_s)->text(), u"+8613800100500"_s);
    QCOMPARE(control<QLineEdit>(f, u"Text_msg_limit"_s)->text(), u"500"_s);
    QCOMPARE(control<QLineEdit>(f, u"Text_msgsended_count"_s)->text(), u"0"_s);
}

void TstForm2::savedRecordReadBackAlike()
{
    Rig rig;
    QPointer<Form2> f = rig.open(4);
    control<QComboBox>(f, u"Combo_com"_s)->setEditText(u"COM12"_s);
    control<QComboBox>(f, u"Combo_on"_s)->setCurrentText(u"启用"_s);
    control<QComboBox>(f, u"Combo_rate"_s)->setEditText(u"19200"_s);
    control<QComboBox>(f, u"Combo_pace"_s)->setCurrentText(u"中速度"_s);
    control<QLineEdit>(f, u"Text_serno"_s)->setText(u"+8613010888500"_s);
    control<QLineEdit>(f, u"Text_msg_limit"_s)->setText(u" 300 "_s);
    control<QLineEdit>(f, u"Text_msgsended_count"_s)->setText(u"12"_s);
    control<QCheckBox>(f, u"Check1"_s)->setChecked(true);
    control<QCheckBox>(f, u"Check2"_s)->setChecked(false);
    control<QCheckBox>(f, u"Check3"_s)->setChecked(false);
    control<QCheckBox>(f, u"Check4"_s)->setChecked(true);
    QVERIFY(f->save());
    QCOMPARE(rig.messages, QStringList{u"已设定"_s});
    QTRY_VERIFY(!f);

    QCOMPARE(rig.record(4), u"4COM4启用COM1219200+8613010888500|移动|其它|中速度30012"_s);
    QCOMPARE(rig.app->gateway()->sentCount(4), 12);

    // The row shows what a refill of the list shows.
    server::GatewayView &view = rig.form->view();
    QVERIFY(view.row(4)->inUse);
    const QStringList shown = view.row(4)->columns;
    rig.app->gateway()->refillDeviceList();
    QCOMPARE(view.row(4)->columns, shown);
    QCOMPARE(shown.mid(2), (QStringList{u"COM12"_s, u"19200"_s, u"300"_s, u"12"_s, u"中速度"_s,
                                        u"|移动|其它|"_s}));
    QCOMPARE(rig.form->listView1()->topLevelItem(3)->text(7), u"|移动|其它|"_s);

    // And the dialog opens on it again as it was saved.
    Form2 *again = rig.open(4);
    QCOMPARE(control<QComboBox>(again, u"Combo_com"_s)->currentText(), u"COM12"_s);
    QCOMPARE(control<QComboBox>(again, u"Combo_on"_s)->currentText(), u"启用"_s);
    QCOMPARE(control<QLineEdit>(again, u"Text_msg_limit"_s)->text(), u"300"_s);
    QCOMPARE(control<QLineEdit>(again, u"Text_msgsended_count"_s)->text(), u"12"_s);
    QCOMPARE(ranges(again), (QList<bool>{true, false, false, true}));
}

void TstForm2::notANumberLeavesRecord_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    QTest::newRow("limit abc") << u"Text_msg_limit"_s << u"abc"_s << kLimitNotNumber;
    QTest::newRow("limit empty") << u"Text_msg_limit"_s << QString() << kLimitNotNumber;
    QTest::newRow("limit negative") << u"Text_msg_limit"_s << u"-1"_s << kLimitNotNumber;
    QTest::newRow("sent abc") << u"Text_msgsended_count"_s << u"abc"_s << kSentNotNumber;
    // The count is 32-bit in memory and in the column: a larger one is refused, not cut.
    QTest::newRow("sent too large")
        << u"Text_msgsended_count"_s << u"2147483648"_s << kSentNotNumber;
}

void TstForm2::notANumberLeavesRecord()
{
    QFETCH(QString, box);
    QFETCH(QString, typed);
    QFETCH(QString, message);
    Rig rig;
    const QString before = rig.record(5);
    Form2 *f = rig.open(5);
    control<QComboBox>(f, u"Combo_com"_s)->setEditText(u"COM2"_s);
    auto *edit = control<QLineEdit>(f, box);
    edit->setText(typed);
    QVERIFY(!f->save());
    QCOMPARE(rig.messages, QStringList{message});
    QVERIFY(f->isVisible());
    QCOMPARE(f->focusWidget(), edit);
    QCOMPARE(edit->selectedText(), typed);
    QCOMPARE(rig.record(5), before);
    QCOMPARE(rig.app->gateway()->sentCount(5), 0);
}

void TstForm2::notInUseKeepsConnectedDeviceConnected()
{
    Rig rig;
    server::testing::FakeWorker *w = rig.connectRow(1);
    QVERIFY(w);
    QTRY_VERIFY(rig.app->gateway()->slot(1).connected);
    QVERIFY(rig.form->view().row(1)->inUse);
    Form2 *f = rig.open(1);
    control<QComboBox>(f, u"Combo_on"_s)->setCurrentText(u"停用"_s);
    QVERIFY(f->save());
    QVERIFY(!rig.form->view().row(1)->inUse);
    QCOMPARE(rig.column(1, u"InUseing"_s), u"停用"_s);
    QVERIFY(rig.app->gateway()->slot(1).connected);
    QCOMPARE(rig.worker(1), w);
    QCOMPARE(w->closeCount, 0);
}

void TstForm2::sentCountIsTheLiveCounter()
{
    Rig rig;
    server::Gateway *g = rig.app->gateway();
    server::testing::FakeWorker *w = rig.connectRow(2);
    QTRY_VERIFY(g->slot(2).connected);
    QVERIFY(rig.exec(u"insert into outbox (mbno, msg, ComPort) values ('13800000001', 'a', 0)"_s));
    QTRY_COMPARE(w->sent.size(), 1);
    g->onSendResult(2, w->sent.first(), u"y"_s);
    QTRY_COMPARE(g->sentCount(2), 1);
    // Not saved yet: the column still says 0.
    QCOMPARE(rig.column(2, u"MsgSendedCount"_s), u"0"_s);
    Form2 *f = rig.open(2);
    QCOMPARE(control<QLineEdit>(f, u"Text_msgsended_count"_s)->text(), u"1"_s);

    control<QLineEdit>(f, u"Text_msgsended_count"_s)->setText(u"40"_s);
    QVERIFY(f->save());
    QCOMPARE(g->sentCount(2), 40);
    // The periodic save writes the edited count, not the one from before the edit.
    QVERIFY(g->saveSentCounters());
    QCOMPARE(rig.column(2, u"MsgSendedCount"_s), u"40"_s);
    QCOMPARE(rig.form->view().cell(2, server::ColumnSent), u"40"_s);
}

void TstForm2::cancelWritesNothing()
{
    Rig rig;
    const QString before = rig.record(6);
    QPointer<Form2> f = rig.open(6);
    control<QComboBox>(f, u"Combo_com"_s)->setEditText(u"COM1"_s);
    control<QLineEdit>(f, u"Text_msgsended_count"_s)->setText(u"9"_s);
    control<QPushButton>(f, u"Command2"_s)->click();
    QTRY_VERIFY(!f);
    QCOMPARE(rig.record(6), before);
    QCOMPARE(rig.app->gateway()->sentCount(6), 0);
    QVERIFY(rig.messages.isEmpty());
}

void TstForm2::paceExplanation()
{
    Rig rig;
    Form2 *f = rig.open(1);
    control<QPushButton>(f, u"Command3"_s)->click();
    QCOMPARE(rig.messages,
             QStringList{u"[不限速]：设备按最快速度进行发送\r[快速度]：大约为 500条/小时左右\r"
                         u"[中速度]：大约为 400条/小时左右\r[慢速度]：大约为 200条/小时左右\r"
                         u"[较慢速]：大约为 100条/小时左右\r[极慢速]：大约为 50条/小时左右\r\r"
                         u"说明：受网络及诸多因素影响，以上仅是参考值！"_s});
}

void TstForm2::deviceIdOutOfRangeOpensNothing()
{
    Rig rig;
    QVERIFY(rig.exec(u"update comset set id=20 where id=16"_s));
    rig.app->gateway()->refillDeviceList();
    QCOMPARE(rig.form->view().row(16)->id, 20);
    QVERIFY(!rig.open(16));
    QCOMPARE(rig.messages.size(), 1);
    QVERIFY(rig.messages.first().contains(u"20"_s));
}

void TstForm2::rowWithoutRecordOpensNothing()
{
    Rig rig;
    // Deleted by someone else after the list was filled.
    QVERIFY(rig.exec(u"delete from comset where id=7"_s));
    QVERIFY(!rig.open(7));
    QCOMPARE(rig.messages.size(), 1);
    QVERIFY(rig.messages.first().contains(u"7"_s));
}

void TstForm2::secondOpeningRaisesTheFirst()
{
    Rig rig;
    Form2 *f = rig.open(1);
    QCOMPARE(rig.open(2), f);
    QCOMPARE(f->deviceId(), 1);
    QCOMPARE(rig.form->findChildren<Form2 *>().size(), 1);
}

void TstForm2::opensFromDoubleClickAndDeviceMenu()
{
    Rig rig;
    QTreeWidget *list = rig.form->listView1();
    QTreeWidgetItem *item = list->topLevelItem(5);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
    QPointer<Form2> f = rig.form->findChild<Form2 *>();
    QVERIFY(f);
    QCOMPARE(f->deviceId(), 6);
    f->close();
    QTRY_VERIFY(!f);
    rig.select(9);
    rig.form->findChild<QAction *>(u"m_Serr"_s)->trigger();
    f = rig.form->findChild<Form2 *>();
    QVERIFY(f);
    QCOMPARE(f->deviceId(), 9);
}

QTEST_MAIN(TstForm2)
#include "tst_form2_port_settings.moc"
