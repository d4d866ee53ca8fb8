// See registry_file.h.
#include "platform/registry_file.h"

#include "platform/paths.h"

namespace lonvera::platform {

RegistryFile::RegistryFile() : m_file(defaultPath()) {}

RegistryFile::RegistryFile(const QString &path) : m_file(path) {}

QString RegistryFile::defaultPath()
{
    return machinePrefix() + QStringLiteral("/registry.ini");
}

QString RegistryFile::value(const QString &group, const QString &key) const
{
    // Paths in the registry may be long; they are not cut like a program's settings.
    return m_file.readString(group, key, {}, -1);
}

bool RegistryFile::setValue(const QString &group, const QString &key, const QString &value)
{
    return m_file.writeString(group, key, value);
}

bool RegistryFile::remove(const QString &group, const QString &key)
{
    return m_file.removeKey(group, key);
}

} // namespace lonvera::platform
