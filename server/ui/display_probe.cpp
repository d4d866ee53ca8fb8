// See display_probe.h.
#include "server/ui/display_probe.h"

#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QRegularExpression>

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace lonvera::ui {

namespace {

QString env(const char *name)
{
    return qEnvironmentVariable(name);
}

// Connects to a local stream socket; abstract names start with '@'.
bool canConnect(const QByteArray &path)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= qsizetype(sizeof(address.sun_path)))
        return false;
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
    socklen_t length = socklen_t(offsetof(sockaddr_un, sun_path) + std::size_t(path.size()));
    if (path.startsWith('@'))
        address.sun_path[0] = '\0';
    else
        ++length;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&address), length) == 0;
    ::close(fd);
    return ok;
}

// An X display on this machine (":0", "unix:0.0") answers on its socket; a display on another
// host is left to the X library.
bool xDisplayAnswers(const QString &display)
{
    static const QRegularExpression local(QStringLiteral("^(unix)?:(\\d+)(\\.\\d+)?$"));
    const QRegularExpressionMatch m = local.match(display);
    if (!m.hasMatch())
        return !display.startsWith(QLatin1Char(':'));
    const QByteArray path = "/tmp/.X11-unix/X" + m.captured(2).toLatin1();
    return canConnect(path) || canConnect('@' + path);
}

bool waylandAnswers(const QString &display)
{
    const QString path =
        QDir::isAbsolutePath(display) ? display : QDir(env("XDG_RUNTIME_DIR")).filePath(display);
    return canConnect(QFile::encodeName(path));
}

bool hasWaylandPlugin()
{
    const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) +
                         QStringLiteral("/platforms"));
    return !platforms.entryList({QStringLiteral("libqwayland*")}, QDir::Files).isEmpty();
}

} // namespace

QString displayProblem()
{
    // A platform named explicitly (offscreen, vnc, ...) is the caller's choice.
    if (!env("QT_QPA_PLATFORM").isEmpty())
        return {};
    const QString x = env("DISPLAY");
    const QString wayland = env("WAYLAND_DISPLAY");
    if (!x.isEmpty() && xDisplayAnswers(x))
        return {};
    if (!wayland.isEmpty() && waylandAnswers(wayland) && hasWaylandPlugin()) {
        qputenv("QT_QPA_PLATFORM", "wayland");
        return {};
    }
    if (x.isEmpty() && wayland.isEmpty())
        return QStringLiteral("no display (neither DISPLAY nor WAYLAND_DISPLAY is set)");
    if (!x.isEmpty())
        return QStringLiteral("the display %1 does not answer").arg(x);
    return QStringLiteral("the Wayland display %1 cannot be used").arg(wayland);
}

} // namespace lonvera::ui
