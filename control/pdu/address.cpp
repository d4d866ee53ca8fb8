// Phone numbers in semi-octets and alphanumeric addresses.
#include "address.h"

#include "gsm7_alphabet.h"

namespace lonvera::pdu {

namespace {

// 3GPP TS 23.040 9.1.2.3: semi-octet values 10..14 stand for these characters.
constexpr char kSemiOctetChars[] = "0123456789*#abc";

int semiOctetValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    switch (u) {
    case '*':
        return 10;
    case '#':
        return 11;
    case 'a':
    case 'A':
        return 12;
    case 'b':
    case 'B':
        return 13;
    case 'c':
    case 'C':
        return 14;
    default:
        return -1;
    }
}

// 3GPP TS 23.040 9.1.2.5: at most 20 semi-octets (10 octets of digits).
constexpr int kMaxSemiOctets = 20;

} // namespace

QString Address::display() const
{
    if (isInternational() && !value.isEmpty())
        return QLatin1Char('+') + value;
    return value;
}

bool isNumeric(QStringView text)
{
    bool any = false;
    for (const QChar c : text) {
        if (c == QLatin1Char('+'))
            continue;
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
        any = true;
    }
    return any;
}

Address addressFromNumber(QStringView number)
{
    Address a;
    a.type = number.startsWith(QLatin1Char('+')) ? 0x91 : 0x81;
    a.value = number.toString().remove(QLatin1Char('+'));
    return a;
}

QString semiOctetsToDigits(QByteArrayView octets, int digitCount)
{
    const qsizetype limit =
        qMax<qsizetype>(0, qMin<qsizetype>(qMin(digitCount, 2 * 255), 2 * octets.size()));
    QString out(limit, Qt::Uninitialized);
    QChar *p = out.data();
    for (qsizetype i = 0; i < limit; ++i) {
        const quint8 b = quint8(octets[i / 2]);
        const int value = (i % 2 == 0) ? (b & 0x0F) : (b >> 4);
        if (value == 0x0F)
            break;
        *p++ = QLatin1Char(kSemiOctetChars[value]);
    }
    out.truncate(p - out.constData());
    return out;
}

QByteArray digitsToSemiOctets(QStringView digits)
{
    QByteArray out((digits.size() + 1) / 2, char(0xFF));
    quint8 *o = reinterpret_cast<quint8 *>(out.data());
    for (qsizetype i = 0; i < digits.size(); ++i) {
        const int value = qMax(0, semiOctetValue(digits[i]));
        quint8 &b = o[i / 2];
        b = (i % 2 == 0) ? quint8((b & 0xF0) | value) : quint8((b & 0x0F) | value << 4);
    }
    return out;
}

Address readAddress(OctetCursor &cursor, const char *what)
{
    Address a;
    const int semiOctets = cursor.take(what);
    a.type = cursor.take(what);
    if (semiOctets > kMaxSemiOctets) {
        cursor.fail(QStringLiteral("%1 is longer than 20 digits").arg(QLatin1String(what)));
        return a;
    }
    const QByteArrayView octets = cursor.take((semiOctets + 1) / 2, what);
    if (cursor.failed())
        return a;
    if (a.isAlphanumeric()) {
        // 3GPP TS 23.040 9.1.2.5: the length counts semi-octets of packed 7-bit text.
        a.value = septetsToText(unpackSeptets(octets, semiOctets * 4 / 7));
    } else {
        a.value = semiOctetsToDigits(octets, semiOctets);
    }
    return a;
}

void writeAddress(QByteArray &out, const Address &address)
{
    if (address.isAlphanumeric()) {
        const QByteArray septets = textToSeptets(address.value);
        out.append(char((septets.size() * 7 + 3) / 4));
        out.append(char(address.type));
        out.append(packSeptets(septets));
        return;
    }
    out.append(char(address.value.size()));
    out.append(char(address.type));
    out.append(digitsToSemiOctets(address.value));
}

Address readCentreAddress(OctetCursor &cursor)
{
    Address a;
    a.type = 0;
    const int length = cursor.take("service-centre length");
    if (length == 0)
        return a;
    if (length > 1 + kMaxSemiOctets / 2) {
        cursor.fail(QStringLiteral("service-centre part longer than 11 octets"));
        return a;
    }
    a.type = cursor.take("service-centre address");
    const QByteArrayView octets = cursor.take(length - 1, "service-centre address");
    a.value = semiOctetsToDigits(octets, 2 * (length - 1));
    return a;
}

void writeCentreAddress(QByteArray &out, const Address &address)
{
    if (address.value.isEmpty()) {
        out.append('\0');
        return;
    }
    const QByteArray digits = digitsToSemiOctets(address.value);
    out.append(char(digits.size() + 1));
    out.append(char(address.type));
    out.append(digits);
}

QString SwapDigitPairs(QString &digits)
{
    if (digits.size() % 2 != 0)
        digits.append(QLatin1Char('f'));
    QString out = digits;
    for (qsizetype i = 0; i + 1 < out.size(); i += 2)
        std::swap(out[i], out[i + 1]);
    return out;
}

QString UnswapDigits(QStringView text)
{
    QString out = text.toString();
    for (qsizetype i = 0; i + 1 < out.size(); i += 2)
        std::swap(out[i], out[i + 1]);
    out.remove(QLatin1Char('F'));
    out.remove(QLatin1Char('f'));
    return out;
}

} // namespace lonvera::pdu
