// Data coding scheme, user-data header and user data.
#include "user_data.h"

#include "gsm7_alphabet.h"
#include "hex.h"
#include "ucs2.h"

namespace lonvera::pdu {

namespace {

// 3GPP TS 23.040 9.2.3.24: information element identifiers we interpret.
constexpr quint8 kConcat8 = 0x00;
constexpr quint8 kConcat16 = 0x08;

std::optional<Concatenation> findConcatenation(QByteArrayView header)
{
    qsizetype i = 0;
    while (i + 2 <= header.size()) {
        const quint8 id = quint8(header[i]);
        const int length = quint8(header[i + 1]);
        if (i + 2 + length > header.size())
            break; // a malformed element ends the walk; what came before stands
        const QByteArrayView data = header.sliced(i + 2, length);
        if (id == kConcat8 && length == 3) {
            return Concatenation{quint8(data[0]), quint8(data[1]), quint8(data[2]), false};
        }
        if (id == kConcat16 && length == 4) {
            return Concatenation{quint8(data[0]) << 8 | quint8(data[1]), quint8(data[2]),
                                 quint8(data[3]), true};
        }
        i += 2 + length;
    }
    return std::nullopt;
}

// 3GPP TS 23.040 9.2.3.24: 7-bit text after a header starts on a septet boundary.
int fillBitsAfter(qsizetype headerOctetsWithLength)
{
    return int((7 - (headerOctetsWithLength * 8) % 7) % 7);
}

int septetsOfHeader(qsizetype headerOctetsWithLength)
{
    return int((headerOctetsWithLength * 8 + fillBitsAfter(headerOctetsWithLength)) / 7);
}

QString payloadText(QByteArrayView payload, Alphabet alphabet)
{
    switch (alphabet) {
    case Alphabet::Gsm7:
        return septetsToText(payload);
    case Alphabet::Ucs2:
        return ucs2ToText(payload);
    case Alphabet::EightBit:
        return toHex(payload);
    }
    return {};
}

} // namespace

Alphabet alphabetOf(quint8 dcs)
{
    // 3GPP TS 23.038 4: general data coding (00xx) and automatic deletion (01xx) groups.
    if ((dcs & 0x80) == 0) {
        if (dcs & 0x20)
            return Alphabet::EightBit; // compressed: not text we can show
        switch ((dcs >> 2) & 0x03) {
        case 1:
            return Alphabet::EightBit;
        case 2:
            return Alphabet::Ucs2;
        default:
            return Alphabet::Gsm7; // 11 is reserved and read as the default alphabet
        }
    }
    switch (dcs >> 4) {
    case 0x0E:
        return Alphabet::Ucs2; // message waiting, store, UCS2
    case 0x0F:
        return (dcs & 0x04) ? Alphabet::EightBit : Alphabet::Gsm7;
    default:
        return Alphabet::Gsm7; // reserved groups and message waiting discard/store
    }
}

QString alphabetName(Alphabet alphabet)
{
    switch (alphabet) {
    case Alphabet::Gsm7:
        return QStringLiteral("7bit");
    case Alphabet::EightBit:
        return QStringLiteral("8bit");
    case Alphabet::Ucs2:
        return QStringLiteral("ucs2");
    }
    return {};
}

UserData readUserData(OctetCursor &cursor, quint8 dcs, bool hasHeader)
{
    UserData ud;
    const Alphabet alphabet = alphabetOf(dcs);
    ud.length = cursor.take("user-data length");
    const qsizetype octets = alphabet == Alphabet::Gsm7 ? (ud.length * 7 + 7) / 8 : ud.length;
    ud.raw = cursor.take(octets, "user data").toByteArray();
    if (cursor.failed())
        return ud;

    qsizetype headerOctets = 0; // with its length octet
    if (hasHeader && !ud.raw.isEmpty()) {
        headerOctets = 1 + quint8(ud.raw[0]);
        if (headerOctets > ud.raw.size()) {
            cursor.fail(QStringLiteral("user-data header longer than the user data"));
            return ud;
        }
        ud.header = ud.raw.mid(1, headerOctets - 1);
        ud.concatenation = findConcatenation(ud.header);
    }
    const QByteArrayView body = QByteArrayView(ud.raw).sliced(headerOctets);
    if (alphabet == Alphabet::Gsm7) {
        const int septets = ud.length - (headerOctets ? septetsOfHeader(headerOctets) : 0);
        if (septets < 0) {
            cursor.fail(QStringLiteral("user-data length shorter than its header"));
            return ud;
        }
        ud.payload = unpackSeptets(body, septets, headerOctets ? fillBitsAfter(headerOctets) : 0);
    } else {
        ud.payload = body.toByteArray();
    }
    ud.text = payloadText(ud.payload, alphabet);
    return ud;
}

void writeUserData(QByteArray &out, const UserData &userData)
{
    out.append(char(userData.length));
    out.append(userData.raw);
}

QByteArray concatenationHeader(const Concatenation &c)
{
    QByteArray h;
    if (c.sixteenBit) {
        h.append(char(kConcat16)).append(char(4));
        h.append(char(c.reference >> 8)).append(char(c.reference & 0xFF));
    } else {
        h.append(char(kConcat8)).append(char(3)).append(char(c.reference & 0xFF));
    }
    h.append(char(c.total)).append(char(c.sequence));
    return h;
}

namespace {

// text, when given, is what payloadText() would read back from the payload, so encoding does
// not decode what it has just encoded.
UserData buildUserData(QByteArray payload, Alphabet alphabet, const QByteArray &header,
                       const QString *text)
{
    UserData ud;
    ud.header = header;
    qsizetype headerOctets = 0;
    if (!header.isEmpty()) {
        headerOctets = 1 + header.size();
        ud.concatenation = findConcatenation(header);
    }
    QByteArray body;
    if (alphabet == Alphabet::Gsm7) {
        body = packSeptets(payload, headerOctets ? fillBitsAfter(headerOctets) : 0);
        ud.length = int((headerOctets ? septetsOfHeader(headerOctets) : 0) + payload.size());
    } else {
        body = payload;
        ud.length = int(headerOctets + payload.size());
    }
    if (headerOctets) {
        ud.raw.reserve(headerOctets + body.size());
        ud.raw.append(char(header.size())).append(header).append(body);
    } else {
        ud.raw = std::move(body);
    }
    ud.text = text ? *text : payloadText(payload, alphabet);
    ud.payload = std::move(payload);
    return ud;
}

QByteArray textPayload(QStringView text, Alphabet alphabet, bool *exact)
{
    switch (alphabet) {
    case Alphabet::Gsm7:
        return textToSeptets(text, exact);
    case Alphabet::Ucs2:
        *exact = true; // every UTF-16 unit travels as it is
        return textToUcs2(text);
    case Alphabet::EightBit:
        *exact = false; // the text is shown as hex
        return text.toLatin1();
    }
    *exact = false;
    return {};
}

} // namespace

UserData makeRawUserData(QByteArrayView payload, Alphabet alphabet, const QByteArray &header)
{
    return buildUserData(payload.toByteArray(), alphabet, header, nullptr);
}

UserData makeUserData(QStringView text, Alphabet alphabet, const QByteArray &header)
{
    bool exact = false;
    QByteArray payload = textPayload(text, alphabet, &exact);
    if (!exact)
        return buildUserData(std::move(payload), alphabet, header, nullptr);
    const QString copy = text.toString();
    return buildUserData(std::move(payload), alphabet, header, &copy);
}

UserData makeTextUserData(const QString &text, Alphabet alphabet, const QByteArray &header)
{
    bool exact = false;
    QByteArray payload = textPayload(text, alphabet, &exact);
    return buildUserData(std::move(payload), alphabet, header, exact ? &text : nullptr);
}

} // namespace lonvera::pdu
