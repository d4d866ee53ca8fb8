// Form1's commands, the tray icon, minimising and restoring, activation by a second start, and
// closing. The controls and the rendering of the view are in form1.cpp.
#include "server/ui/form1.h"

#include "server/core/server_app.h"
#include "server/ui/about_box.h"
#include "server/ui/notice_icon.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QUrl>

namespace lonvera::ui {

using namespace Qt::StringLiterals;

namespace {

// The maker's home page, opened by "主页(&H)".
const char kHomePage[] = "https://lonvera.example/";

} // namespace

void Form1::connectAllDevices()
{
    if (server::Gateway *g = gateway())
        g->connectAll();
}

void Form1::openSettings()
{
    if (m_hooks.openSettings)
        m_hooks.openSettings(*this);
}

void Form1::openPortSettings()
{
    const int n = selectedRow();
    if (n > 0 && m_hooks.openPortSettings)
        m_hooks.openPortSettings(*this, n);
}

void Form1::startSelectedDevice()
{
    const int n = selectedRow();
    server::Gateway *g = gateway();
    if (n == 0 || !g || !g->deviceRecordOfRow(n))
        return;
    g->startDeviceRow(n);
}

void Form1::pauseSelectedDevice()
{
    const int n = selectedRow();
    if (server::Gateway *g = gateway(); n > 0 && g)
        g->pauseDeviceRow(n);
}

void Form1::markSelectedDevice(bool inUse)
{
    const int n = selectedRow();
    server::Gateway *g = gateway();
    if (n == 0 || !g || !g->deviceRecordOfRow(n))
        return;
    g->markRowInUse(n, inUse);
}

void Form1::closeService()
{
    server::Gateway *g = gateway();
    if (!g) {
        unload();
        return;
    }
    // Declining the question keeps the server working out of the way, in the tray.
    if (!g->requestClose(false) && !m_unloading)
        showMinimized();
}

void Form1::showAbout()
{
    if (!m_about) {
        m_about = new AboutBox(m_pictureFree, this);
        m_about->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

void Form1::openHomePage()
{
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(kHomePage)));
}

void Form1::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    // Queued: a minimise may still be on its way to showing the window.
    if (event->type() == QEvent::WindowStateChange && isMinimized())
        QMetaObject::invokeMethod(this, &Form1::minimizeToTray, Qt::QueuedConnection);
}

void Form1::minimizeToTray()
{
    if (m_inTray || m_unloading || !isMinimized())
        return;
    // Without a notification area a hidden window could not be reached again: it stays an
    // ordinary minimised window.
    if (!NoticeIcon::isAvailable())
        return;
    m_inTray = true;
    hide();
    m_tray->trayAdd(u"手机短信服务已启动\r欢迎使用"_s + QString::fromLatin1(server::kProgramTitle) +
                        u"软件！"_s,
                    windowIcon());
}

void Form1::restoreFromTray()
{
    m_tray->trayDelete();
    show();
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    raise();
    activateWindow();
    m_inTray = false;
}

void Form1::activateFromSecondStart()
{
    if (m_unloading)
        return;
    restoreFromTray();
}

void Form1::closeEvent(QCloseEvent *event)
{
    if (m_unloading) {
        event->accept();
        return;
    }
    // The close box keeps the server running: it only minimises.
    event->ignore();
    if (server::Gateway *g = gateway())
        g->requestClose(true);
    else
        showMinimized();
}

void Form1::unload()
{
    if (m_unloading)
        return;
    m_unloading = true;
    m_tray->trayDelete();
    if (m_about)
        m_about->close();
    close();
    emit unloaded();
}

} // namespace lonvera::ui
