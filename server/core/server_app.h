// The server program's start: the entry steps (test mode, registration, defaults, hosted mode,
// single instance) and the load of the gateway on its database. It owns the database connection,
// the store, the view model and the gateway; a window or the headless runner drives it. Server
// thread only.
#pragma once

#include "server/core/gateway.h"
#include "server/core/startup.h"

#include <memory>

namespace lonvera::db {
class Database;
}

namespace lonvera::server {

class DbGatewayStore;

class ServerApp : public QObject
{
    Q_OBJECT
public:
    enum class StartResult {
        Running,     ///< the gateway is loaded and working
        LoadFailed,  ///< the window stays up without a database (the message has been shown)
        AnotherRuns, ///< another server runs; it was asked to show itself
        PortInUse    ///< the single-instance rendezvous could not be taken; the program ends
    };

    ServerApp(const QString &programFolder, WorkerFactory *factory, QObject *parent = nullptr);
    ~ServerApp() override;

    GatewayView *view() { return &m_view; }
    Gateway *gateway() { return m_gateway.get(); }
    ServerSettings &settings() { return m_settings; }
    bool testMode() const { return m_testMode; }
    bool hostedMode() const { return m_hosted; }
    /// The connection string the database was opened with ("Dbq=.\\" resolved, or hosted mode's);
    /// empty before the database is open.
    QString connectionString() const { return m_connectionString; }

    /// Runs the entry and the load. The view is connected to by the caller beforehand.
    StartResult start(int major, int minor, int revision);

signals:
    void activationRequested();
    /// The load has read its settings and shows the window now, before the database opens.
    void showWindow();

private:
    ServerSettings m_settings;
    WorkerFactory *m_factory;
    GatewayView m_view;
    SingleInstance m_instance;
    std::unique_ptr<db::Database> m_database;
    std::unique_ptr<DbGatewayStore> m_store;
    std::unique_ptr<Gateway> m_gateway;
    bool m_testMode = false;
    bool m_hosted = false;
    QString m_connectionString;
};

} // namespace lonvera::server
