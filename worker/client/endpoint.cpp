// See endpoint.h.
#include "worker/client/endpoint.h"

#include "platform/component_registry.h"
#include "platform/paths.h"
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

platform::ServerClass workerClass()
{
    return {QString::fromLatin1(protocol::kClassId), QString::fromLatin1(protocol::kProgId),
            QString::fromLatin1(protocol::kTypeLibrary),
            QString::fromLatin1(protocol::kDefaultInterfaceId),
            QString::fromLatin1(protocol::kEventInterfaceId)};
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
    return platform::registeredLocalServer(workerClass().classId);
}

bool registerServer(const QString &executablePath)
{
    return platform::registerLocalServer(workerClass(), executablePath);
}

bool unregisterServer()
{
    return platform::unregisterLocalServer(workerClass());
}

} // namespace lonvera::worker::client
