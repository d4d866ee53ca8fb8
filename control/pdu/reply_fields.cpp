// Small parsers of AT reply fragments.
#include "reply_fields.h"

#include <QStringList>

#include <algorithm>

namespace lonvera::pdu {

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

int CpmsField(QStringView text, int n)
{
    qsizetype comma = text.indexOf(QLatin1Char(','));
    if (comma < 0)
        return -1;
    if (n == 2) {
        comma = text.indexOf(QLatin1Char(','), comma + 1);
        if (comma < 0)
            return -1;
    }
    const qsizetype next = text.indexOf(QLatin1Char(','), comma + 1);
    if (next < 0)
        return -1;
    const QString field = StripControls(text.sliced(comma + 1, next - comma - 1));
    if (field.isEmpty() || field.size() > 9)
        return -1;
    for (const QChar c : field) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
    }
    const int value = field.toInt();
    return value > 200 ? -1 : value;
}

QString ClccNumber(QStringView text)
{
    for (const QStringView line : text.tokenize(QLatin1Char('\n'))) {
        if (line.size() <= 12 || !line.contains(QLatin1String("CLCC")))
            continue;
        for (const QStringView field : line.tokenize(QLatin1Char(','))) {
            if (field.size() > 4 && !field.contains(QLatin1String("CLCC")))
                return field.toString().remove(QLatin1Char('"'));
        }
    }
    return QStringLiteral("0000");
}

} // namespace lonvera::pdu
