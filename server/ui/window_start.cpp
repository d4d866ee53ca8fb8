// See window_start.h.
#include "server/ui/window_start.h"

#include "server/core/server_app.h"
#include "server/ui/dialog_hooks.h"
#include "server/ui/form1.h"

#include <QApplication>

namespace lonvera::ui {

int runWithWindow(QApplication &app, server::ServerApp &server, int major, int minor, int revision)
{
    // The window hides in the tray and dialogs come and go: only the close sequence ends us.
    app.setQuitOnLastWindowClosed(false);
    Form1 window(server);
    window.setDialogHooks(programDialogs());
    QObject::connect(&window, &Form1::unloaded, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    switch (server.start(major, minor, revision)) {
    case server::ServerApp::StartResult::AnotherRuns:
        return 0;
    case server::ServerApp::StartResult::PortInUse:
        return 1;
    case server::ServerApp::StartResult::LoadFailed:
        // The window stays up with its message shown; the load steps after the failure have not
        // run.
    case server::ServerApp::StartResult::Running:
        break;
    }
    return app.exec();
}

} // namespace lonvera::ui
