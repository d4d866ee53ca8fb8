// Drive, COM and program-folder mappings. See paths.h.
#include "platform/paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace lonvera::platform {

namespace {

QString &programFolderOverride()
{
    static QString folder;
    return folder;
}

// Windows names are case-insensitive: "c:\WINTIC.INI" and "C:\wintic.ini" are one file. Take the
// existing entry whose name matches without regard to case; keep the given name otherwise.
QString resolveComponent(const QString &folder, const QString &name)
{
    if (QFileInfo::exists(folder + u'/' + name))
        return name;
    const QStringList entries = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden |
                                                       QDir::System | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return entry;
    }
    return name;
}

} // namespace

QString machinePrefix()
{
    const QString fromEnv = qEnvironmentVariable("LONVERA_PREFIX");
    if (!fromEnv.isEmpty())
        return QDir::cleanPath(fromEnv);
    return QDir::homePath() + QStringLiteral("/.lonvera");
}

QString mapWindowsPath(const QString &windowsPath)
{
    QString path = windowsPath;
    path.replace(u'\\', u'/');
    static const QRegularExpression drive(QStringLiteral("^([A-Za-z]):/*"));
    const QRegularExpressionMatch match = drive.match(path);
    if (!match.hasMatch())
        return path;

    QString mapped = machinePrefix() + QStringLiteral("/drive_") + match.captured(1).toLower();
    const QStringList parts = path.mid(match.capturedLength()).split(u'/', Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        if (part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..")) {
            mapped = QFileInfo(mapped).path();
            continue;
        }
        mapped += u'/' + resolveComponent(mapped, part);
    }
    return mapped;
}

QString systemFolder()
{
    return mapWindowsPath(QStringLiteral("C:\\windows\\system32"));
}

QString dosDevicesFolder()
{
    return machinePrefix() + QStringLiteral("/dosdevices");
}

namespace {

QString comPortLink(int portNumber)
{
    return dosDevicesFolder() + QStringLiteral("/com") + QString::number(portNumber);
}

} // namespace

bool comPortLinked(int portNumber)
{
    // A dangling link (an unplugged modem) still names the port; opening it then fails as a
    // missing device, which is what the operator should see.
    const QFileInfo link(comPortLink(portNumber));
    return link.isSymLink() || link.exists();
}

QString comPortDevice(int portNumber)
{
    if (comPortLinked(portNumber))
        return comPortLink(portNumber);
    return QStringLiteral("/dev/ttyS") + QString::number(portNumber - 1);
}

QString programFolder()
{
    if (!programFolderOverride().isEmpty())
        return programFolderOverride();
    const QString fromEnv = qEnvironmentVariable("LONVERA_HOME");
    if (!fromEnv.isEmpty())
        return QDir::cleanPath(fromEnv);
    if (!QCoreApplication::instance())
        return QDir::currentPath();
    return defaultProgramFolder(QCoreApplication::applicationDirPath());
}

QString defaultProgramFolder(const QString &executableFolder)
{
    const QString folder = QDir::cleanPath(executableFolder);
    // Files under /usr belong to the package manager even where root could write them, so an
    // installed gateway keeps its settings and database with the user.
    const bool packaged = folder.startsWith(QLatin1String("/usr/"));
    if (!packaged && QFileInfo(folder).isWritable())
        return folder;
    return userDataFolder();
}

QString userDataFolder()
{
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    // A relative XDG_DATA_HOME is invalid by the XDG rules, so we fall back to the default.
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return QDir::cleanPath(base + QStringLiteral("/lonvera"));
}

void setProgramFolder(const QString &folder)
{
    programFolderOverride() = folder.isEmpty() ? QString() : QDir(folder).absolutePath();
    // Processes started from here (the worker server) read the same settings files.
    if (!folder.isEmpty())
        qputenv("LONVERA_HOME", programFolderOverride().toLocal8Bit());
}

bool ensureParentFolder(const QString &filePath)
{
    return QDir().mkpath(QFileInfo(filePath).absolutePath());
}

} // namespace lonvera::platform
