// The machine's component registry: <prefix>/registry.ini, a profile file whose groups are class
// ids and library names. Registering a component writes its executable or library path and
// version here; creating a worker by class id reads it back. Any thread.
#pragma once

#include "platform/profile_file.h"

namespace lonvera::platform {

class RegistryFile
{
public:
    RegistryFile();
    explicit RegistryFile(const QString &path);

    static QString defaultPath();

    QString value(const QString &group, const QString &key) const;
    bool setValue(const QString &group, const QString &key, const QString &value);
    bool remove(const QString &group, const QString &key);

private:
    ProfileFile m_file;
};

} // namespace lonvera::platform
