// Watches the device nodes of ports whose modem went away, and says at once when one is there
// again: a modem plugged back in is tried without waiting out the reconnect pause. A port names
// its device through a link (machine prefix/dosdevices/comN, made by the operator or the
// emulator) pointing at a node such as /dev/ttyUSB0 or a /dev/serial/by-id link; a modem coming
// back shows as a change in the folder of the link or in the folder of the node it points at,
// so both are watched. Server thread only.
#pragma once

#include <QFileSystemWatcher>
#include <QHash>
#include <QObject>
#include <QString>

namespace lonvera::server {

class DeviceNodeWatch : public QObject
{
    Q_OBJECT
public:
    explicit DeviceNodeWatch(QObject *parent = nullptr);

    /// Starts watching the port's node; appeared() follows once the node exists after having
    /// been missing. A node that exists now is remembered as present: a modem that is there but
    /// does not answer is not tried again on every change of its folder.
    void watch(int port);
    void forget(int port);
    /// The port's device node exists (the link and what it points at).
    static bool nodeExists(int port);

signals:
    void appeared(int port);

private:
    void folderChanged();
    void updateFolders();

    QFileSystemWatcher m_watcher;
    /// Watched ports and whether their node was there when last looked at.
    QHash<int, bool> m_present;
};

} // namespace lonvera::server
