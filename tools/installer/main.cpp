// Stavro, the installer: places the runtime the gateway's programs need and installs the control
// library into the machine's system folder, with a window and one button, or silently with "/s".
// A silent installation needs no display.
#include "tools/installer/installer.h"
#include "tools/installer/installer_window.h"

#include <QApplication>
#include <QCoreApplication>

#include <memory>

using namespace lonvera::installer;

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    DpkgPackageManager packages;

    if (isSilent(arguments)) {
        QCoreApplication app(argc, argv);
        Installer installer(arguments, QCoreApplication::applicationDirPath(), &packages);
        const Outcome outcome = installer.install();
        return outcome.libraryCopied ? 0 : 1;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Stavro"));
    Installer installer(arguments, QCoreApplication::applicationDirPath(), &packages);
    InstallerWindow window(&installer);
    QObject::connect(&window, &InstallerWindow::finished, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    window.start();
    return app.exec();
}
