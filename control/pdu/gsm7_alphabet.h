// The GSM 7-bit default alphabet and its extension table (3GPP TS 23.038 6.2.1), and the
// packing of septets into octets (3GPP TS 23.038 6.1.2.1). Pure functions; any thread.
#pragma once

#include <QByteArray>
#include <QString>

namespace lonvera::pdu {

/// True when every character is in the default alphabet (extension characters excluded).
bool isGsm7Text(QStringView text);

/// Default-alphabet codes (one septet value per octet) of a text; characters outside the
/// default alphabet become '?'.
QByteArray textToSeptets(QStringView text);
/// Same; *exact tells whether every character was in the default alphabet, in which case the
/// septets read back as the same text.
QByteArray textToSeptets(QStringView text, bool *exact);

/// Text of septet values, reading the escape 0x1B through the extension table. A code that
/// the extension table lacks shows as its default-alphabet character; a lone escape at the
/// end is dropped.
QString septetsToText(QByteArrayView septets);

/// Packs septet values; fillBits (0..6) zero bits come first, as after a user-data header.
QByteArray packSeptets(QByteArrayView septets, int fillBits = 0);

/// Unpacks count septets after fillBits leading bits; stops early when the octets run out.
QByteArray unpackSeptets(QByteArrayView octets, int count, int fillBits = 0);

/// Hex text (upper case) of the packed GSM codes of a text: "hello" -> "E8329BFD06".
QString Pack7Bit(QStringView text);

/// Text of packed septets given as hex; every whole septet is taken, so the caller cuts the
/// result to the user-data length. Input that is not hex, or longer than 160 octets, gives "".
QString Unpack7Bit(QStringView hex);

} // namespace lonvera::pdu
