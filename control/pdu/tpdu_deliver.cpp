// SMS-DELIVER TPDU.
#include "tpdu_deliver.h"

namespace lonvera::pdu {

namespace {

// 3GPP TS 23.040 9.2.3: first-octet bits of SMS-DELIVER.
constexpr quint8 kNoMoreMessages = 0x04;
constexpr quint8 kStatusReportIndication = 0x20;
constexpr quint8 kUserDataHeader = 0x40;
constexpr quint8 kReplyPath = 0x80;

} // namespace

Result<DeliverTpdu> readDeliver(OctetCursor &cursor)
{
    DeliverTpdu d;
    const quint8 first = cursor.take("first octet");
    if (!cursor.failed() && (first & 0x03) != 0x00)
        cursor.fail(QStringLiteral("not an SMS-DELIVER"));
    d.moreMessages = !(first & kNoMoreMessages);
    d.statusReportIndication = first & kStatusReportIndication;
    d.replyPath = first & kReplyPath;
    d.originator = readAddress(cursor, "originator");
    d.protocolId = cursor.take("protocol identifier");
    d.dcs = cursor.take("data coding scheme");
    d.centreTime = readTimestamp(cursor, "time stamp");
    d.userData = readUserData(cursor, d.dcs, first & kUserDataHeader);
    if (cursor.failed())
        return Result<DeliverTpdu>::failure(cursor.error());
    return d;
}

QByteArray encodeDeliver(const DeliverTpdu &d)
{
    quint8 first = 0x00;
    if (!d.moreMessages)
        first |= kNoMoreMessages;
    if (d.statusReportIndication)
        first |= kStatusReportIndication;
    if (!d.userData.header.isEmpty())
        first |= kUserDataHeader;
    if (d.replyPath)
        first |= kReplyPath;
    QByteArray out;
    out.reserve(32 + d.userData.raw.size());
    out.append(char(first));
    writeAddress(out, d.originator);
    out.append(char(d.protocolId));
    out.append(char(d.dcs));
    writeTimestamp(out, d.centreTime);
    writeUserData(out, d.userData);
    return out;
}

} // namespace lonvera::pdu
