// Form1's controls, menus and the rendering of the view. The commands, the tray and closing are
// in form1_window.cpp.
#include "server/ui/form1.h"

#include "server/core/server_app.h"
#include "server/ui/image_list.h"
#include "server/ui/list_filler.h"
#include "server/ui/message_boxes.h"
#include "server/ui/notice_icon.h"
#include "server/ui/sound_player.h"
#include "server/ui/status_lights.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cmath>

namespace lonvera::ui {

using namespace Qt::StringLiterals;
using server::GatewayView;

namespace {

// Widths of the device list's columns as fractions of its width unit, and their alignment.
constexpr double kColumnWidths[server::DeviceColumnCount] = {0.25, 0.12, 0.10, 0.10,
                                                             0.12, 0.07, 0.11, 0.16};
// The device list shows every device on its one page.
constexpr int kDevicePageSize = 21;

bool isCentred(int column)
{
    return column == server::ColumnModel || column == server::ColumnPace;
}

} // namespace

Form1::Form1(server::ServerApp &app, QWidget *parent) : QMainWindow(parent), m_app(app)
{
    setObjectName(u"Form1"_s);
    m_pictureFree = ImageList::idleProgramIcon();
    m_pictureBusy = ImageList::busyProgramIcon();
    setWindowIcon(m_pictureFree);
    setWindowTitle(QString::fromLatin1(server::kProgramTitle));
    buildControls();
    buildMenus();
    m_tray = new NoticeIcon(m_ddddd, this);
    connect(m_tray, &NoticeIcon::leftClicked, this, &Form1::restoreFromTray);
    m_sounds = new SoundPlayer(this);
    connectView();
    connect(&m_app, &server::ServerApp::showWindow, this, &Form1::showAtLoad);
    connect(&m_app, &server::ServerApp::activationRequested, this, &Form1::activateFromSecondStart);
}

Form1::~Form1()
{
    view().setAsker({});
}

server::Gateway *Form1::gateway() const
{
    return m_app.gateway();
}

server::GatewayView &Form1::view() const
{
    return *m_app.view();
}

server::ServerSettings &Form1::settings() const
{
    return m_app.settings();
}

QString Form1::connectionString() const
{
    return m_app.connectionString();
}

void Form1::buildControls()
{
    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);

    m_listView1 = new QTreeWidget(central);
    m_listView1->setObjectName(u"ListView1"_s);
    // A flat report list: rows are chosen whole and never edited in place.
    m_listView1->setRootIsDecorated(false);
    m_listView1->setItemsExpandable(false);
    m_listView1->setUniformRowHeights(true);
    m_listView1->setAllColumnsShowFocus(true);
    m_listView1->setSelectionMode(QAbstractItemView::SingleSelection);
    m_listView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_listView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_listView1->setAlternatingRowColors(true);
    m_listView1->setHeaderLabels(GatewayView::columnHeaders());
    m_listView1->viewport()->installEventFilter(this);
    layout->addWidget(m_listView1, 3);

    auto *middle = new QHBoxLayout;
    m_frame3 = new StatusLights(central);
    middle->addWidget(m_frame3);
    auto *frame4 = new QGroupBox(u"操作"_s, central);
    frame4->setObjectName(u"Frame4"_s);
    auto *buttons = new QHBoxLayout(frame4);
    m_command1 = new QPushButton(u"启动服务"_s, frame4);
    m_command1->setObjectName(u"Command1"_s);
    m_command2 = new QPushButton(u"参数设置"_s, frame4);
    m_command2->setObjectName(u"Command2"_s);
    m_command3 = new QPushButton(u"关闭服务"_s, frame4);
    m_command3->setObjectName(u"Command3"_s);
    for (QPushButton *b : {m_command1, m_command2, m_command3})
        buttons->addWidget(b);
    connect(m_command1, &QPushButton::clicked, this, &Form1::connectAllDevices);
    connect(m_command2, &QPushButton::clicked, this, &Form1::openSettings);
    connect(m_command3, &QPushButton::clicked, this, &Form1::closeService);
    middle->addWidget(frame4, 1);
    layout->addLayout(middle);

    m_frame2 = new QGroupBox(u"实时运行记录"_s, central);
    m_frame2->setObjectName(u"Frame2"_s);
    auto *logLayout = new QVBoxLayout(m_frame2);
    m_list1 = new QListWidget(m_frame2);
    m_list1->setObjectName(u"List1"_s);
    m_list1->setUniformItemSizes(true);
    logLayout->addWidget(m_list1);
    layout->addWidget(m_frame2, 2);

    setCentralWidget(central);
    // Wide enough for the device list's columns at their designed shares.
    resize(std::max(1100, m_frame3->minimumWidth() + 360), 760);

