// UCS2 user data.
#include "ucs2.h"

#include "hex.h"

namespace lonvera::pdu {

QByteArray textToUcs2(QStringView text)
{
    QByteArray out(text.size() * 2, Qt::Uninitialized);
    char *o = out.data();
    for (const QChar c : text) {
        *o++ = char(c.unicode() >> 8);
        *o++ = char(c.unicode() & 0xFF);
    }
    return out;
}

QString ucs2ToText(QByteArrayView octets)
{
    QString out((octets.size() + 1) / 2, Qt::Uninitialized);
    QChar *o = out.data();
    for (qsizetype i = 0; i < out.size(); ++i) {
        const unsigned hi = quint8(octets[2 * i]);
        const unsigned lo = 2 * i + 1 < octets.size() ? quint8(octets[2 * i + 1]) : 0;
        o[i] = QChar(char16_t(hi << 8 | lo));
    }
    return out;
}

QString Ucs2HexToText(QStringView hex)
{
    QString padded = hex.toString();
    while (padded.size() % 4 != 0)
        padded.append(QLatin1Char('0'));
    const Result<QByteArray> octets = parseHex(padded);
    return octets ? ucs2ToText(*octets) : QString();
}

} // namespace lonvera::pdu
