// Where the worker server is found: its socket under the machine prefix, and its registration in
// the registry file (class id -> executable). Shared by the worker server and its client; any
// thread, no shared state.
#pragma once

#include <QString>

namespace lonvera::worker::client {

/// The worker server's socket: <prefix>/run/Tarvex80, or a per-prefix name under
/// $XDG_RUNTIME_DIR when the prefix path is too long for a socket address.
QString serverSocketPath();

/// Creates the socket's folder with user-only access (0700) and checks that it is ours;
/// false with a reason when the folder belongs to someone else or is open to others.
bool prepareSocketFolder(const QString &socketPath, QString *error);

/// The executable registered for the worker class, or "" when none is registered.
QString registeredServerPath();

/// Records the class (class id, ProgID, interfaces, type library) with its executable.
bool registerServer(const QString &executablePath);
/// Removes the class's records.
bool unregisterServer();

} // namespace lonvera::worker::client
