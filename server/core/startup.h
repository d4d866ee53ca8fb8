// The server's entry steps before the gateway loads: component registration (copying the control
// library and the worker server into the system folder and registering them when the shipped
// version changed or the library is missing), the written defaults, and the single-instance rule
// with its activation request. Server thread only.
#pragma once

#include "server/core/server_settings.h"

#include <QLocalServer>
#include <QObject>

#include <functional>

namespace lonvera::server {

/// Registers the components when needed; failures only show their message. Returns true when
/// registration ran. runRegServer starts the copied worker server with "--regserver" and does
/// not wait (tests replace it).
bool registerComponents(const ServerSettings &settings,
                        const std::function<void(const QString &)> &showMessage,
                        const std::function<void(const QString &)> &runRegServer = {});

/// The one running server per machine prefix. The first start listens; a later start asks it to
/// show itself and learns that it runs.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    enum class Outcome { First, AnotherRuns, Failed };

    explicit SingleInstance(QObject *parent = nullptr);
    /// The name of the rendezvous for the current machine prefix.
    static QString serverName();
    Outcome acquire();

signals:
    /// A later start asked the running server to show its window.
    void activationRequested();

private:
    QLocalServer m_server;
};

/// The message a second start shows.
QString alreadyRunningMessage();
/// The message when the single-instance rendezvous cannot be taken (error 10048).
QString portInUseMessage();

} // namespace lonvera::server
