// comset access. See device_table.h.
#include "server/db/device_table.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace lonvera::db {

namespace {

const QString deviceColumns =
    QStringLiteral("id,SetName,InUseing,com,rate,serno,FOR_no,pace,msgmax,MsgSendedCount");

DeviceRow deviceOf(const QSqlQuery &query)
{
    DeviceRow d;
    d.id = query.value(0).toInt();
    d.setName = query.value(1).toString();
    d.inUseing = query.value(2).toString();
    d.com = query.value(3).toString();
    d.rate = query.value(4).toString();
    d.serno = query.value(5).toString();
    d.forNo = query.value(6).toString();
    d.pace = query.value(7).toString();
    d.msgMax = query.value(8).toLongLong();
    d.msgSendedCount = query.value(9).toLongLong();
    return d;
}

QSqlQuery *prepare(Database &db, const QString &sql, QString *error)
{
    QSqlError prepareError;
    QSqlQuery *query = db.prepared(sql, &prepareError);
    if (!query && error)
        *error = prepareError.text();
    return query;
}

} // namespace

QList<DeviceRow> readDevices(Database &db, int limit, QString *error)
{
    const QString sql = db.dialect() == Dialect::TSql
                            ? QStringLiteral("select top %1 %2 from comset order by id")
                                  .arg(limit)
                                  .arg(deviceColumns)
                            : QStringLiteral("select %2 from comset order by id limit %1")
                                  .arg(limit)
                                  .arg(deviceColumns);
    QList<DeviceRow> devices;
    QSqlQuery *query = prepare(db, sql, error);
    if (!query)
        return devices;
    if (!query->exec()) {
        if (error)
            *error = query->lastError().text();
        return devices;
    }
    while (query->next())
        devices << deviceOf(*query);
    query->finish();
    return devices;
}

std::optional<DeviceRow> readDevice(Database &db, int id, QString *error)
{
    QSqlQuery *query =
        prepare(db, QStringLiteral("select %1 from comset where id=?").arg(deviceColumns), error);
    if (!query)
        return std::nullopt;
    query->addBindValue(id);
    if (!query->exec()) {
        if (error)
            *error = query->lastError().text();
        return std::nullopt;
    }
    std::optional<DeviceRow> device;
    if (query->next())
        device = deviceOf(*query);
    query->finish();
    return device;
}

bool writeDevice(Database &db, const DeviceRow &device, QString *error)
{
    QSqlQuery *query = prepare(db,
                               QStringLiteral("update comset set SetName=?,InUseing=?,com=?,"
                                              "rate=?,serno=?,FOR_no=?,pace=?,msgmax=?,"
                                              "MsgSendedCount=? where id=?"),
                               error);
    if (!query)
        return false;
    query->addBindValue(device.setName);
    query->addBindValue(device.inUseing);
    query->addBindValue(device.com);
    query->addBindValue(device.rate.trimmed().toLongLong());
    query->addBindValue(device.serno);
    query->addBindValue(device.forNo);
    query->addBindValue(device.pace);
    query->addBindValue(device.msgMax);
    query->addBindValue(device.msgSendedCount);
    query->addBindValue(device.id);
    const bool ok = query->exec();
    if (!ok && error)
        *error = query->lastError().text();
    const bool written = ok && query->numRowsAffected() == 1;
    query->finish();
    if (ok && !written && error)
        *error = QStringLiteral("no device %1").arg(device.id);
    return written;
}

bool saveSentCounters(Database &db, const QList<std::pair<int, qint64>> &counts, QString *error)
{
    QSqlQuery *query =
        prepare(db, QStringLiteral("update comset set MsgSendedCount=? where id=?"), error);
    if (!query || !db.beginWrite(error))
        return false;
    for (const auto &[id, count] : counts) {
        query->addBindValue(count);
        query->addBindValue(id);
        if (!query->exec()) {
            if (error)
                *error = query->lastError().text();
            db.rollback();
            return false;
        }
    }
    query->finish();
    if (db.commit())
        return true;
    if (error)
        *error = db.connection().lastError().text();
    return false;
}

} // namespace lonvera::db
