// The device table comset: the device list in id order, one device record for the port settings
// dialog, and the sent counters (MsgSendedCount) loaded at start and saved at shutdown. Runs on the
// thread that owns the Database.
#pragma once

#include "server/db/database.h"

#include <QList>
#include <QString>

#include <optional>

namespace lonvera::db {

/// One comset row.
struct DeviceRow
{
    int id = 0;
    QString setName;
    QString inUseing; ///< "启用" or "停用"
    QString com;      ///< "COM" + number
    QString rate;     ///< line speed as text, e.g. "9600"
    QString serno;
    QString forNo; ///< range text, e.g. "|移动|联通|"
    QString pace;
    qint64 msgMax = 0;
    qint64 msgSendedCount = 0;
};

/// The first `limit` devices in id order (the device list and connect-all read 16).
QList<DeviceRow> readDevices(Database &db, int limit = 16, QString *error = nullptr);

/// The device with this id.
std::optional<DeviceRow> readDevice(Database &db, int id, QString *error = nullptr);

/// Writes every column of an existing device record (the port settings dialog's save).
bool writeDevice(Database &db, const DeviceRow &device, QString *error = nullptr);

/// Saves MsgSendedCount of every device listed, as (device id, count), in one transaction; ids
/// without a row are ignored.
bool saveSentCounters(Database &db, const QList<std::pair<int, qint64>> &counts,
                      QString *error = nullptr);

} // namespace lonvera::db
