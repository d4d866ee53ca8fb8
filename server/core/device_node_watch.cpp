// See device_node_watch.h.
#include "server/core/device_node_watch.h"

#include "platform/paths.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <unistd.h>

namespace lonvera::server {

namespace {

// The nearest folder of path that exists: a by-id folder goes away with its last device.
QString existingFolder(QString folder)
{
    while (!folder.isEmpty() && !QFileInfo(folder).isDir()) {
        const QString up = QFileInfo(folder).absolutePath();
        if (up == folder)
            return {};
        folder = up;
    }
    return folder;
}

} // namespace

DeviceNodeWatch::DeviceNodeWatch(QObject *parent) : QObject(parent)
{
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this,
            &DeviceNodeWatch::folderChanged);
}

bool DeviceNodeWatch::nodeExists(int port)
{
    // A node udev has made but not yet given its group is not there for us either; the change
    // of its mode is a change of its folder and is seen as well.
    const QByteArray node = QFile::encodeName(platform::comPortDevice(port));
    return ::access(node.constData(), R_OK | W_OK) == 0;
}

void DeviceNodeWatch::watch(int port)
{
    m_present[port] = nodeExists(port);
    updateFolders();
}

void DeviceNodeWatch::forget(int port)
{
    if (m_present.remove(port))
        updateFolders();
}

void DeviceNodeWatch::folderChanged()
{
    QList<int> back;
    for (auto it = m_present.begin(); it != m_present.end(); ++it) {
        const bool present = nodeExists(it.key());
        if (present && !it.value())
            back << it.key();
        it.value() = present;
    }
    // A link made again may point somewhere else (a pseudo-terminal gets a new number).
    updateFolders();
    for (int port : back)
        emit appeared(port);
}

void DeviceNodeWatch::updateFolders()
{
    QSet<QString> wanted;
    // The links' folder is watched while any port is: a link removed and made again (a modem
    // back under another node) leaves the port naming the standard serial device in between,
    // and the link's return would go unseen.
    if (!m_present.isEmpty())
        wanted << existingFolder(platform::dosDevicesFolder());
    for (auto it = m_present.cbegin(); it != m_present.cend(); ++it) {
        const QFileInfo device(platform::comPortDevice(it.key()));
        wanted << existingFolder(device.absolutePath());
        if (device.isSymLink())
            wanted << existingFolder(QFileInfo(device.symLinkTarget()).absolutePath());
    }
    wanted.remove(QString());
    const QStringList watched = m_watcher.directories();
    for (const QString &folder : watched) {
        if (!wanted.contains(folder))
            m_watcher.removePath(folder);
    }
    for (const QString &folder : wanted) {
        if (!watched.contains(folder))
            m_watcher.addPath(folder);
    }
}

} // namespace lonvera::server
