// See startup.h.
#include "server/core/startup.h"

#include "platform/component_registry.h"
#include "platform/paths.h"
#include "platform/profile_file.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>

namespace lonvera::server {

using namespace Qt::StringLiterals;

namespace {

// A shipped component sits in the program folder; an installed gateway keeps its program folder
// apart from its read-only program files, so the component beside the running executable serves
// when the program folder has none.
QString shippedComponent(const ServerSettings &settings, const QString &fileName)
{
    const QString inProgramFolder = settings.filePath(fileName);
    if (QFileInfo::exists(inProgramFolder) || !QCoreApplication::instance())
        return inProgramFolder;
    const QString besideProgram = QDir(QCoreApplication::applicationDirPath()).filePath(fileName);
    return QFileInfo::exists(besideProgram) ? besideProgram : inProgramFolder;
}

} // namespace

bool registerComponents(const ServerSettings &settings,
                        const std::function<void(const QString &)> &showMessage,
                        const std::function<void(const QString &)> &runRegServer)
{
    const QString version = settings.value(keys::ComponentVersion);
    platform::ProfileFile wintic(platform::mapWindowsPath(u"C:\\wintic.ini"_s));
    const QString system = platform::systemFolder();
    const QString libraryTarget =
        QDir(system).filePath(QString::fromLatin1(platform::kControlLibraryFile));
    if (wintic.readString(u"test"_s, u"RegOcxVer"_s) == version && QFileInfo::exists(libraryTarget))
        return false;
    QDir().mkpath(system);

    QString quillon = settings.value(keys::LibraryName);
    if (quillon.isEmpty())
        quillon = u"Quillon308"_s;
    const QString librarySource = shippedComponent(settings, u"lib"_s + quillon + u".so"_s);
    if (!platform::copyComponent(librarySource, libraryTarget)) {
        showMessage(u"找不到Quillon308.ocx--"_s + settings.value(keys::LibraryName));
    } else {
        platform::registerControlLibrary(libraryTarget, version);
    }

    QString tarvex = settings.value(keys::WorkerServerName);
    if (tarvex.isEmpty())
        tarvex = u"Tarvex80"_s;
    const QString serverTarget = QDir(system).filePath(tarvex);
    if (!platform::copyComponent(shippedComponent(settings, tarvex), serverTarget)) {
        showMessage(u"找不到tarvex.exe--"_s + settings.value(keys::WorkerServerName));
    } else if (runRegServer) {
        runRegServer(serverTarget);
    } else {
        QProcess::startDetached(serverTarget, {u"--regserver"_s});
    }
    platform::ensureParentFolder(wintic.path());
    wintic.writeString(u"test"_s, u"RegOcxVer"_s, version);
    return true;
}

SingleInstance::SingleInstance(QObject *parent) : QObject(parent)
{
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server.nextPendingConnection()) {
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->readAll().contains("show"))
                    emit activationRequested();
                socket->disconnectFromServer();
            });
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

QString SingleInstance::serverName()
{
    const QByteArray prefix = QDir(platform::machinePrefix()).absolutePath().toUtf8();
    return u"Lonvera-Brevin-"_s +
           QString::fromLatin1(
               QCryptographicHash::hash(prefix, QCryptographicHash::Sha1).toHex().left(16));
}

SingleInstance::Outcome SingleInstance::acquire()
{
    const QString name = serverName();
    QLocalSocket probe;
    probe.connectToServer(name);
    if (probe.waitForConnected(1000)) {
        probe.write("show\n");
        probe.waitForBytesWritten(1000);
        probe.disconnectFromServer();
        return Outcome::AnotherRuns;
    }
    // Nobody answers: a name left behind by a crashed server is ours to take.
    QLocalServer::removeServer(name);
    return m_server.listen(name) ? Outcome::First : Outcome::Failed;
}

QString alreadyRunningMessage()
{
    return u"服务器程序已启动，请点击任务栏中的小图标进行查看！"_s;
}

QString portInUseMessage()
{
    return u"端口已打开，不能在同一电脑中运行多个服务程序！"_s;
}

} // namespace lonvera::server
