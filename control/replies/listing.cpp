// A storage listing reply turned into received-message records.
#include "control/replies/listing.h"

#include "control/pdu/hex.h"

#include <utility>

namespace lonvera::control {

namespace {

constexpr int kMinPduChars = 30;

bool isCommandEcho(QStringView line)
{
    return line.contains(QLatin1String("at"), Qt::CaseInsensitive);
}

// 3GPP TS 27.005 3.4.2 <stat> of a "+CMGL:" header, -1 when it gives none.
int headerState(QStringView header)
{
    const qsizetype colon = header.indexOf(QLatin1Char(':'));
    const QList<QStringView> fields = header.sliced(colon + 1).split(QLatin1Char(','));
    if (fields.size() < 2)
        return -1;
    bool ok = false;
    const int state = fields[1].toInt(&ok);
    return ok ? state : -1;
}

// An SMS-SUBMIT (3GPP TS 23.040 9.2.3.1, TP-MTI 01) behind its centre part: a message this
// modem sent or is to send, never one it received.
bool isSubmit(QStringView line)
{
    if (line.size() < 4)
        return false;
    const int centreOctets =
        pdu::hexDigitValue(line[0].unicode()) * 16 + pdu::hexDigitValue(line[1].unicode());
    const qsizetype at = 2 + 2 * qsizetype(centreOctets);
    if (centreOctets < 0 || at + 2 > line.size())
        return false;
    const int low = pdu::hexDigitValue(line[at + 1].unicode());
    return low >= 0 && (low & 0x03) == 0x01;
}

} // namespace

Listing parseListing(QStringView reply, pdu::LongParts &longParts, int simCapacity, int maxIndex,
                     const QString &now)
{
    Listing listing;
    listing.maxIndex = maxIndex;
    const QString compact = reply.toString().remove(QLatin1Char(' '));
    int state = -1;
    int index = -1;
    for (const QStringView raw : QStringView(compact).tokenize(QLatin1Char('\n'))) {
        if (raw.contains(QLatin1String("CMGL"), Qt::CaseInsensitive) && !isCommandEcho(raw)) {
            const QString header = pdu::StripControls(raw);
            const qsizetype colon = header.indexOf(QLatin1Char(':'));
            const qsizetype comma = header.indexOf(QLatin1Char(','));
            index = -1;
            if (colon >= 0 && comma > colon) {
                const QString field = header.sliced(colon + 1, comma - colon - 1);
                bool ok = false;
                index = field.size() <= 9 && !field.startsWith(QLatin1Char('+')) ? field.toInt(&ok)
                                                                                 : -1;
                if (!ok)
                    index = -1;
            }
            state = headerState(header);
            listing.maxIndex = qMax(listing.maxIndex, index <= 0 ? simCapacity : index);
        }

        QString line = raw.trimmed().toString().remove(QLatin1Char('>'));
        if (isCommandEcho(line))
            continue;
        qsizetype start = 0;
        while (start < line.size() && line.size() - start >= kMinPduChars &&
               line[start] != QLatin1Char('0'))
            ++start;
        line = pdu::StripControls(QStringView(line).sliced(start));
        if (line.size() <= kMinPduChars)
            continue;
        // Stored outgoing messages (states 2 and 3) were not received: neither raised nor deleted.
        const bool outgoing = state == 2 || state == 3 || isSubmit(line);
        const int listedIndex = std::exchange(index, -1);
        state = -1;
        if (outgoing)
            continue;
        if (listedIndex > 0)
            listing.receivedIndexes.append(listedIndex);
        const pdu::ReceivedMessage m = pdu::DecodePdu(line, longParts, now);
        if (m.hasRecord())
            listing.records.append(pdu::messageRecord(m.sender, m.text, m.time));
    }
    return listing;
}

} // namespace lonvera::control
