// The main window on the real core, fake workers and the SQLite database: controls and menus,
// the status lights' layout, the device list and its commands with their record writes, the run
// log, the tray icon, closing, and the start-up with a window.
#include "window_rig.h"

#include "server/ui/image_list.h"
#include "server/ui/list_filler.h"
#include "server/ui/notice_icon.h"
#include "server/ui/sound_player.h"
#include "server/ui/status_lights.h"

#include <QAction>
#include <QDialog>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace lonvera;
using namespace lonvera::ui;
using namespace lonvera::ui::test;
using namespace Qt::StringLiterals;

namespace {

QAction *action(QWidget *form, const QString &name)
{
    return form->findChild<QAction *>(name);
}

bool sameIcon(const QIcon &a, const QIcon &b)
{
    return a.pixmap(16, 16).toImage() == b.pixmap(16, 16).toImage();
}

} // namespace

class TstForm1 : public QObject
{
    Q_OBJECT
private slots:
    void init() { NoticeIcon::setAvailabilityOverride(true); }
    void cleanup() { NoticeIcon::setAvailabilityOverride(std::nullopt); }

    void controlsAndMenus();
    void deviceMenuOnMouseRelease();
    void aboutBoxOnTop();
    void iconFileReplacesProgramIcon();
    void soundsSilentWithoutFile();
    void lightsLaidOutInTwips();
    void lightsBeyondDeviceCountHidden();
    void deviceListFromComset();
    void statusChangesReachRowLightAndIcon();
    void runLogSelectsLastLine();

    void minimisingTwiceAddsOneTrayIcon();
    void bothRestorePathsAlike();
    void withoutNotificationAreaStaysMinimised();
    void trayTipCut_data();
    void trayTipCut();

    void markNotInUseLeavesDeviceConnected();
    void pauseKeepsInUse();
    void startWritesRecordAndConnects();
    void commandsWithoutSelectionDoNothing();
    void deviceWithoutRecordSaysSo();

    void closeBoxMinimises();
    void decliningCloseMinimises();
    void confirmedCloseUnloads();

    void windowShownBeforeDatabaseOpens();
    void loadErrorKeepsWindowUp();
    void secondStartActivatesFirst();
};

void TstForm1::controlsAndMenus()
{
    WindowRig rig;
    QCOMPARE(rig.start(), server::ServerApp::StartResult::Running);
    Form1 &f = *rig.form;
    QVERIFY(f.isVisible());
    QCOMPARE(f.windowTitle(), u"Lonvera V1.2.3"_s);
    // "Lonvera" does not contain "通用": no help menu.
    QMenu *help = f.findChild<QMenu *>(u"sssss"_s);
    QVERIFY(help);
    QVERIFY(!help->menuAction()->isVisible());
    QCOMPARE(action(&f, u"m_set"_s)->text(), u"系统设置(&S)"_s);
    QVERIFY(f.menuBar()->actions().contains(action(&f, u"m_set"_s)));

    const QList<std::pair<QString, QString>> deviceItems = {{u"m_Serr"_s, u"Ctrl+S"_s},
                                                            {u"M_conn_set"_s, u"Ctrl+C"_s},
                                                            {u"M_STOP_set"_s, u"Ctrl+N"_s},
                                                            {u"m_open111"_s, u"Ctrl+E"_s},
                                                            {u"m_close111"_s, u"Ctrl+D"_s}};
    for (const auto &[name, key] : deviceItems)
        QCOMPARE(action(&f, name)->shortcut(), QKeySequence(key));
    QMenu *tray = f.findChild<QMenu *>(u"m_ddddd"_s);
    QCOMPARE(tray->actions().size(), 2);
    QCOMPARE(tray->actions()[0]->text(), u"显示短信服务器"_s);
    QCOMPARE(tray->actions()[1]->text(), u"关闭短信服务器"_s);
    QVERIFY(!f.menuBar()->actions().contains(tray->menuAction()));
    QVERIFY(!action(&f, u"aaa"_s)->isVisible());
    QVERIFY(!action(&f, u"bbb"_s)->isVisible());

    QStringList buttons;
    for (const char *name : {"Command1", "Command2", "Command3"})
        buttons << f.findChild<QPushButton *>(QLatin1String(name))->text();
    QCOMPARE(buttons, (QStringList{u"启动服务"_s, u"参数设置"_s, u"关闭服务"_s}));
    QCOMPARE(f.frame3()->title(), u"端口状态指示(绿灯:空闲,红灯:工作中,灰灯:未启用)"_s);

    // The hooks the dialogs use: the button and the menu open the settings, a double click
    // and the device menu the port settings of the row.
    int settingsOpened = 0;
    QList<int> portRows;
    f.setDialogHooks(
        {[&](Form1 &) { ++settingsOpened; }, [&](Form1 &, int row) { portRows << row; }});
    f.findChild<QPushButton *>(u"Command2"_s)->click();
    action(&f, u"m_set"_s)->trigger();
    QCOMPARE(settingsOpened, 2);
    rig.select(4);
    action(&f, u"m_Serr"_s)->trigger();
    QTreeWidget *list = f.listView1();
    const QRect second = list->visualItemRect(list->topLevelItem(1));
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, second.center());
    QCOMPARE(portRows, (QList<int>{4, 2}));
}

