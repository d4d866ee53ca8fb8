// A storage listing reply turned into received-message records.
#include "listing.h"

#include "reply_fields.h"

namespace lonvera::pdu {

namespace {

constexpr int kMinPduChars = 30;

bool isCommandEcho(QStringView line)
{
    return line.contains(QLatin1String("at"), Qt::CaseInsensitive);
}

} // namespace

Listing parseListing(QStringView reply, LongParts &longParts, int simCapacity, int maxIndex,
                     const QString &now)
{
    Listing listing;
    listing.maxIndex = maxIndex;
    const QString compact = reply.toString().remove(QLatin1Char(' '));
    for (const QStringView raw : QStringView(compact).tokenize(QLatin1Char('\n'))) {
        if (raw.contains(QLatin1String("CMGL"), Qt::CaseInsensitive) && !isCommandEcho(raw)) {
            const QString header = StripControls(raw);
            const qsizetype colon = header.indexOf(QLatin1Char(':'));
            const qsizetype comma = header.indexOf(QLatin1Char(','));
            int index = -1;
            if (colon >= 0 && comma > colon) {
                const QString field = header.sliced(colon + 1, comma - colon - 1);
                bool ok = false;
                index = field.size() <= 9 && !field.startsWith(QLatin1Char('+')) ? field.toInt(&ok)
                                                                                 : -1;
                if (!ok)
                    index = -1;
            }
            if (index <= 0)
                index = simCapacity;
            listing.maxIndex = qMax(listing.maxIndex, index);
        }

        QString line = raw.trimmed().toString().remove(QLatin1Char('>'));
        if (isCommandEcho(line))
            continue;
        qsizetype start = 0;
        while (start < line.size() && line.size() - start >= kMinPduChars &&
               line[start] != QLatin1Char('0'))
            ++start;
        line = StripControls(QStringView(line).sliced(start));
        if (line.size() <= kMinPduChars)
            continue;
        const ReceivedMessage m = DecodePdu(line, longParts, now);
        if (m.hasRecord())
            listing.records.append(messageRecord(m.sender, m.text, m.time));
    }
    return listing;
}

} // namespace lonvera::pdu
