// Form1, the main window: the device list ListView1, the status lights of Frame3, the buttons of
// Frame4, the run log List1 in Frame2, the menus, the device menu, the tray icon and its menu.
// It renders the core's GatewayView and turns the operator's commands into calls on the Gateway;
// it keeps no state of the gateway itself beyond InTray. GUI thread only.
#pragma once

#include "server/ui/dialog_hooks.h"

#include <QIcon>
#include <QMainWindow>
#include <QPointer>

class QAction;
class QDialog;
class QGroupBox;
class QListWidget;
class QMenu;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace lonvera::server {
class Gateway;
class GatewayView;
class ServerApp;
class ServerSettings;
} // namespace lonvera::server

namespace lonvera::ui {

class NoticeIcon;
class SoundPlayer;
class StatusLights;

class Form1 : public QMainWindow
{
    Q_OBJECT
public:
    /// The window follows the server's start: it shows itself when the load reaches the window
    /// and renders the server's view from then on.
    explicit Form1(server::ServerApp &app, QWidget *parent = nullptr);
    ~Form1() override;

    void setDialogHooks(DialogHooks hooks) { m_hooks = std::move(hooks); }

    server::Gateway *gateway() const;
    server::GatewayView &view() const;
    server::ServerSettings &settings() const;
    /// The connection string of the server's database, for lists that read it themselves.
    QString connectionString() const;
    /// The program icon (the configured icon file, else the drawn one).
    QIcon programIcon() const { return m_pictureFree; }

    QTreeWidget *listView1() const { return m_listView1; }
    QListWidget *list1() const { return m_list1; }
    StatusLights *frame3() const { return m_frame3; }
    QGroupBox *frame2() const { return m_frame2; }
    NoticeIcon *noticeIcon() const { return m_tray; }
    bool inTray() const { return m_inTray; }
    /// The device-list row (1-based) of the selected item, 0 without one.
    int selectedRow() const;

    // Commands, as the menus and buttons run them.
    void connectAllDevices();
    void openSettings();
    void openPortSettings();
    void startSelectedDevice();
    void pauseSelectedDevice();
    void markSelectedDevice(bool inUse);
    void closeService();
    void showAbout();
    void openHomePage();

    void minimizeToTray();
    void restoreFromTray();
    /// A second start asked this server to show itself.
    void activateFromSecondStart();

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

signals:
    /// The close sequence has run and the window is gone: the program may end.
    void unloaded();

private:
    void buildControls();
    void buildMenus();
    void connectView();
    void showAtLoad();
    void fillDeviceList();
    void renderRow(int n);
    void renderBusyState();
    void popUpDeviceMenu(const QPoint &globalPos);
    void unload();

    server::ServerApp &m_app;
    DialogHooks m_hooks;
    QIcon m_pictureFree;
    QIcon m_pictureBusy;

    QTreeWidget *m_listView1 = nullptr;
    StatusLights *m_frame3 = nullptr;
    QGroupBox *m_frame2 = nullptr;
    QListWidget *m_list1 = nullptr;
    QPushButton *m_command1 = nullptr;
    QPushButton *m_command2 = nullptr;
    QPushButton *m_command3 = nullptr;

    QAction *m_set = nullptr;
    QMenu *m_sssss = nullptr;
    QMenu *m_ddddd = nullptr;
    QMenu *m_QQQ = nullptr;
    /// Hidden: their enabled states are the device list's previous-page and next-page switches.
    QAction *m_aaa = nullptr;
    QAction *m_bbb = nullptr;

    NoticeIcon *m_tray = nullptr;
    SoundPlayer *m_sounds = nullptr;
    QTimer *m_deviceMenuDelay = nullptr;
    QPoint m_deviceMenuPos;
    QPointer<QDialog> m_about;
    bool m_inTray = false;
    bool m_unloading = false;
    bool m_swallowRelease = false;
};

} // namespace lonvera::ui