void TstForm1::deviceMenuOnMouseRelease()
{
    WindowRig rig;
    rig.start();
    QTreeWidget *list = rig.form->listView1();
    QMenu *menu = rig.form->findChild<QMenu *>(u"m_QQQ"_s);
    const QPoint at = list->visualItemRect(list->topLevelItem(2)).center();
    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, at);
    QTRY_VERIFY(menu->isVisible());
    menu->hide();
    // The left button's release opens it too, once the double-click time has passed.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTRY_VERIFY(menu->isVisible());
    QCOMPARE(rig.form->selectedRow(), 3);
    menu->hide();
}

void TstForm1::aboutBoxOnTop()
{
    WindowRig rig;
    rig.start();
    rig.form->showAbout();
    auto *about = rig.form->findChild<QDialog *>(u"frmAbout"_s);
    QVERIFY(about && about->isVisible());
    QCOMPARE(about->windowTitle(), u"关于软件"_s);
    QVERIFY(about->windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(about->findChild<QLabel *>(u"lblVersion"_s)->text(), u"V3.8"_s);
    QCOMPARE(about->findChild<QLabel *>(u"Label2"_s)->text(), u"2014"_s);
    QVERIFY(about->findChild<QLabel *>(u"lblDescription"_s)->text().contains(u"无线办公功能"_s));
    QSignalSpy gone(about, &QObject::destroyed);
    about->findChild<QPushButton *>(u"cmdOK"_s)->click();
    QTRY_COMPARE(gone.size(), 1);
}

void TstForm1::iconFileReplacesProgramIcon()
{
    // The icon file named by [ocx] LOGONA becomes the window's idle icon; an unreadable one
    // leaves the drawn icon.
    WindowRig rig({u"LOGONA=mylogo"_s});
    QImage logo(32, 32, QImage::Format_ARGB32);
    logo.fill(Qt::magenta);
    QVERIFY(logo.save(rig.home() + u"/mylogo.ico"_s, "ICO"));
    rig.start();
    QCOMPARE(rig.form->programIcon().pixmap(32, 32).toImage().pixelColor(16, 16),
             QColor(Qt::magenta));
    QVERIFY(sameIcon(rig.form->windowIcon(), rig.form->programIcon()));

    WindowRig broken({u"LOGONA=broken"_s});
    QFile junk(broken.home() + u"/broken.ico"_s);
    QVERIFY(junk.open(QIODevice::WriteOnly) && junk.write("not an icon") > 0);
    junk.close();
    broken.start();
    QVERIFY(sameIcon(broken.form->programIcon(), ImageList::idleProgramIcon()));
}

void TstForm1::soundsSilentWithoutFile()
{
    QTemporaryDir dir;
    SoundPlayer player;
    QVERIFY(!player.play(dir.filePath(u"msg.wav"_s)));
    QVERIFY(QFile::copy(QStringLiteral(DEFAULT_SOUND), dir.filePath(u"msg.wav"_s)));
    QVERIFY(player.play(dir.filePath(u"msg.wav"_s)));
}

void TstForm1::lightsLaidOutInTwips()
{
    StatusLights lights;
    // Light 10 is 460 + 80 twips right of light 9; the others keep 460.
    QCOMPARE(StatusLights::offsetTwips(10) - StatusLights::offsetTwips(9), 540);
    for (int i = 11; i <= 16; ++i)
        QCOMPARE(StatusLights::offsetTwips(i) - StatusLights::offsetTwips(i - 1), 460);
    QCOMPARE(StatusLights::offsetTwips(2) - StatusLights::offsetTwips(1), 460);
    // In pixels at the screen's logical DPI, rounding at most one pixel per place.
    const double perTwip = lights.logicalDpiX() / 1440.0;
    const int gap910 = lights.light(10)->x() - lights.light(9)->x();
    QVERIFY2(std::abs(gap910 - 540 * perTwip) <= 1.0, qPrintable(QString::number(gap910)));
    const int span = lights.light(16)->x() - lights.light(1)->x();
    QVERIFY(std::abs(span - (15 * 460 + 80) * perTwip) <= 1.0);
    for (int i = 2; i <= 16; ++i) {
        QCOMPARE(lights.light(i)->y(), lights.light(1)->y());
        QCOMPARE(lights.number(i)->y(), lights.number(1)->y());
        QCOMPARE(lights.number(i)->x() - lights.number(i - 1)->x(),
                 lights.light(i)->x() - lights.light(i - 1)->x());
        QCOMPARE(lights.number(i)->text(), QString::number(i));
    }
}

void TstForm1::lightsBeyondDeviceCountHidden()
{
    QWidget host;
    auto *lights = new StatusLights(&host);
    host.show();
    lights->setDeviceCount(3);
    for (int i = 1; i <= 16; ++i) {
        QCOMPARE(lights->light(i)->isVisible(), i <= 3);
        QCOMPARE(lights->number(i)->isVisible(), i <= 3);
    }
    for (int i = 1; i <= 3; ++i)
        QCOMPARE(lights->lightPicture(i), ImageList::LightOff);
}

void TstForm1::deviceListFromComset()
{
    WindowRig rig;
    QVERIFY(rig.exec(u"UPDATE comset SET InUseing='启用' WHERE id IN (2, 5)"_s));
    QVERIFY(rig.exec(u"UPDATE comset SET MsgSendedCount=7 WHERE id=2"_s));
    rig.start();
    QTreeWidget *list = rig.form->listView1();
    QCOMPARE(list->topLevelItemCount(), 16);
    QCOMPARE(list->headerItem()->text(0), u"设备编号"_s);
    QCOMPARE(list->headerItem()->text(7), u"发送范围"_s);
    const QImage inUse = ImageList::picture(ImageList::DeviceInUse).pixmap(16).toImage();
    const QImage notInUse = ImageList::picture(ImageList::DeviceNotInUse).pixmap(16).toImage();
    for (int n = 1; n <= 16; ++n) {
        QTreeWidgetItem *item = list->topLevelItem(n - 1);
        QCOMPARE(itemKey(item), u"k"_s + QString::number(n));
        QCOMPARE(item->text(1), u"--"_s);
        QCOMPARE(item->text(2), u"COM"_s + QString::number(n));
        // "停用" gives icon 5, "启用" icon 6.
        QCOMPARE(item->icon(0).pixmap(16).toImage(), (n == 2 || n == 5) ? inUse : notInUse);
    }
    QCOMPARE(list->topLevelItem(1)->text(5), u"7"_s);
    // Read by the list's own query, not by the fallback on the server's rows.
    for (int i = 0; i < rig.form->list1()->count(); ++i)
        QVERIFY(!rig.form->list1()->item(i)->text().contains(u"读取失败"_s));
    QVERIFY(list->selectedItems().isEmpty());
    // All 16 devices fit one page of 21: neither page switch is enabled.
    QVERIFY(!action(rig.form.get(), u"aaa"_s)->isEnabled());
    QVERIFY(!action(rig.form.get(), u"bbb"_s)->isEnabled());
    // The lights all start grey.
    for (int i = 1; i <= 16; ++i)
        QCOMPARE(rig.form->frame3()->lightPicture(i), ImageList::LightOff);
}

void TstForm1::statusChangesReachRowLightAndIcon()
{
    WindowRig rig;
    rig.start();
    server::testing::FakeWorker *w = rig.connectRow(3);
    QVERIFY(w);
    QTreeWidgetItem *row = rig.form->listView1()->topLevelItem(2);
    QCOMPARE(row->text(1), u" [SIM900]"_s);
    emit w->statusChanged(true);
    QCOMPARE(row->text(0), u"设备3 [工作中..]"_s);
    QCOMPARE(rig.form->frame3()->lightPicture(3), ImageList::LightBusy);
    QVERIFY(sameIcon(rig.form->windowIcon(), ImageList::busyProgramIcon()));
    emit w->statusChanged(false);
    QCOMPARE(row->text(0), u"设备3 [空闲]"_s);
    QCOMPARE(rig.form->frame3()->lightPicture(3), ImageList::LightIdle);
    QVERIFY(sameIcon(rig.form->windowIcon(), rig.form->programIcon()));
}

void TstForm1::runLogSelectsLastLine()
{
    WindowRig rig;
    rig.start();
    QListWidget *log = rig.form->list1();
    rig.form->connectAllDevices();
    rig.app->gateway()->log(u"：第二行"_s);
    QVERIFY(log->count() >= 2);
    QVERIFY(log->item(log->count() - 2)->text().endsWith(u"：正在连接设备..."_s));
    QCOMPARE(log->currentRow(), log->count() - 1);
    QVERIFY(log->currentItem()->isSelected());
    QCOMPARE(rig.form->frame2()->title(), u"实时运行记录[待发0,已发0,收到0,失败0,来电0]"_s);
}

void TstForm1::minimisingTwiceAddsOneTrayIcon()
{
    WindowRig rig;
    rig.start();
    Form1 &f = *rig.form;
    QSignalSpy added(f.noticeIcon(), &NoticeIcon::added);
    f.showMinimized();
    f.showMinimized();
    QTRY_VERIFY(f.inTray());
    QVERIFY(!f.isVisible());
    f.minimizeToTray();
    QCOMPARE(added.size(), 1);
    QVERIFY(f.noticeIcon()->isShown());
    QCOMPARE(f.noticeIcon()->tip(), u"手机短信服务已启动\r欢迎使用Lonvera软件！"_s);
}

void TstForm1::bothRestorePathsAlike()
{
    WindowRig rig;
    rig.start();
    Form1 &f = *rig.form;
    auto state = [&f] {
        return QList<bool>{f.isVisible(), f.isMinimized(), f.inTray(), f.noticeIcon()->isShown()};
    };
    f.showMinimized();
    QTRY_VERIFY(f.inTray());
    emit f.noticeIcon()->leftClicked();
    const QList<bool> afterClick = state();
    QCOMPARE(afterClick, (QList<bool>{true, false, false, false}));
    f.showMinimized();
    QTRY_VERIFY(f.inTray());
    action(&f, u"m_open"_s)->trigger();
    QCOMPARE(state(), afterClick);
}

void TstForm1::withoutNotificationAreaStaysMinimised()
{
    NoticeIcon::setAvailabilityOverride(false);
    WindowRig rig;
    rig.start();
    rig.form->showMinimized();
    QTRY_VERIFY(rig.form->isMinimized());
    QVERIFY(rig.form->isVisible());
    QVERIFY(!rig.form->inTray());
    QVERIFY(!rig.form->noticeIcon()->isShown());
}

void TstForm1::trayTipCut_data()
{
    QTest::addColumn<QString>("tip");
    QTest::addColumn<QString>("kept");
    const QString chinese = QString(u"短信服务已启动端口工作中"_s).repeated(4); // 48 characters
    QTest::newRow("short stays") << u"短信服务已启动\r状态：空闲"_s
                                 << u"短信服务已启动\r状态：空闲"_s;
    // 31 characters of two bytes make 62; the 32nd would need bytes 63 and 64.
    QTest::newRow("chinese") << chinese << chinese.left(31);
    QTest::newRow("odd byte fills 63") << u"a"_s + chinese << u"a"_s + chinese.left(31);
    QTest::newRow("ascii") << QString(80, u'x') << QString(63, u'x');
}

void TstForm1::trayTipCut()
{
    QFETCH(QString, tip);
    QFETCH(QString, kept);
    QCOMPARE(NoticeIcon::fitTip(tip), kept);
}

void TstForm1::markNotInUseLeavesDeviceConnected()
{
    WindowRig rig;
    QVERIFY(rig.exec(u"UPDATE comset SET InUseing='启用' WHERE id=2"_s));
    rig.start();
    server::testing::FakeWorker *w = rig.connectRow(2);
    QVERIFY(rig.app->gateway()->slot(2).connected);
    rig.select(2);
    action(rig.form.get(), u"m_close111"_s)->trigger();
    QCOMPARE(rig.scalar(u"SELECT InUseing FROM comset WHERE id=2"_s), u"停用"_s);
    QVERIFY(rig.app->gateway()->slot(2).connected);
    QCOMPARE(rig.worker(2), w);
    QCOMPARE(w->closeCount, 0);
    QVERIFY(sameIcon(rig.form->listView1()->topLevelItem(1)->icon(0),
                     ImageList::picture(ImageList::DeviceNotInUse)));
    action(rig.form.get(), u"m_open111"_s)->trigger();
    QCOMPARE(rig.scalar(u"SELECT InUseing FROM comset WHERE id=2"_s), u"启用"_s);
    QVERIFY(sameIcon(rig.form->listView1()->topLevelItem(1)->icon(0),
                     ImageList::picture(ImageList::DeviceInUse)));
}

void TstForm1::pauseKeepsInUse()
{
    WindowRig rig;
    QVERIFY(rig.exec(u"UPDATE comset SET InUseing='启用' WHERE id=4"_s));
    rig.start();
    server::testing::FakeWorker *w = rig.connectRow(4);
    QVERIFY(w);
    QSignalSpy gone(w, &QObject::destroyed);
    action(rig.form.get(), u"M_STOP_set"_s)->trigger();
    QCOMPARE(rig.scalar(u"SELECT InUseing FROM comset WHERE id=4"_s), u"启用"_s);
    QVERIFY(!rig.app->gateway()->slot(4).worker);
    QTreeWidgetItem *row = rig.form->listView1()->topLevelItem(3);
    QCOMPARE(row->text(0), u"设备4 [暂停]"_s);
    QCOMPARE(row->text(1), u"--"_s);
    QCOMPARE(row->text(6), u"--"_s);
    QCOMPARE(rig.form->frame3()->lightPicture(4), ImageList::LightOff);
    QTRY_COMPARE(gone.size(), 1);
}

void TstForm1::startWritesRecordAndConnects()
{
    WindowRig rig;
    QVERIFY(rig.exec(u"UPDATE comset SET com='COM12', rate=115200, pace='中速度' WHERE id=6"_s));
    rig.start();
    rig.select(6);
    action(rig.form.get(), u"M_conn_set"_s)->trigger();
    QCOMPARE(rig.scalar(u"SELECT InUseing FROM comset WHERE id=6"_s), u"启用"_s);
    server::testing::FakeWorker *w = rig.worker(6);
    QVERIFY(w);
    QCOMPARE(w->port, 12);
    QCOMPARE(w->settings, u"115200,n,8,1"_s);
    QCOMPARE(rig.app->gateway()->slot(6).pause, 3);
    QVERIFY(sameIcon(rig.form->listView1()->topLevelItem(5)->icon(0),
                     ImageList::picture(ImageList::DeviceInUse)));
}

void TstForm1::commandsWithoutSelectionDoNothing()
{
    WindowRig rig;
    rig.start();
    int opened = 0;
    rig.form->setDialogHooks({{}, [&](Form1 &, int) { ++opened; }});
    const QString before = rig.scalar(u"SELECT group_concat(InUseing) FROM comset"_s);
    rig.form->listView1()->clearSelection();
    for (const char *name : {"m_Serr", "M_conn_set", "M_STOP_set", "m_open111", "m_close111"})
        action(rig.form.get(), QLatin1String(name))->trigger();
    QCOMPARE(opened, 0);
    QVERIFY(rig.factory.created.empty());
    QCOMPARE(rig.scalar(u"SELECT group_concat(InUseing) FROM comset"_s), before);
    QVERIFY(rig.messages.isEmpty());
}

void TstForm1::deviceWithoutRecordSaysSo()
{
    WindowRig rig;
    rig.start();
    QVERIFY(rig.exec(u"DELETE FROM comset WHERE id=5"_s));
    rig.select(5);
    action(rig.form.get(), u"M_conn_set"_s)->trigger();
    action(rig.form.get(), u"m_open111"_s)->trigger();
    QCOMPARE(rig.messages.size(), 2);
    QVERIFY(rig.messages[0].contains(u"未找到设备记录"_s));
    QVERIFY(rig.form->list1()->currentItem()->text().contains(u"未找到设备记录"_s));
    QVERIFY(rig.factory.created.empty());
    // The server keeps running: another device still starts.
    rig.select(6);
    action(rig.form.get(), u"M_conn_set"_s)->trigger();
    QVERIFY(rig.worker(6));
}

void TstForm1::closeBoxMinimises()
{
    WindowRig rig({u"[AUTOC]"_s, u"CloseConfirm=1"_s});
    rig.start();
    QSignalSpy unloaded(rig.form.get(), &Form1::unloaded);
    QVERIFY(!rig.form->close());
    QTRY_VERIFY(rig.form->inTray());
    QVERIFY(rig.questions.isEmpty());
    QVERIFY(!rig.app->gateway()->shutdownFlag());
    QCOMPARE(unloaded.size(), 0);
}

void TstForm1::decliningCloseMinimises()
{
    WindowRig rig({u"[AUTOC]"_s, u"CloseConfirm=1"_s});
    QVERIFY(rig.exec(u"UPDATE comset SET InUseing='启用' WHERE id=1"_s));
    rig.start();
    server::testing::FakeWorker *w = rig.connectRow(1);
    const int lines = rig.form->list1()->count();
    rig.answerYes = false;
    rig.form->findChild<QPushButton *>(u"Command3"_s)->click();
    QCOMPARE(rig.questions.size(), 1);
    QVERIFY(rig.questions[0].startsWith(u"确实关闭短信服务器吗？"_s));
    QTRY_VERIFY(rig.form->inTray());
    QCOMPARE(rig.form->list1()->count(), lines);
    QCOMPARE(rig.worker(1), w);
    QCOMPARE(w->closeCount, 0);
    // The tray menu's close asks again.
    action(rig.form.get(), u"m_close"_s)->trigger();
    QCOMPARE(rig.questions.size(), 2);
    QVERIFY(!rig.app->gateway()->shutdownFlag());
}

void TstForm1::confirmedCloseUnloads()
{
    WindowRig rig;
    QVERIFY(rig.exec(u"UPDATE comset SET InUseing='启用' WHERE id=1"_s));
    rig.start();
    server::testing::FakeWorker *w = rig.connectRow(1);
    QSignalSpy unloaded(rig.form.get(), &Form1::unloaded);
    rig.form->showMinimized();
    QTRY_VERIFY(rig.form->noticeIcon()->isShown());
    action(rig.form.get(), u"m_close"_s)->trigger();
    QCOMPARE(unloaded.size(), 1);
    QVERIFY(rig.questions.isEmpty());
    QCOMPARE(w->closeCount, 3);
    QVERIFY(!rig.form->isVisible());
    QVERIFY(!rig.form->noticeIcon()->isShown());
    QVERIFY(rig.form->list1()
                ->item(rig.form->list1()->count() - 1)
                ->text()
                .endsWith(u"：关闭短信服务器"_s));
}

void TstForm1::windowShownBeforeDatabaseOpens()
{
    WindowRig rig;
    rig.app = std::make_unique<server::ServerApp>(rig.home(), &rig.factory);
    rig.form = std::make_unique<Form1>(*rig.app);
    bool visibleAtShow = false;
    int rowsAtShow = -1;
    QObject::connect(
        rig.app.get(), &server::ServerApp::showWindow, rig.form.get(),
        [&] {
            visibleAtShow = rig.form->isVisible();
            rowsAtShow = rig.form->listView1()->topLevelItemCount();
        },
        Qt::DirectConnection);
    QCOMPARE(rig.app->start(1, 2, 3), server::ServerApp::StartResult::Running);
    QVERIFY(visibleAtShow);
    QCOMPARE(rowsAtShow, 0);
    QCOMPARE(rig.form->listView1()->topLevelItemCount(), 16);
}

void TstForm1::loadErrorKeepsWindowUp()
{
    WindowRig rig({}, false);
    QCOMPARE(rig.start(), server::ServerApp::StartResult::LoadFailed);
    QCOMPARE(rig.messages.size(), 1);
    QVERIFY(rig.form->isVisible());
    QCOMPARE(rig.form->listView1()->topLevelItemCount(), 0);
    // The window works without a database: commands do nothing, closing still closes.
    rig.select(1);
    rig.form->startSelectedDevice();
    rig.form->connectAllDevices();
    QSignalSpy unloaded(rig.form.get(), &Form1::unloaded);
    rig.form->closeService();
    QCOMPARE(unloaded.size(), 1);
}

void TstForm1::secondStartActivatesFirst()
{
    WindowRig rig;
    rig.start();
    rig.form->showMinimized();
    QTRY_VERIFY(rig.form->inTray());

    server::testing::FakeFactory otherFactory;
    server::ServerApp second(rig.home(), &otherFactory);
    QStringList shown;
    QObject::connect(second.view(), &server::GatewayView::messageShown,
                     [&](const QString &text) { shown << text; });
    QCOMPARE(second.start(1, 2, 3), server::ServerApp::StartResult::AnotherRuns);
    QCOMPARE(shown, QStringList{u"服务器程序已启动，请点击任务栏中的小图标进行查看！"_s});
    QTRY_VERIFY(!rig.form->inTray());
    QVERIFY(rig.form->isVisible());
    QVERIFY(!rig.form->isMinimized());
}

QTEST_MAIN(TstForm1)
#include "tst_form1.moc"
