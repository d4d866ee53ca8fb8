// The device pool of the Gateway: connecting devices into worker slots, stopping them, bringing
// in a standby device, the operator's device-row commands, and a worker server that went away.
#include "server/core/gateway.h"

namespace lonvera::server {

using namespace Qt::StringLiterals;

namespace {

int portOf(const QString &com)
{
    QString digits = com;
    digits.remove(u"COM"_s);
    return leadingInt(digits);
}

} // namespace

int Gateway::paceToPause(const QString &pace)
{
    if (pace == u"快速度"_s)
        return 1;
    if (pace == u"中速度"_s)
        return 3;
    if (pace == u"慢速度"_s)
        return 10;
    if (pace == u"较慢速"_s)
        return 28;
    if (pace == u"极慢速"_s)
        return 62;
    return 0; // "不限速" and any unknown level
}

QString Gateway::rangeText(int port) const
{
    return port >= 0 && port <= kSlots ? m_rangeTexts[std::size_t(port)] : QString();
}

void Gateway::connectAll()
{
    m_autoConnectTimer.stop();
    if (!m_store || m_shutdown || m_closing)
        return;
    QString error;
    const QList<DeviceRecord> devices = m_store->devices(kSlots, &error);
    log(u"：正在连接设备..."_s);
    if (!error.isEmpty())
        log(u"："_s + error);
    m_lastConnectError = 0;
    int n = 0;
    for (const DeviceRecord &d : devices) {
        ++n;
        if (d.inUseing != u"启用"_s)
            continue; // the row still takes its slot number
        letEventsRun(1);
        if (m_shutdown)
            break;
        const int pause = paceToPause(d.pace);
        slotRef(n).pause = pause;
        connectDevice(n, portOf(d.com), d.rate, d.serno, d.forNo, pause);
    }
    if (m_lastConnectError == 462 && m_factory) {
        m_view->showMessage(
            m_factory->errorText(462) + u"\r上次服务未关闭，需用重启服务器\r"_s +
            u"说明：短信服务器是一多线程服务，每次关闭短信服务器后，请稍候几秒再重启本服务！"_s);
    }
}

void Gateway::connectDevice(int n, int port, const QString &rate, const QString &serno,
                            const QString &forNo, int pause)
{
    if (!validSlot(n) || m_shutdown || m_closing)
        return;
    if (port >= 0 && port <= kSlots)
        m_rangeTexts[std::size_t(port)] = forNo;
    Slot &s = slotRef(n);
    releaseWorker(n);
    s.recovery.wanted = true;
    s.recovery.rate = rate;
    s.recovery.serno = serno;
    s.recovery.forNo = forNo;
    m_reconnectTimers[std::size_t(n - 1)].stop();
    // A new worker is not connected until it says so; until then the dispatcher leaves it alone.
    s.connected = false;
    s.idle = false;
    s.busy = false;
    s.stopPending = false;
    ++s.stopGeneration;
    s.pause = pause;
    s.port = port;
    int error = 0;
    std::unique_ptr<WorkerHandle> worker = m_factory ? m_factory->create(&error) : nullptr;
    if (!worker) {
        m_lastConnectError = error;
        // Tried again with a growing pause (the caller does that while the device is away).
        const QString why = u"无法创建工作对象(错误 "_s + QString::number(error) + u")"_s;
        if (!s.recovery.lost) {
            logDevice(n, why);
            deviceLost(n, u"工作对象未能创建"_s);
        }
        return;
    }
    wireWorker(n, worker.get());
    s.worker = std::move(worker);
    s.worker->setComport(port);
    s.worker->setSmsservice(serno);
    s.worker->setSettings(rate + u",n,8,1"_s);
    s.worker->connectDevice(9, true);
    if (s.worker->lastError() != 0)
        m_lastConnectError = s.worker->lastError();
}

void Gateway::wireWorker(int n, WorkerHandle *w)
{
    connect(w, &WorkerHandle::statusChanged, this, [this, n](bool b) { onStatusChange(n, b); });
    connect(w, &WorkerHandle::statusReport, this,
            [this, n](const QString &t, const worker::protocol::StatusReport &r) {
                onStatusReport(n, t, r);
            });
    connect(w, &WorkerHandle::sendReport, this,
            [this, n](const QString &id, const QString &r) { onSendResult(n, id, r); });
    connect(w, &WorkerHandle::messagesReceived, this,
            [this, n](const QString &s) { onMessages(n, s); });
    connect(w, &WorkerHandle::receiptsReceived, this,
            [this, n](const QString &s) { onReceipts(n, s); });
    connect(w, &WorkerHandle::callReceived, this, [this, n](const QString &p) { onCall(n, p); });
    connect(w, &WorkerHandle::serverLost, this, [this, n] { onServerLost(n); });
}

void Gateway::releaseWorker(int n)
{
    Slot &s = slotRef(n);
    if (!s.worker)
        return;
    s.worker->disconnect(this);
    // A result still out can no longer arrive; its row keeps its record of being sent.
    settleMessage(n);
    // Released later: this may run inside one of the worker's own signals.
    s.worker.release()->deleteLater();
}

void Gateway::stopDevice(int n)
{
    if (!validSlot(n))
        return;
    Slot &s = slotRef(n);
    if (s.worker)
        s.worker->closePort();
    s.connected = false;
    s.idle = false;
    s.stopPending = false;
    ++s.stopGeneration;
    portLost(s.port);
    // A device the operator stopped is not tried again, so its coming back is of no interest.
    if (s.recovery.lost)
        m_nodeWatch.forget(s.port);
    s.recovery.wanted = false;
    s.recovery.lost = false;
    m_reconnectTimers[std::size_t(n - 1)].stop();
    releaseWorker(n);
    m_view->setLight(n, Light::NotConnected);
    m_view->setRowState(n, u"暂停"_s);
    m_view->setCell(n, ColumnModel, u"--"_s);
    m_view->setCell(n, ColumnPace, u"--"_s);
    updateBusyState();
}

void Gateway::openStandbyDevice(int n)
{
    if (!m_store)
        return;
    const QList<DeviceRecord> devices = m_store->devices(std::numeric_limits<int>::max(), nullptr);
    if (devices.isEmpty())
        return;
    qsizetype i = n == kSlots ? 0 : n;
    if (i >= devices.size())
        i = 0;
    // Every row is looked at once at most: without a row whose id is n the search still ends.
    for (qsizetype visited = 0; visited < devices.size(); ++visited) {
        const DeviceRecord &d = devices[i];
        if (d.id == n)
            return;
        const int k = d.id;
        const bool qualifies = d.inUseing == u"启用"_s && m_view->row(k) &&
                               m_view->cell(k, ColumnModel) == u"--"_s &&
                               leadingInt(m_view->cell(k, ColumnLimit)) > sentCount(k);
        if (qualifies) {
            const int pause = paceToPause(d.pace);
            if (validSlot(k))
                slotRef(k).pause = pause;
            connectDevice(k, portOf(d.com), d.rate, d.serno, d.forNo, pause);
            return;
        }
        i = (i + 1) % devices.size();
    }
}

void Gateway::startDeviceRow(int n)
{
    const DeviceRowView *row = m_view->row(n);
    if (!row || !m_store)
        return;
    const int id = row->id;
    QString error;
    Slot &s = slotRef(n);
    if (s.stopPending && s.worker) {
        // Started again before the pause took effect: the device simply goes on.
        s.stopPending = false;
        ++s.stopGeneration;
        if (!m_store->setInUse(id, u"启用"_s, &error))
            log(u"：设备"_s + QString::number(n) + u"：保存设备记录失败 "_s + error);
        m_view->setRowInUse(n, true);
        return;
    }
    const QList<DeviceRecord> devices = m_store->devices(std::numeric_limits<int>::max(), &error);
    const auto it = std::find_if(devices.begin(), devices.end(),
                                 [id](const DeviceRecord &d) { return d.id == id; });
    if (it == devices.end()) {
        log(u"：设备"_s + QString::number(n) + u"：未找到设备记录 "_s + error);
        return;
    }
    if (!m_store->setInUse(id, u"启用"_s, &error))
        log(u"：设备"_s + QString::number(n) + u"：保存设备记录失败 "_s + error);
    const int pause = paceToPause(it->pace);
    slotRef(n).pause = pause;
    connectDevice(n, portOf(it->com), it->rate, it->serno, it->forNo, pause);
    m_view->setRowInUse(n, true);
}

void Gateway::markRowInUse(int n, bool inUse)
{
    const DeviceRowView *row = m_view->row(n);
    if (!row || !m_store)
        return;
    QString error;
    if (!m_store->setInUse(row->id, inUse ? u"启用"_s : u"停用"_s, &error)) {
        log(u"：设备"_s + QString::number(n) + u"：保存设备记录失败 "_s + error);
        return;
    }
    m_view->setRowInUse(n, inUse);
}

void Gateway::onServerLost(int n)
{
    if (!validSlot(n) || !slot(n).worker)
        return;
    Slot &s = slotRef(n);
    s.connected = false;
    s.idle = false;
    s.busy = false;
    portLost(s.port);
    releaseWorker(n);
    settleLostMessage(n);
    m_view->setLight(n, Light::NotConnected);
    m_view->setRowState(n, u"--"_s);
    m_view->setCell(n, ColumnModel, u"--"_s);
    // A fresh worker server is started for the devices it served, which connect again.
    if (s.recovery.wanted)
        deviceLost(n, u"短信工作服务已中断，设备已断开"_s);
    else
        logDevice(n, u"短信工作服务已中断，设备已断开"_s);
    updateBusyState();
}

} // namespace lonvera::server
