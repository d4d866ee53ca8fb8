// What the window and its dialogs need of the Gateway beyond the view: one device record read
// and written, a device's live sent counter, the device list read again, and the in-memory
// settings the settings dialog changes at once.
#include "server/core/gateway.h"

namespace lonvera::server {

using namespace Qt::StringLiterals;

QString Gateway::deviceListQuery() const
{
    return m_store ? m_store->deviceListQuery(kSlots) : QString();
}

std::optional<DeviceRecord> Gateway::deviceRecord(int id, QString *error)
{
    if (!m_store) {
        if (error)
            *error = u"数据库未连接"_s;
        return std::nullopt;
    }
    return m_store->device(id, error);
}

bool Gateway::writeDeviceRecord(const DeviceRecord &record, QString *error)
{
    if (!m_store) {
        if (error)
            *error = u"数据库未连接"_s;
        return false;
    }
    return m_store->writeDevice(record, error);
}

std::optional<DeviceRecord> Gateway::deviceRecordOfRow(int n)
{
    const DeviceRowView *row = m_view->row(n);
    if (!row)
        return std::nullopt;
    QString error;
    std::optional<DeviceRecord> record = deviceRecord(row->id, &error);
    if (!record) {
        // A failed read says why; a read that found nothing means the row was deleted.
        const QString text = error.isEmpty()
                                 ? u"未找到设备记录(编号 "_s + QString::number(row->id) + u")"_s
                                 : u"读取设备记录失败："_s + error;
        logDevice(n, text);
        m_view->showMessage(text);
    }
    return record;
}

void Gateway::setSentCount(int deviceId, qint32 count)
{
    // Counted by slot: the slot whose row holds the device.
    for (int n = 1; n <= kSlots && n <= int(m_view->rows().size()); ++n) {
        if (m_view->row(n)->id != deviceId)
            continue;
        m_sentCounters[std::size_t(n)] = std::max<qint32>(count, 0);
        m_view->setCell(n, ColumnSent, QString::number(sentCount(n)));
    }
}

void Gateway::refillDeviceList()
{
    if (!m_store)
        return;
    const QList<DeviceRowView> before = m_view->rows();
    fillDeviceList();
    QList<DeviceRowView> rows = m_view->rows();
    for (qsizetype i = 0; i < rows.size(); ++i) {
        DeviceRowView &row = rows[i];
        // The stored count lags behind the live one until the next save.
        row.columns[ColumnSent] = QString::number(sentCount(int(i) + 1));
        if (i >= before.size() || before[i].id != row.id || !slot(int(i) + 1).worker)
            continue;
        row.columns[ColumnModel] = before[i].columns.value(ColumnModel);
        row.columns[ColumnPace] = before[i].columns.value(ColumnPace);
        row.status = before[i].status;
    }
    m_view->setRows(rows);
}

LiveSettings Gateway::liveSettings() const
{
    LiveSettings s;
    s.sendIn = m_loaded.sendIn;
    s.sendEnd = m_loaded.sendEnd;
    s.justTm = m_loaded.justTm;
    s.soundLimit = m_loaded.soundLimit;
    s.soundErr = m_loaded.soundErr;
    s.soundInMsg = m_loaded.soundInMsg;
    s.autoOpenSet = m_loaded.autoOpenSet;
    s.setErrMsgCount = m_loaded.setErrMsgCount;
    return s;
}

void Gateway::applyLiveSettings(const LiveSettings &s)
{
    m_loaded.sendIn = s.sendIn;
    m_loaded.sendEnd = s.sendEnd;
    m_loaded.justTm = s.justTm;
    m_loaded.soundLimit = s.soundLimit;
    m_loaded.soundErr = s.soundErr;
    m_loaded.soundInMsg = s.soundInMsg;
    m_loaded.autoOpenSet = s.autoOpenSet;
    m_loaded.setErrMsgCount = s.setErrMsgCount;
}

} // namespace lonvera::server
