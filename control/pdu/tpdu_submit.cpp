// SMS-SUBMIT TPDU.
#include "tpdu_submit.h"

namespace lonvera::pdu {

namespace {

// 3GPP TS 23.040 9.2.3: first-octet bits of SMS-SUBMIT.
constexpr quint8 kMtiSubmit = 0x01;
constexpr quint8 kRejectDuplicates = 0x04;
constexpr quint8 kStatusReportRequest = 0x20;
constexpr quint8 kUserDataHeader = 0x40;
constexpr quint8 kReplyPath = 0x80;

} // namespace

Result<SubmitTpdu> readSubmit(OctetCursor &cursor)
{
    SubmitTpdu s;
    const quint8 first = cursor.take("first octet");
    if (!cursor.failed() && (first & 0x03) != kMtiSubmit)
        cursor.fail(QStringLiteral("not an SMS-SUBMIT"));
    s.rejectDuplicates = first & kRejectDuplicates;
    s.statusReportRequest = first & kStatusReportRequest;
    s.replyPath = first & kReplyPath;
    s.validityFormat = ValidityFormat((first >> 3) & 0x03);
    s.messageReference = cursor.take("message reference");
    s.destination = readAddress(cursor, "destination");
    s.protocolId = cursor.take("protocol identifier");
    s.dcs = cursor.take("data coding scheme");
    // 3GPP TS 23.040 9.2.3.12: relative is one octet, absolute and enhanced seven.
    const int validityOctets = s.validityFormat == ValidityFormat::None       ? 0
                               : s.validityFormat == ValidityFormat::Relative ? 1
                                                                              : 7;
    s.validity = cursor.take(validityOctets, "validity period").toByteArray();
    s.userData = readUserData(cursor, s.dcs, first & kUserDataHeader);
    if (cursor.failed())
        return Result<SubmitTpdu>::failure(cursor.error());
    return s;
}

QByteArray encodeSubmit(const SubmitTpdu &s)
{
    const int validityOctets = s.validityFormat == ValidityFormat::None       ? 0
                               : s.validityFormat == ValidityFormat::Relative ? 1
                                                                              : 7;
    quint8 first = kMtiSubmit | quint8(int(s.validityFormat) << 3);
    if (s.rejectDuplicates)
        first |= kRejectDuplicates;
    if (s.statusReportRequest)
        first |= kStatusReportRequest;
    if (!s.userData.header.isEmpty())
        first |= kUserDataHeader;
    if (s.replyPath)
        first |= kReplyPath;
    QByteArray out;
    out.reserve(32 + s.userData.raw.size());
    out.append(char(first));
    out.append(char(s.messageReference));
    writeAddress(out, s.destination);
    out.append(char(s.protocolId));
    out.append(char(s.dcs));
    const qsizetype given = qMin<qsizetype>(s.validity.size(), validityOctets);
    out.append(s.validity.constData(), given);
    out.append(validityOctets - given, '\0');
    writeUserData(out, s.userData);
    return out;
}

} // namespace lonvera::pdu
