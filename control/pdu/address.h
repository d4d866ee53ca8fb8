// Phone numbers in semi-octets and alphanumeric addresses (3GPP TS 23.040 9.1.2.5).
// Pure functions; any thread.
#pragma once

#include "octet_cursor.h"

#include <QByteArray>
#include <QString>

namespace lonvera::pdu {

/// An address field: its type of address octet and its digits or text.
struct Address
{
    /// 0x91 international, 0x81 unknown/national, 0xD0 alphanumeric (3GPP TS 23.040 9.1.2.5).
    quint8 type = 0x81;
    /// Digits ("0"-"9", "*", "#", "a"-"c") for numeric types, the text for alphanumeric.
    QString value;

    bool isAlphanumeric() const { return (type & 0x70) == 0x50; }
    bool isInternational() const { return (type & 0x70) == 0x10; }
    /// The number as people write it: "+" in front of an international number.
    QString display() const;
    bool operator==(const Address &) const = default;
};

/// True when the text, with every "+" removed, is one or more decimal digits only.
bool isNumeric(QStringView text);

/// An address for a number as typed ("+8613912345678", "13912345678"): type 91 for the
/// "+" form, else 81; every "+" dropped.
Address addressFromNumber(QStringView number);

/// TP address (destination, originator, recipient): length in semi-octets, type, digits.
Address readAddress(OctetCursor &cursor, const char *what);
void writeAddress(QByteArray &out, const Address &address);

/// Service-centre address (3GPP TS 24.011 8.2.5.1): length in octets incl. the type; "00" = none.
Address readCentreAddress(OctetCursor &cursor);
void writeCentreAddress(QByteArray &out, const Address &address);

/// Semi-octet digits of octets, low nibble first; nibble F (padding) ends the digits.
QString semiOctetsToDigits(QByteArrayView octets, int digitCount);
/// Octets of semi-octet digits, padded with F when the count is odd.
QByteArray digitsToSemiOctets(QStringView digits);

/// Swaps the characters of each pair after appending "f" to an odd-length text:
/// "8613912345678" -> "683119325476f8". The padded text is written back to digits.
QString SwapDigitPairs(QString &digits);

/// Swaps the characters of each pair, then removes every "F" and "f".
QString UnswapDigits(QStringView text);

} // namespace lonvera::pdu
