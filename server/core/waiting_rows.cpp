// Rows that no device will ever take (a port that does not exist or is not connected, a number no
// device's range covers) would wait for ever without a word. The run log says once, naming the
// row and the reason, when the oldest due row has waited longer than the set time.
#include "server/core/gateway.h"
#include "server/core/settings_keys.h"

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

void Gateway::warnWaitingRow()
{
    // Runs with the table counters: one more indexed look at the head of the queue.
    if (!m_store || m_closing)
        return;
    const int minutes = m_settings.intValue(keys::WaitWarning, kDefaultWaitWarningMinutes);
    if (minutes <= 0)
        return;
    const QDateTime time = now();
    QDateTime since;
    const std::optional<OutboxMessage> row = m_store->oldestDue(time, &since, nullptr);
    if (!row || !since.isValid() || since.secsTo(time) < qint64(minutes) * 60 ||
        row->id == m_warnedRow)
        return;
    m_warnedRow = row->id;
    bool anyConnected = false;
    bool portConnected = false;
    for (int k = 1; k <= kSlots; ++k) {
        anyConnected = anyConnected || slot(k).connected;
        portConnected = portConnected || (slot(k).connected && slot(k).port == row->comPort);
    }
    bool portConfigured = false;
    for (const DeviceRecord &d : m_store->devices(kSlots, nullptr))
        portConfigured =
            portConfigured || (d.inUseing == u"启用"_s && portOfDevice(d.com) == row->comPort);
    const QString port = u"COM"_s + QString::number(row->comPort);
    QString why;
    if (row->comPort != 0 && !portConfigured)
        why = u"其端口 "_s + port + u" 不存在"_s;
    else if (row->comPort != 0 && !portConnected)
        why = u"其端口 "_s + port + u" 未连接"_s;
    else if (!anyConnected)
        why = u"没有已连接的设备"_s;
    else
        why = u"没有设备的发送范围包含该号码"_s;
    log(u"：待发信息 "_s + QString::number(row->id) + u"["_s + row->mbno + u"] 已等待 "_s +
        QString::number(since.secsTo(time) / 60) + u" 分钟仍无设备发送："_s + why);
}

} // namespace lonvera::server
