// See endpoint.h.
#include "worker/client/endpoint.h"

#include "platform/paths.h"
#include "platform/registry_file.h"
#include "worker/protocol/identity.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace lonvera::worker::client {

namespace {

// sockaddr_un holds 108 bytes including the terminating NUL.
constexpr int kMaxSocketPath = 100;

const QString kLocalServerKey = QStringLiteral("LocalServer32");

QString classGroup()
{
    return QString::fromLatin1(protocol::kClassId);
}

} // namespace

QString serverSocketPath()
{
    const QString prefix = platform::machinePrefix();
    const QString inPrefix = QDir(prefix).filePath(QStringLiteral("run/Tarvex80"));
    if (inPrefix.toLocal8Bit().size() <= kMaxSocketPath)
        return inPrefix;
    QString base = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (base.isEmpty())
        base = QDir::tempPath();
    const QByteArray hash =
        QCryptographicHash::hash(QDir::cleanPath(prefix).toUtf8(), QCryptographicHash::Sha1)
            .toHex()
            .left(16);
    return QStringLiteral("%1/lonvera-%2-%3/Tarvex80")
        .arg(base)
        .arg(::getuid())
        .arg(QString::fromLatin1(hash));
}

bool prepareSocketFolder(const QString &socketPath, QString *error)
{
    const QString folder = QFileInfo(socketPath).absolutePath();
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("cannot create %1").arg(folder);
        return false;
    }
    const QByteArray native = QFile::encodeName(folder);
    ::chmod(native.constData(), S_IRWXU);
    struct stat info = {};
    if (::lstat(native.constData(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        *error = QStringLiteral("%1 is not a folder").arg(folder);
        return false;
    }
    if (info.st_uid != ::getuid() || (info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        *error = QStringLiteral("%1 is not private to this user").arg(folder);
        return false;
    }
    return true;
}

QString registeredServerPath()
{
    return platform::RegistryFile().value(classGroup(), kLocalServerKey);
}

bool registerServer(const QString &executablePath)
{
    platform::RegistryFile registry;
    const QString group = classGroup();
    bool ok = registry.setValue(group, kLocalServerKey, executablePath);
    ok = registry.setValue(group, QStringLiteral("ProgID"),
                           QString::fromLatin1(protocol::kProgId)) &&
         ok;
    ok = registry.setValue(group, QStringLiteral("TypeLib"),
                           QString::fromLatin1(protocol::kTypeLibrary)) &&
         ok;
    ok = registry.setValue(group, QStringLiteral("Interface"),
                           QString::fromLatin1(protocol::kDefaultInterfaceId)) &&
         ok;
    ok = registry.setValue(group, QStringLiteral("EventInterface"),
                           QString::fromLatin1(protocol::kEventInterfaceId)) &&
         ok;
    ok =
        registry.setValue(QString::fromLatin1(protocol::kProgId), QStringLiteral("CLSID"), group) &&
        ok;
    return ok;
}

bool unregisterServer()
{
    platform::RegistryFile registry;
    const QString group = classGroup();
    for (const QString &key : {kLocalServerKey, QStringLiteral("ProgID"), QStringLiteral("TypeLib"),
                               QStringLiteral("Interface"), QStringLiteral("EventInterface")})
        registry.remove(group, key);
    registry.remove(QString::fromLatin1(protocol::kProgId), QStringLiteral("CLSID"));
    // Removing what is not there is no failure; what counts is that the class is gone.
    return registry.value(group, kLocalServerKey).isEmpty();
}

} // namespace lonvera::worker::client
