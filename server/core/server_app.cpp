// See server_app.h.
#include "server/core/server_app.h"

#include "server/core/db_gateway_store.h"
#include "server/core/first_start.h"
#include "server/db/database.h"
#include "server/db/startup_connection.h"

#include <QCoreApplication>

namespace lonvera::server {

using namespace Qt::StringLiterals;

ServerApp::ServerApp(const QString &programFolder, WorkerFactory *factory, QObject *parent)
    : QObject(parent), m_settings(programFolder), m_factory(factory)
{
    connect(&m_instance, &SingleInstance::activationRequested, this,
            &ServerApp::activationRequested);
}

ServerApp::~ServerApp()
{
    // The gateway releases its workers and the store before the connection closes.
    m_gateway.reset();
    m_store.reset();
    m_database.reset();
}

ServerApp::StartResult ServerApp::start(int major, int minor, int revision)
{
    QString reason;
    // Read before anything writes into it: the defaults below create a missing file.
    const QString settingsFile = m_settings.filePath(u"set.ini"_s);
    db::SettingsFileState settingsState = db::settingsFileState(settingsFile);
    const QString version = u"%1.%2.%3"_s.arg(major).arg(minor).arg(revision);
    const FirstStart first = prepareProgramFolder(m_settings.programFolder(), version, &reason);
    if (first == FirstStart::Failed)
        m_view.showMessage(reason);
    else if (first == FirstStart::Prepared)
        settingsState = db::settingsFileState(settingsFile);
    m_testMode = m_settings.testMode();
    registerComponents(m_settings, [this](const QString &text) { m_view.showMessage(text); });
    m_settings.writeDefaults();
    m_hosted = m_settings.hostedMode();
    switch (m_instance.acquire()) {
    case SingleInstance::Outcome::AnotherRuns:
        if (!m_hosted)
            m_view.showMessage(alreadyRunningMessage());
        return StartResult::AnotherRuns;
    case SingleInstance::Outcome::Failed:
        m_view.showMessage(portInUseMessage());
        return StartResult::PortInUse;
    case SingleInstance::Outcome::First:
        break;
    }

    m_gateway = std::make_unique<Gateway>(m_settings, m_factory, &m_view);
    m_gateway->setVersion(major, minor, revision);
    m_gateway->loadSettings();
    emit showWindow();
    QCoreApplication::processEvents();

    m_database = std::make_unique<db::Database>();
    const db::StartupConnection connection =
        db::openAtStartup(*m_database, m_gateway->loaded().database, m_settings.programFolder(),
                          m_hosted, settingsFile, settingsState);
    if (!connection.outcome.ok()) {
        QString text = connection.outcome.description;
        if (!connection.explanation.isEmpty())
            text += u"\r"_s + connection.explanation;
        m_view.showMessage(text);
        return StartResult::LoadFailed;
    }
    // The window's lists open connections of their own to the same database.
    m_connectionString = m_hosted ? db::readHostedConnectionString(m_settings.programFolder())
                                  : connection.plan.connectionString;
    m_store = std::make_unique<DbGatewayStore>(*m_database);
    m_store->setLog([this](const QString &message) { m_gateway->log(message); });
    m_gateway->attachStore(m_store.get());
    return StartResult::Running;
}

} // namespace lonvera::server
