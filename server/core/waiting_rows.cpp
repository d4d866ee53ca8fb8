// Rows that no device will ever take (a port that does not exist or is not connected, a number no
// device's range covers, a service that sends nothing) would wait for ever without a word. When
// the oldest due row has waited longer than the set time, the run log names it once with the
// reason, and the counters caption carries the same text for as long as the row waits.
#include "server/core/gateway.h"
#include "server/core/settings_keys.h"
#include "server/db/dispatch_statements.h"

namespace lonvera::server {

using namespace Qt::StringLiterals;

namespace {

constexpr int kDefaultWaitWarningMinutes = 10;

int portOfDevice(const QString &com)
{
    QString digits = com;
    digits.remove(u"COM"_s);
    return leadingInt(digits);
}

} // namespace

QString Gateway::whyNoDeviceTakes(const OutboxMessage &row)
{
    const QString port = u"COM"_s + QString::number(row.comPort);
    if (row.comPort != 0) {
        // A port exists when a device in use names it, or a device was connected on it.
        bool configured = false;
        for (int k = 1; k <= kSlots; ++k)
            configured = configured || (slot(k).worker && slot(k).port == row.comPort);
        for (const DeviceRecord &d : m_store->devices(kSlots, nullptr))
            configured =
                configured || (d.inUseing == u"启用"_s && portOfDevice(d.com) == row.comPort);
        if (!configured)
            return u"其端口 "_s + port + u" 不存在"_s;
    }
    if (m_settings.serviceMode() == 2)
        return u"服务设为只收不发"_s;
    if (m_loaded.justTm == 1) {
        const int hour = now().time().hour();
        if (hour < m_loaded.sendIn || hour > m_loaded.sendEnd)
            return u"不在发送时段（"_s + QString::number(m_loaded.sendIn) + u"-"_s +
                   QString::number(m_loaded.sendEnd) + u" 时）"_s;
    }
    // The devices that may take it: connected, on its port when it names one.
    bool anyConnected = false;
    bool portConnected = false;
    bool covered = false;
    QString holdReason;
    for (int k = 1; k <= kSlots; ++k) {
        const Slot &s = slot(k);
        if (!s.connected || !s.worker)
            continue;
        anyConnected = true;
        if (row.comPort != 0 && s.port != row.comPort)
            continue;
        portConnected = true;
        if (!db::rangeCovers(rangeText(s.port), row.mbno))
            continue;
        covered = true;
        if (!heldOff(k))
            return {}; // it takes the row as soon as it is free
        holdReason = s.recovery.lastHoldReason;
    }
    if (row.comPort != 0 && !portConnected)
        return u"其端口 "_s + port + u" 未连接"_s;
    if (!anyConnected)
        return u"没有已连接的设备"_s;
    if (!covered) {
        return row.comPort != 0 ? u"其端口 "_s + port + u" 的发送范围不包含该号码"_s
                                : u"没有设备的发送范围包含该号码"_s;
    }
    return u"设备暂时无法发送："_s + holdReason;
}

void Gateway::warnWaitingRow()
{
    // Runs with the table counters: one more indexed look at the head of the queue.
    m_waitWarning.clear();
    if (!m_store || m_closing)
        return;
    const int minutes = m_settings.intValue(keys::WaitWarning, kDefaultWaitWarningMinutes);
    if (minutes <= 0)
        return;
    const QDateTime time = now();
    QDateTime since;
    const std::optional<OutboxMessage> row = m_store->oldestDue(time, &since, nullptr);
    if (!row || !since.isValid() || since.secsTo(time) < qint64(minutes) * 60)
        return;
    // A row a device can take is only in the queue; no word about it.
    const QString why = whyNoDeviceTakes(*row);
    if (why.isEmpty())
        return;
    m_waitWarning = u"待发信息 "_s + QString::number(row->id) + u"["_s + row->mbno +
                    u"] 已等待 "_s + QString::number(since.secsTo(time) / 60) +
                    u" 分钟仍无设备发送："_s + why;
    // The caption follows the reason; the run log names a row once.
    if (row->id == m_warnedRow)
        return;
    m_warnedRow = row->id;
    log(u"："_s + m_waitWarning);
}

} // namespace lonvera::server
