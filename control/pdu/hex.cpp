// Hex text <-> octets.
#include "hex.h"

#include <algorithm>
#include <array>

namespace lonvera::pdu {

namespace {

// Every listed PDU passes through here, so the digit values come from one table.
constexpr std::array<qint8, 128> kNibbles = [] {
    std::array<qint8, 128> t{};
    t.fill(-1);
    for (int i = 0; i < 10; ++i)
        t['0' + i] = qint8(i);
    for (int i = 0; i < 6; ++i) {
        t['A' + i] = qint8(10 + i);
        t['a' + i] = qint8(10 + i);
    }
    return t;
}();

} // namespace

Result<QByteArray> parseHex(QStringView hex)
{
    if (hex.size() % 2 != 0)
        return Result<QByteArray>::failure(QStringLiteral("odd number of hex digits"));
    QByteArray out(hex.size() / 2, Qt::Uninitialized);
    char *o = out.data();
    const char16_t *in = hex.utf16();
    for (qsizetype i = 0; i < out.size(); ++i) {
        const char16_t a = in[2 * i];
        const char16_t b = in[2 * i + 1];
        const int hi = a < 128 ? kNibbles[a] : -1;
        const int lo = b < 128 ? kNibbles[b] : -1;
        if ((hi | lo) < 0)
            return Result<QByteArray>::failure(
                QStringLiteral("not a hex digit at position %1").arg(2 * i + (hi < 0 ? 1 : 2)));
        o[i] = char(hi << 4 | lo);
    }
    return out;
}

QString toHex(QByteArrayView octets)
{
    QString out(octets.size() * 2, Qt::Uninitialized);
    QChar *p = out.data();
    for (const char c : octets) {
        const auto b = quint8(c);
        *p++ = QLatin1Char(hexDigitChar(b >> 4));
        *p++ = QLatin1Char(hexDigitChar(b));
    }
    return out;
}

QString HexByte(int n)
{
    const auto b = quint8(n);
    const char text[2] = {hexDigitChar(b >> 4), hexDigitChar(b)};
    return QString::fromLatin1(text, 2);
}

QString StripControls(QStringView text)
{
    // This runs on every listed PDU line, which mostly has nothing to strip.
    const auto isStripped = [](QChar c) {
        const char16_t u = c.unicode();
        return u >= 1 && u <= 32 && u != 30 && u != 31;
    };
    if (std::none_of(text.begin(), text.end(), isStripped))
        return text.toString();
    QString out(text.size(), Qt::Uninitialized);
    QChar *p = out.data();
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 1 && u <= 32 && u != 30 && u != 31)
            continue;
        *p++ = c;
    }
    out.truncate(p - out.constData());
    return out;
}

} // namespace lonvera::pdu
