// Service-centre time stamps (3GPP TS 23.040 9.2.3.11). Pure value type; any thread.
#pragma once

#include "octet_cursor.h"

#include <QByteArray>
#include <QString>

#include <array>

namespace lonvera::pdu {

/// The seven semi-octet octets of a time stamp, kept as received so that encoding gives
/// them back unchanged.
struct Timestamp
{
    std::array<quint8, 7> octets{};

    /// A time stamp from its fields; quarterHours is the time zone in quarters of an hour.
    static Timestamp fromFields(int year, int month, int day, int hour, int minute, int second,
                                int quarterHours = 32);
    /// Digits YYMMDDhhmmss (a nibble above 9 shows as its hex digit).
    QString digits() const;
    /// "20YY-MM-DD hh:mm:ss", the form of the records handed to the host.
    QString recordText() const;
    /// Time zone in quarters of an hour, sign applied.
    int quarterHours() const;
    bool operator==(const Timestamp &) const = default;
};

Timestamp readTimestamp(OctetCursor &cursor, const char *what);
void writeTimestamp(QByteArray &out, const Timestamp &stamp);

} // namespace lonvera::pdu
