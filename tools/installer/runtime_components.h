// The runtime components the installer places before the control library: each is a set of Debian
// packages, checked one by one; a present package is left alone, a missing one is installed when
// the installer may do so (it runs as root), otherwise it is named in the one command that
// installs everything missing. The package manager sits behind an interface so tests never touch
// the machine's packages. Any thread.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace lonvera::installer {

struct RuntimeComponent
{
    QString name;
    QStringList packages;
};

/// The components in installation order, from the table shipped with the installer.
QList<RuntimeComponent> runtimeComponents();
/// Parses the table: one component a line, its name and then its packages; "#" starts a comment.
QList<RuntimeComponent> parseRuntimeComponents(const QString &table);

class PackageManager
{
public:
    virtual ~PackageManager() = default;
    virtual bool isInstalled(const QString &package) = 0;
    /// True when install() may change the machine (the installer runs as root).
    virtual bool canInstall() const = 0;
    /// Installs the packages without asking; false when that failed.
    virtual bool install(const QStringList &packages) = 0;
};

/// The one command an administrator runs to install the packages.
QString installCommand(const QStringList &packages);

/// dpkg's database and apt-get, non-interactively.
class DpkgPackageManager : public PackageManager
{
public:
    bool isInstalled(const QString &package) override;
    bool canInstall() const override;
    bool install(const QStringList &packages) override;
};

} // namespace lonvera::installer
