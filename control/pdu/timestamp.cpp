// Service-centre time stamps in semi-octets.
#include "timestamp.h"

#include "hex.h"

namespace lonvera::pdu {

namespace {

quint8 bcd(int value)
{
    value = qBound(0, value, 99);
    return quint8((value % 10) << 4 | value / 10);
}

QChar digitOf(int nibble)
{
    return QLatin1Char(hexDigitChar(nibble));
}

} // namespace

Timestamp Timestamp::fromFields(int year, int month, int day, int hour, int minute, int second,
                                int quarterHours)
{
    Timestamp t;
    t.octets = {bcd(year % 100),        bcd(month), bcd(day), bcd(hour), bcd(minute), bcd(second),
                bcd(qAbs(quarterHours))};
    // 3GPP TS 23.040 9.2.3.11: bit 3 of the time-zone octet is the sign.
    if (quarterHours < 0)
        t.octets[6] |= 0x08;
    return t;
}

QString Timestamp::digits() const
{
    QString out(12, Qt::Uninitialized);
    QChar *p = out.data();
    for (int i = 0; i < 6; ++i) {
        *p++ = digitOf(octets[i] & 0x0F);
        *p++ = digitOf(octets[i] >> 4);
    }
    return out;
}

QString Timestamp::recordText() const
{
    // Every received message needs this, so the text is written in place: "20yy-MM-dd hh:mm:ss".
    QString out(19, Qt::Uninitialized);
    QChar *p = out.data();
    *p++ = QLatin1Char('2');
    *p++ = QLatin1Char('0');
    constexpr char kSeparators[] = " -- ::"; // before each field but the year
    for (int i = 0; i < 6; ++i) {
        if (i > 0)
            *p++ = QLatin1Char(kSeparators[i]);
        *p++ = digitOf(octets[i] & 0x0F);
        *p++ = digitOf(octets[i] >> 4);
    }
    return out;
}

int Timestamp::quarterHours() const
{
    const quint8 tz = octets[6];
    const int value = (tz & 0x07) * 10 + (tz >> 4);
    return (tz & 0x08) ? -value : value;
}

Timestamp readTimestamp(OctetCursor &cursor, const char *what)
{
    Timestamp t;
    const QByteArrayView raw = cursor.take(7, what);
    for (qsizetype i = 0; i < raw.size(); ++i)
        t.octets[i] = quint8(raw[i]);
    return t;
}

void writeTimestamp(QByteArray &out, const Timestamp &stamp)
{
    for (const quint8 b : stamp.octets)
        out.append(char(b));
}

} // namespace lonvera::pdu