    m_deviceMenuDelay = new QTimer(this);
    m_deviceMenuDelay->setSingleShot(true);
    connect(m_deviceMenuDelay, &QTimer::timeout, this,
            [this] { popUpDeviceMenu(m_deviceMenuPos); });
}

void Form1::buildMenus()
{
    m_set = menuBar()->addAction(u"系统设置(&S)"_s);
    m_set->setObjectName(u"m_set"_s);
    connect(m_set, &QAction::triggered, this, &Form1::openSettings);

    m_sssss = menuBar()->addMenu(u"关于帮助(&A)"_s);
    m_sssss->setObjectName(u"sssss"_s);
    QAction *about = m_sssss->addAction(u"关于软件(&W)"_s, this, &Form1::showAbout);
    about->setObjectName(u"m_about"_s);
    QAction *home = m_sssss->addAction(u"主页(&H)"_s, this, &Form1::openHomePage);
    home->setObjectName(u"M_38it"_s);
    m_sssss->menuAction()->setVisible(
        QString::fromLatin1(server::kProgramTitle).contains(u"通用"_s));

    m_ddddd = new QMenu(u"e"_s, this);
    m_ddddd->setObjectName(u"m_ddddd"_s);
    QAction *open = m_ddddd->addAction(u"显示短信服务器"_s, this, &Form1::restoreFromTray);
    open->setObjectName(u"m_open"_s);
    QAction *close = m_ddddd->addAction(u"关闭短信服务器"_s, this, &Form1::closeService);
    close->setObjectName(u"m_close"_s);

    m_QQQ = new QMenu(u"右健"_s, this);
    m_QQQ->setObjectName(u"m_QQQ"_s);
    auto item = [this](const QString &name, const QString &caption, const QKeySequence &key,
                       auto slot) {
        QAction *a = m_QQQ->addAction(caption, this, slot);
        a->setObjectName(name);
        a->setShortcut(key);
        // The shortcuts work whenever the window is active, not only while the menu is open.
        a->setShortcutContext(Qt::WindowShortcut);
        addAction(a);
        return a;
    };
    item(u"m_Serr"_s, u"修改端口设置"_s, QKeySequence(u"Ctrl+S"_s), &Form1::openPortSettings);
    m_QQQ->addSeparator()->setObjectName(u"qwqw"_s);
    item(u"M_conn_set"_s, u"启动该设备"_s, QKeySequence(u"Ctrl+C"_s), &Form1::startSelectedDevice);
    item(u"M_STOP_set"_s, u"暂停该设备"_s, QKeySequence(u"Ctrl+N"_s), &Form1::pauseSelectedDevice);
    m_QQQ->addSeparator()->setObjectName(u"qwqwqwq"_s);
    item(u"m_open111"_s, u"设为选定"_s, QKeySequence(u"Ctrl+E"_s),
         [this] { markSelectedDevice(true); });
    item(u"m_close111"_s, u"取消选定"_s, QKeySequence(u"Ctrl+D"_s),
         [this] { markSelectedDevice(false); });

    m_aaa = new QAction(u"AAA"_s, this);
    m_aaa->setObjectName(u"aaa"_s);
    m_aaa->setVisible(false);
    m_bbb = new QAction(u"bbb"_s, this);
    m_bbb->setObjectName(u"bbb"_s);
    m_bbb->setVisible(false);
}

void Form1::connectView()
{
    GatewayView &v = view();
    connect(&v, &GatewayView::rowsReset, this, &Form1::fillDeviceList);
    connect(&v, &GatewayView::rowChanged, this, &Form1::renderRow);
    connect(&v, &GatewayView::lightChanged, this,
            [this](int n) { m_frame3->setLight(n, view().light(n)); });
    connect(&v, &GatewayView::busyStateChanged, this, &Form1::renderBusyState);
    connect(&v, &GatewayView::captionChanged, this, [this] { setWindowTitle(view().caption()); });
    connect(&v, &GatewayView::countersCaptionChanged, this,
            [this] { m_frame2->setTitle(view().countersCaption()); });
    connect(&v, &GatewayView::messageShown, this, [this](const QString &text) {
        MessageBoxes::message(isVisible() ? this : nullptr, text);
    });
    connect(&v, &GatewayView::soundRequested, m_sounds, &SoundPlayer::play);
    connect(&v, &GatewayView::minimiseRequested, this, [this] {
        if (isVisible())
            showMinimized();
    });
    v.setAsker([this](const QString &question) { return MessageBoxes::ask(this, question); });

    server::RunLog &log = v.runLog();
    connect(&log, &server::RunLog::lineAppended, this, [this](const QString &line) {
        m_list1->addItem(line);
        m_list1->setCurrentRow(m_list1->count() - 1);
    });
    connect(&log, &server::RunLog::cleared, m_list1, &QListWidget::clear);
}

