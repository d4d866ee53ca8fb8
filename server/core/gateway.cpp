// Loading, the periodic timers, counters, the run log and the close sequence of the Gateway.
// The device pool, the dispatcher and the event handlers are in their own files.
#include "server/core/gateway.h"

#include <QCoreApplication>
#include <QDir>

#include <limits>

namespace lonvera::server {

using namespace Qt::StringLiterals;

Gateway::Gateway(ServerSettings settings, WorkerFactory *factory, GatewayView *view,
                 QObject *parent)
    : QObject(parent), m_settings(std::move(settings)), m_factory(factory), m_view(view)
{
    m_autoConnectTimer.setSingleShot(true);
    m_autoConnectTimer.setInterval(1000);
    connect(&m_autoConnectTimer, &QTimer::timeout, this, &Gateway::connectAll);
    m_dispatchTimer.setInterval(1000);
    connect(&m_dispatchTimer, &QTimer::timeout, this, &Gateway::dispatchTick);
    m_countTimer.setInterval(3000);
    connect(&m_countTimer, &QTimer::timeout, this, &Gateway::updateTableCounters);
    m_trimTimer.setInterval(60000);
    connect(&m_trimTimer, &QTimer::timeout, this, &Gateway::trimRunLog);
    // Counts are saved every minute as well, so a crash loses at most a minute of them.
    m_counterSaveTimer.setInterval(60000);
    connect(&m_counterSaveTimer, &QTimer::timeout, this, &Gateway::saveSentCounters);
    m_claimSweepTimer.setInterval(60000);
    connect(&m_claimSweepTimer, &QTimer::timeout, this, &Gateway::releaseStaleClaims);
    for (int n = 1; n <= kSlots; ++n) {
        QTimer &timer = m_reconnectTimers[std::size_t(n - 1)];
        timer.setSingleShot(true);
        connect(&timer, &QTimer::timeout, this, [this, n] { reconnectDevice(n); });
    }
    connect(&m_nodeWatch, &DeviceNodeWatch::appeared, this, &Gateway::deviceNodeAppeared);
}

Gateway::~Gateway()
{
    for (int n = 1; n <= kSlots; ++n)
        releaseWorker(n);
}

qint32 Gateway::sentCount(int n) const
{
    return validSlot(n) ? m_sentCounters[std::size_t(n)] : 0;
}

void Gateway::setVersion(int major, int minor, int revision)
{
    m_versionText = u"%1.%2.%3"_s.arg(major).arg(minor).arg(revision);
}

void Gateway::loadSettings()
{
    m_loaded = m_settings.load();
    if (!m_loaded.iconBaseName.isEmpty())
        m_view->setIconPath(m_settings.filePath(m_loaded.iconBaseName + u".ico"_s));
    if (!m_loaded.caption.isEmpty())
        m_view->setCaption(m_loaded.caption);
    m_view->setDeviceCount(kSlots);
    m_view->setCaption(QLatin1String(kProgramTitle) + u" V"_s + m_versionText);
}

void Gateway::attachStore(GatewayStore *store)
{
    m_store = store;
    fillDeviceList();
    loadSentCounters();
    for (int n = 1; n <= GatewayView::kLights; ++n)
        m_view->setLight(n, Light::NotConnected);
    if (m_loaded.autoConnect)
        m_autoConnectTimer.start();
    updateTableCounters();
    m_countTimer.start();
    m_trimTimer.start();
    m_counterSaveTimer.start();
    m_claimSweepTimer.start();
}

void Gateway::fillDeviceList()
{
    QString error;
    const QList<DeviceRecord> devices = m_store->devices(kSlots, &error);
    if (!error.isEmpty())
        log(u"："_s + error);
    QList<DeviceRowView> rows;
    for (const DeviceRecord &d : devices) {
        DeviceRowView row;
        row.id = d.id;
        // The model column shows "--" until the device reports its model on connecting.
        row.columns = {d.setName,
                       u"--"_s,
                       d.com,
                       d.rate,
                       QString::number(d.msgMax),
                       QString::number(d.msgSendedCount),
                       d.pace,
                       d.forNo};
        row.inUse = d.inUseing == u"启用"_s;
        rows.append(row);
    }
    m_view->setRows(rows);
}

void Gateway::loadSentCounters()
{
    // Counted by slot: slot n serves the n-th comset row whatever its id, so a device whose id
    // is above 16 still meets its limit.
    const QList<DeviceRecord> devices = m_store->devices(kSlots, nullptr);
    for (qsizetype i = 0; i < devices.size(); ++i) {
        m_sentCounters[std::size_t(i + 1)] = qint32(
            std::clamp<qint64>(devices[i].msgSendedCount, 0, std::numeric_limits<qint32>::max()));
    }
}

bool Gateway::saveSentCounters()
{
    if (!m_store)
        return false;
    QList<std::pair<int, qint64>> counts;
    for (int n = 1; n <= kSlots; ++n) {
        if (const DeviceRowView *row = m_view->row(n))
            counts.append({row->id, m_sentCounters[std::size_t(n)]});
    }
    QString error;
    const bool ok = m_store->saveSentCounters(counts, &error);
    if (!ok)
        log(u"：保存已发数失败 "_s + error);
    return ok;
}

void Gateway::addSent(int n, qint64 count)
{
    if (!validSlot(n))
        return;
    qint32 &counter = m_sentCounters[std::size_t(n)];
    // 32 bits and saturating: a busy device passes 32,767 messages within days.
    counter =
        qint32(std::clamp<qint64>(qint64(counter) + count, 0, std::numeric_limits<qint32>::max()));
}

int Gateway::deviceIdOfSlot(int n) const
{
    const DeviceRowView *row = m_view->row(n);
    return row ? row->id : n;
}

void Gateway::log(const QString &message)
{
    m_view->runLog().append(RunLog::timeText() + message);
}

void Gateway::logDevice(int n, const QString &text)
{
    log(u"：设备"_s + QString::number(n) + u"："_s + text);
}

void Gateway::updateTableCounters()
{
    warnWaitingRow();
    if (!m_store)
        return;
    auto number = [this](const char *table) {
        const qint64 c = m_store->count(QLatin1String(table));
        return c < 0 ? QString() : QString::number(c);
    };
    const QString outbox = number("outbox");
    const QString sent = number("SendedOutBox");
    const QString bad = number("badoutbox");
    const QString inbox = number("inbox");
    const QString calls = number("OnCall");
    m_view->setCountersCaption(u"实时运行记录[待发"_s + outbox + u",已发"_s + sent + u",收到"_s +
                               inbox + u",失败"_s + bad + u",来电"_s + calls + u"]"_s +
                               (m_waitWarning.isEmpty() ? QString() : u"　"_s + m_waitWarning));
}

QString Gateway::reportFolder() const
{
    return m_settings.filePath(u"report"_s);
}

void Gateway::trimRunLog()
{
    m_view->runLog().trim(m_settings.isOn(keys::SaveReport), reportFolder(), QDate::currentDate());
}

QString Gateway::soundPath(const QString &file) const
{
    return m_settings.filePath(file);
}

void Gateway::letEventsRun(int times)
{
    for (int i = 0; i < times; ++i)
        QCoreApplication::processEvents();
}

bool Gateway::requestClose(bool fromCloseBox)
{
    if (fromCloseBox) {
        m_view->requestMinimise();
        return false;
    }
    // A second request (a second signal, say) while the sequence runs lets the first finish.
    if (m_shutdown || m_closing)
        return true;
    if (m_settings.isOn(keys::CloseConfirm) &&
        !m_view->ask(
            u"确实关闭短信服务器吗？\r如果关闭，系统将无法发送及接收手机短信\r是否关闭？"_s))
        return false;
    // Results still arrive and are recorded while the ports close, but no new message is handed
    // to a port that is closing: its result could come too late and the row be sent again.
    m_closing = true;
    log(u"：正在关闭短信服务，请稍候..."_s);
    m_autoConnectTimer.stop();
    for (QTimer &timer : m_reconnectTimers)
        timer.stop();
    letEventsRun(4);
    // A message already with a worker is finished and recorded before its port closes: released
    // now, its result would reach nobody and the row would go out again at the next start.
    waitForResults(m_resultWaitMs);
    for (int pass = 0; pass < 3; ++pass) {
        for (int k = 1; k <= kSlots && k <= m_view->deviceCount(); ++k) {
            if (m_slots[std::size_t(k - 1)].worker)
                m_slots[std::size_t(k - 1)].worker->closePort();
        }
        letEventsRun(1);
    }
    for (int k = 1; k <= kSlots && k <= m_view->deviceCount(); ++k) {
        slotRef(k).connected = false;
        releaseWorker(k);
    }
    letEventsRun(2);
    m_dispatchTimer.stop();
    log(u"：关闭短信服务器"_s);
    m_shutdown = true;
    if (m_settings.isOn(keys::SaveReport))
        m_view->runLog().writeReportFile(reportFolder(), QDate::currentDate());
    saveSentCounters();
    m_countTimer.stop();
    m_trimTimer.stop();
    m_counterSaveTimer.stop();
    m_claimSweepTimer.stop();
    if (m_factory)
        m_factory->endServer();
    emit closed();
    return true;
}

} // namespace lonvera::server
