// Received-message records, the decoding of one listed PDU, and long-message reassembly.
#include "received_record.h"

#include "hex.h"

#include <array>

namespace lonvera::pdu {

namespace {

constexpr int kSenderChars = 18;

// The text of a record is kept whole: a long message joined from its parts is what the sender
// wrote, and the host stores it as it comes.
QString cleanField(const QString &field, qsizetype maxUnits)
{
    QString out = field.left(maxUnits);
    // Never leave half of a surrogate pair at the cut.
    if (out.size() < field.size() && !out.isEmpty() && out.back().isHighSurrogate())
        out.chop(1);
    for (QChar &c : out) {
        if (c == RecordSeparator || c == FieldSeparator)
            c = QLatin1Char(' ');
    }
    return out;
}

} // namespace

std::optional<QString> LongParts::add(const QString &sender, const Concatenation &c,
                                      const QString &text)
{
    if (c.total < 1 || c.sequence < 1 || c.sequence > c.total)
        return std::nullopt;
    // sender, unit separator, reference, "w" or "n"; built in one piece as it runs per part.
    QString key;
    key.reserve(sender.size() + 8);
    key.append(sender).append(QChar(0x1F));
    char digits[12]; // any int
    int d = 0;
    unsigned reference = unsigned(c.reference);
    if (c.reference < 0) {
        key.append(QLatin1Char('-'));
        reference = 0u - reference;
    }
    do {
        digits[d++] = char('0' + reference % 10);
        reference /= 10;
    } while (reference != 0);
    while (d > 0)
        key.append(QLatin1Char(digits[--d]));
    key.append(QLatin1Char(c.sixteenBit ? 'w' : 'n'));
    Pending &pending = m_messages[key];
    if (pending.total != c.total) {
        // Same sender and reference with another count: an older message that never completed.
        pending.total = c.total;
        pending.parts.clear();
    }
    pending.parts.insert(c.sequence, text);
    if (pending.parts.size() < pending.total)
        return std::nullopt;
    qsizetype size = 0;
    for (const QString &part : std::as_const(pending.parts))
        size += part.size();
    QString joined;
    joined.reserve(size);
    for (const QString &part : std::as_const(pending.parts))
        joined += part;
    m_messages.remove(key);
    return joined;
}

QString messageRecord(const QString &sender, const QString &text, const QString &time)
{
    return cleanField(sender, kSenderChars) + FieldSeparator + cleanField(text, text.size()) +
           FieldSeparator + time;
}

ReceivedMessage receivedMessage(const Pdu &pdu, LongParts &longParts, const QString &now)
{
    ReceivedMessage m;
    m.centre = pdu.centre.value;
    if (const SubmitTpdu *s = pdu.submit()) {
        m.sender = s->destination.value;
        m.text = s->userData.text;
        m.time = now;
    } else if (const StatusReportTpdu *r = pdu.statusReport()) {
        // The centre is still trying: no record, the final report follows.
        if (isTemporaryStatus(r->status))
            return m;
        m.sender = QStringLiteral("0");
        QString prefix = QStringLiteral("未发送至：");
        if (r->isDelivered())
            prefix = r->moreMessages ? QStringLiteral("已发送：") : QStringLiteral("已发送至：");
        m.text = prefix + r->recipient.value;
        m.time = r->centreTime.recordText();
    } else if (const DeliverTpdu *d = pdu.deliver()) {
        m.sender = d->originator.value;
        m.time = d->centreTime.recordText();
        if (d->userData.concatenation) {
            if (std::optional<QString> whole =
                    longParts.add(m.sender, *d->userData.concatenation, d->userData.text))
                m.text = *whole;
        } else {
            m.text = d->userData.text;
        }
    }
    return m;
}

ReceivedMessage DecodePdu(QStringView line, LongParts &longParts, const QString &now)
{
    // Every listed line passes here: a line that fits is read straight into octets on the
    // stack, dropping the characters StripControls drops, with no text copies on the way.
    constexpr qsizetype kMaxOctets = 256;
    if (line.size() > 2 * kMaxOctets) {
        const Result<Pdu> pdu = decodePduHex(StripControls(line));
        return pdu ? receivedMessage(*pdu, longParts, now) : ReceivedMessage{};
    }
    std::array<char, kMaxOctets> octets;
    qsizetype n = 0;
    int high = -1;
    for (const QChar c : line) {
        const char16_t u = c.unicode();
        if (u >= 1 && u <= 32 && u != 30 && u != 31)
            continue;
        const int value = hexDigitValue(u);
        if (value < 0)
            return {};
        if (high < 0) {
            high = value;
        } else {
            octets[n++] = char(high << 4 | value);
            high = -1;
        }
    }
    if (high >= 0 || n == 0)
        return {};
    const Result<Pdu> pdu = decodePdu(QByteArrayView(octets.data(), n));
    if (!pdu)
        return {};
    return receivedMessage(*pdu, longParts, now);
}

} // namespace lonvera::pdu