void Form1::showAtLoad()
{
    m_pictureFree = ImageList::idleProgramIcon(view().iconPath());
    setWindowIcon(m_pictureFree);
    setWindowTitle(view().caption());
    if (server::Gateway *g = gateway())
        connect(g, &server::Gateway::closed, this, &Form1::unload, Qt::UniqueConnection);
    show();
}

void Form1::fillDeviceList()
{
    const GatewayView &v = view();
    const QStringList headers = GatewayView::columnHeaders();
    const QStringList fields = {u"SetName"_s, u"InUseing"_s,       u"com"_s,  u"rate"_s,
                                u"msgmax"_s,  u"MsgSendedCount"_s, u"pace"_s, u"FOR_no"_s};
    ColumnSpecs specs;
    for (int c = 0; c < server::DeviceColumnCount; ++c) {
        specs[std::size_t(c)] = {headers[c], fields[c], kColumnWidths[c],
                                 isCentred(c) ? ColumnAlignment::Centre : ColumnAlignment::Left};
    }
    int page = 1;
    const server::Gateway *g = gateway();
    const FillOutcome filled = fillListView(m_listView1, kDevicePageSize, page, connectionString(),
                                            g ? g->deviceListQuery() : QString(), u"id"_s, m_aaa,
                                            m_bbb, specs, &ImageList::picture);
    if (!filled.ok() || m_listView1->topLevelItemCount() != v.rows().size()) {
        // The list's own read failed where the server's succeeded: the rows the server read
        // stand in, so the operator still sees and commands every device.
        if (!filled.ok() && gateway())
            gateway()->log(u"：设备列表读取失败 "_s + filled.error);
        m_listView1->clear();
        for (const server::DeviceRowView &row : v.rows()) {
            auto *item = new QTreeWidgetItem(m_listView1);
            // The key as the filler stores it (Qt::UserRole of column 0, read by itemKey).
            item->setData(0, Qt::UserRole, u"k"_s + QString::number(row.id));
        }
    }
    // The server's rows carry what the table does not: "--" for the model until a device
    // connects, the status texts, the live sent counts.
    for (int n = 1; n <= int(v.rows().size()); ++n)
        renderRow(n);
    m_listView1->clearSelection();
    m_frame3->setDeviceCount(v.deviceCount());
}

void Form1::renderRow(int n)
{
    const server::DeviceRowView *row = view().row(n);
    QTreeWidgetItem *item = m_listView1->topLevelItem(n - 1);
    if (!row || !item)
        return;
    // The status text ("设备n [state]") takes the place of the device's name once it has one.
    item->setText(0, row->status.isEmpty() ? row->columns.value(server::ColumnName) : row->status);
    for (int c = 1; c < server::DeviceColumnCount; ++c) {
        item->setText(c, row->columns.value(c));
        if (isCentred(c))
            item->setTextAlignment(c, Qt::AlignCenter);
    }
    item->setIcon(
        0, ImageList::picture(row->inUse ? ImageList::DeviceInUse : ImageList::DeviceNotInUse));
}

void Form1::renderBusyState()
{
    const QIcon icon = view().busyIcon() ? m_pictureBusy : m_pictureFree;
    setWindowIcon(icon);
    m_tray->trayModify(view().trayTip(), icon);
}

int Form1::selectedRow() const
{
    const QList<QTreeWidgetItem *> selected = m_listView1->selectedItems();
    if (selected.isEmpty())
        return 0;
    return m_listView1->indexOfTopLevelItem(selected.first()) + 1;
}

void Form1::popUpDeviceMenu(const QPoint &globalPos)
{
    m_QQQ->popup(globalPos);
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_listView1->viewport())
        return QMainWindow::eventFilter(watched, event);
    if (event->type() == QEvent::MouseButtonDblClick) {
        // A double click opens the port settings, not the device menu of its first release.
        m_deviceMenuDelay->stop();
        m_swallowRelease = true;
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (QTreeWidgetItem *item = m_listView1->itemAt(mouse->position().toPoint())) {
            m_listView1->setCurrentItem(item);
            openPortSettings();
        }
        return true;
    }
    if (event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (m_swallowRelease) {
            m_swallowRelease = false;
            return false;
        }
        m_deviceMenuPos = mouse->globalPosition().toPoint();
        // Any button's release opens the device menu; after the left button it waits out the
        // double-click time, so a double click still reaches the port settings.
        if (mouse->button() == Qt::RightButton)
            popUpDeviceMenu(m_deviceMenuPos);
        else
            m_deviceMenuDelay->start(QApplication::doubleClickInterval());
    }
    return false;
}

} // namespace lonvera::ui
