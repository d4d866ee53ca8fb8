// Tarvex80, the worker server: hosts QXSms workers, one per modem, on a pool of 18 threads behind
// a user-only local socket. "--regserver" records the class in the machine's registry file and
// "--unregserver" removes it; started without them it serves until its last worker is released.
#include "worker/client/endpoint.h"
#include "worker/protocol/identity.h"
#include "worker/worker_server.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

using namespace lonvera::worker;

namespace {

// The switches are accepted in the forms the system's installers use: "/regserver",
// "-RegServer", "--regserver".
QString switchName(const QString &argument)
{
    QString name = argument;
    while (name.startsWith(QLatin1Char('-')) || name.startsWith(QLatin1Char('/')))
        name.remove(0, 1);
    return name.toLower();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QString::fromLatin1(protocol::kServerTitle));

    int idleMs = -1;
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    for (int i = 0; i < arguments.size(); ++i) {
        const QString name = switchName(arguments[i]);
        if (name == QLatin1String("regserver")) {
            if (!client::registerServer(QCoreApplication::applicationFilePath())) {
                std::fprintf(stderr, "Tarvex80: cannot write the registry file\n");
                return 1;
            }
            return 0;
        }
        if (name == QLatin1String("unregserver")) {
            return client::unregisterServer() ? 0 : 1;
        }
        if (name == QLatin1String("idle-timeout") && i + 1 < arguments.size()) {
            idleMs = arguments[++i].toInt();
        } else if (name != QLatin1String("embedding") && name != QLatin1String("automation")) {
            std::fprintf(stderr, "usage: Tarvex80 [--regserver | --unregserver]\n");
            return 2;
        }
    }

    WorkerServer server;
    if (idleMs > 0)
        server.setIdleTimeout(idleMs);
    const QString path = client::serverSocketPath();
    QString error;
    if (!client::prepareSocketFolder(path, &error) || !server.listen(path, &error)) {
        std::fprintf(stderr, "Tarvex80: %s\n", qPrintable(error));
        return 1;
    }
    // Let the last answers and the goodbye reach the clients before the process ends.
    QObject::connect(&server, &WorkerServer::finished, &app,
                     [] { QTimer::singleShot(50, qApp, &QCoreApplication::quit); });
    return app.exec();
}
