// The machine's component registrations, the one place that says what registering a component
// means here: the control library is recorded with its path (and the shipped version) the way
// regsvr32 records an in-process library, and a local server records its class (class id, ProgID,
// interfaces, type library) with its executable the way "/regserver" does. The installer, the
// gateway server and the worker server all register through this module. Any thread.
#pragma once

#include <QString>

namespace lonvera::platform {

/// The control library's file name, shipped beside the programs and placed in the system folder.
inline constexpr char kControlLibraryFile[] = "libQuillon308.so";

/// Copies a shipped component over the one at target (replacing it) and keeps its permissions, so
/// a copied executable stays executable. False when the source is missing or the copy fails.
bool copyComponent(const QString &source, const QString &target);

/// Records the control library at libraryPath; an empty version leaves the recorded one alone.
bool registerControlLibrary(const QString &libraryPath, const QString &version = {});
/// The path recorded for the control library, or "" when none is.
QString registeredControlLibrary();

/// A class served by a local server executable.
struct ServerClass
{
    QString classId;
    QString progId;
    QString typeLibrary;
    QString interfaceId;
    QString eventInterfaceId;
};

/// Records the class with the executable that serves it.
bool registerLocalServer(const ServerClass &serverClass, const QString &executablePath);
/// Removes the class's records; true when the class is gone afterwards.
bool unregisterLocalServer(const ServerClass &serverClass);
/// The executable registered for the class id, or "" when none is registered.
QString registeredLocalServer(const QString &classId);

} // namespace lonvera::platform
