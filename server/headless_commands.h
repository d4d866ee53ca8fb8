// Operator commands for the headless server, one per line on standard input, so a script can do
// what the window's device menu does: "pause N" ("暂停该设备" on device row N), "start N"
// ("启动该设备"), "close" (the close command). Unknown lines are answered on standard error.
// Standard input at its end (or /dev/null) switches the reader off. Server thread only.
#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <functional>

namespace lonvera::server {

class Gateway;

class HeadlessCommands : public QObject
{
    Q_OBJECT
public:
    /// Reads file descriptor fd (standard input) and applies each line to the gateway.
    HeadlessCommands(int fd, Gateway *gateway, std::function<void(const QString &)> complain,
                     QObject *parent = nullptr);

    /// Applies one command line; false when it is no command.
    static bool apply(Gateway *gateway, const QString &line);

private:
    void readAvailable();

    int m_fd;
    Gateway *m_gateway;
    std::function<void(const QString &)> m_complain;
    QSocketNotifier m_notifier;
    QByteArray m_pending;
};

} // namespace lonvera::server
