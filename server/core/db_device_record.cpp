// The DbGatewayStore's access to one device record and the device list's statement, for the
// window's device commands and the port settings dialog. See db_gateway_store.h.
#include "server/core/db_gateway_store.h"

#include "server/db/database.h"
#include "server/db/device_table.h"

namespace lonvera::server {

namespace {

DeviceRecord recordOf(const db::DeviceRow &d)
{
    return {d.id,    d.setName, d.inUseing, d.com,    d.rate,
            d.serno, d.forNo,   d.pace,     d.msgMax, d.msgSendedCount};
}

db::DeviceRow rowOf(const DeviceRecord &r)
{
    db::DeviceRow d;
    d.id = r.id;
    d.setName = r.setName;
    d.inUseing = r.inUseing;
    d.com = r.com;
    d.rate = r.rate;
    d.serno = r.serno;
    d.forNo = r.forNo;
    d.pace = r.pace;
    d.msgMax = r.msgMax;
    d.msgSendedCount = r.msgSendedCount;
    return d;
}

} // namespace

std::optional<DeviceRecord> DbGatewayStore::device(int id, QString *error)
{
    const std::optional<db::DeviceRow> row = db::readDevice(m_db, id, error);
    if (!row)
        return std::nullopt;
    return recordOf(*row);
}

bool DbGatewayStore::writeDevice(const DeviceRecord &record, QString *error)
{
    return db::writeDevice(m_db, rowOf(record), error);
}

QString DbGatewayStore::deviceListQuery(int limit) const
{
    if (m_db.dialect() == db::Dialect::TSql)
        return QStringLiteral("select top %1 * from comset order by id").arg(limit);
    return QStringLiteral("select * from comset order by id limit %1").arg(limit);
}

} // namespace lonvera::server
