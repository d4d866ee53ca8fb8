// Where the Windows-shaped names of the system live on this machine: drive letters and the system
// folder under a per-user prefix, "COMn" as a link in the prefix's dosdevices folder (Wine's
// convention), and the program folder. Pure functions over the file system; any thread.
#pragma once

#include <QString>

namespace lonvera::platform {

/// The machine prefix: $LONVERA_PREFIX, or ~/.lonvera.
QString machinePrefix();

/// Maps "C:\\dir\\file" (either slash, any case of the drive letter) to <prefix>/drive_c/dir/file.
/// Existing folders and files are matched without regard to case, as Windows does. A path without
/// a drive letter only has its backslashes turned into slashes.
QString mapWindowsPath(const QString &windowsPath);

/// The Windows system folder: <prefix>/drive_c/windows/system32.
QString systemFolder();

/// <prefix>/dosdevices, where comN links to a serial device.
QString dosDevicesFolder();

/// The device behind "COMn": <prefix>/dosdevices/comN when that link exists, else /dev/ttyS<n-1>.
QString comPortDevice(int portNumber);
/// "COMn" is named by a link of the machine prefix (also one naming a device that is gone).
bool comPortLinked(int portNumber);

/// The program folder: as set by setProgramFolder (--home), else $LONVERA_HOME, else the folder of
/// the running executable when it is writable, else userDataFolder() (an installed program lives
/// in a read-only folder).
QString programFolder();
/// The program folder for a program in executableFolder: that folder when it is writable and
/// not under /usr, else userDataFolder().
QString defaultProgramFolder(const QString &executableFolder);
/// $XDG_DATA_HOME/lonvera, by default ~/.local/share/lonvera.
QString userDataFolder();
void setProgramFolder(const QString &folder);

/// Creates the folder that will hold the file, so a first write into a fresh prefix succeeds.
bool ensureParentFolder(const QString &filePath);

} // namespace lonvera::platform
