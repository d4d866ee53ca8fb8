// UCS2 user data (UTF-16 big-endian, 3GPP TS 23.038 6.2.3). Pure functions; any thread.
#pragma once

#include <QByteArray>
#include <QString>

namespace lonvera::pdu {

/// UTF-16 big-endian octets of a text (surrogate pairs kept as they are).
QByteArray textToUcs2(QStringView text);

/// Text of UTF-16 big-endian octets; an odd last octet is taken as the high byte of a unit.
QString ucs2ToText(QByteArrayView octets);

/// Text of a hex text of UTF-16 big-endian units, padded with "0" to a multiple of 4 digits;
/// a non-hex input gives "".
QString Ucs2HexToText(QStringView hex);

} // namespace lonvera::pdu
