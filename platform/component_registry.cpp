// See component_registry.h.
#include "platform/component_registry.h"

#include "platform/registry_file.h"

#include <QFile>
#include <QFileInfo>

namespace lonvera::platform {

namespace {

const QString kLibraryGroup = QStringLiteral("Quillon308");
const QString kLocalServerKey = QStringLiteral("LocalServer32");

} // namespace

bool copyComponent(const QString &source, const QString &target)
{
    if (!QFileInfo(source).isFile())
        return false;
    // A library in use by a running program can still be unlinked and replaced here; what fails
    // is a target folder or file we may not write.
    QFile::remove(target);
    if (!QFile::copy(source, target))
        return false;
    QFile::setPermissions(target, QFile::permissions(source));
    return true;
}

bool registerControlLibrary(const QString &libraryPath, const QString &version)
{
    RegistryFile registry;
    bool ok = registry.setValue(kLibraryGroup, QStringLiteral("path"), libraryPath);
    if (!version.isEmpty())
        ok = registry.setValue(kLibraryGroup, QStringLiteral("version"), version) && ok;
    return ok;
}

QString registeredControlLibrary()
{
    return RegistryFile().value(kLibraryGroup, QStringLiteral("path"));
}

bool registerLocalServer(const ServerClass &serverClass, const QString &executablePath)
{
    RegistryFile registry;
    const QString &group = serverClass.classId;
    bool ok = registry.setValue(group, kLocalServerKey, executablePath);
    ok = registry.setValue(group, QStringLiteral("ProgID"), serverClass.progId) && ok;
    ok = registry.setValue(group, QStringLiteral("TypeLib"), serverClass.typeLibrary) && ok;
    ok = registry.setValue(group, QStringLiteral("Interface"), serverClass.interfaceId) && ok;
    ok = registry.setValue(group, QStringLiteral("EventInterface"), serverClass.eventInterfaceId) &&
         ok;
    ok = registry.setValue(serverClass.progId, QStringLiteral("CLSID"), group) && ok;
    return ok;
}

bool unregisterLocalServer(const ServerClass &serverClass)
{
    RegistryFile registry;
    const QString &group = serverClass.classId;
    for (const QString &key : {kLocalServerKey, QStringLiteral("ProgID"), QStringLiteral("TypeLib"),
                               QStringLiteral("Interface"), QStringLiteral("EventInterface")})
        registry.remove(group, key);
    registry.remove(serverClass.progId, QStringLiteral("CLSID"));
    // Removing what is not there is no failure; what counts is that the class is gone.
    return registry.value(group, kLocalServerKey).isEmpty();
}

QString registeredLocalServer(const QString &classId)
{
    return RegistryFile().value(classId, kLocalServerKey);
}

} // namespace lonvera::platform
