// Hex text <-> octets, the form in which PDUs travel over the AT interface.
// Pure functions; any thread.
#pragma once

#include "result.h"

#include <QByteArray>
#include <QString>

namespace lonvera::pdu {

/// Octets of a hex text (either case, no blanks); fails on odd length or a non-hex character.
Result<QByteArray> parseHex(QStringView hex);

/// Upper-case hex text of the octets, two digits per octet.
QString toHex(QByteArrayView octets);

/// Value of one hex digit of either case, or -1.
constexpr int hexDigitValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    const char16_t lower = c | 0x20; // folds only 'A'..'F' onto 'a'..'f' in the range below
    return lower >= u'a' && lower <= u'f' ? lower - u'a' + 10 : -1;
}

/// The hex digit of a nibble (only its low four bits count), upper or lower case.
constexpr char hexDigitChar(int nibble, bool lowerCase = false)
{
    return (lowerCase ? "0123456789abcdef" : "0123456789ABCDEF")[nibble & 0x0F];
}

/// Upper-case hex of n (0..255), padded to two digits: 10 -> "0A".
QString HexByte(int n);

/// The text without every character whose code is 1 to 32, except 30 and 31 (what a listed line
/// carries besides its hex: line ends, blanks, tabs).
QString StripControls(QStringView text);

} // namespace lonvera::pdu
