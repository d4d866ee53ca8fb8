// SMS-STATUS-REPORT TPDU and the report records.
#include "status_report.h"

#include "hex.h"

namespace lonvera::pdu {

namespace {

// 3GPP TS 23.040 9.2.3: first-octet bits of SMS-STATUS-REPORT.
constexpr quint8 kMtiStatusReport = 0x02;
constexpr quint8 kNoMoreMessages = 0x04;
constexpr quint8 kQualifier = 0x20;

const QString kDelivered = QStringLiteral("已发送至：");
const QString kNotDelivered = QStringLiteral("未发送至：");

} // namespace

Result<StatusReportTpdu> readStatusReport(OctetCursor &cursor)
{
    StatusReportTpdu r;
    const quint8 first = cursor.take("first octet");
    if (!cursor.failed() && (first & 0x03) != kMtiStatusReport)
        cursor.fail(QStringLiteral("not an SMS-STATUS-REPORT"));
    r.moreMessages = !(first & kNoMoreMessages);
    r.qualifier = first & kQualifier;
    r.messageReference = cursor.take("message reference");
    r.recipient = readAddress(cursor, "recipient");
    r.centreTime = readTimestamp(cursor, "time stamp");
    r.dischargeTime = readTimestamp(cursor, "discharge time");
    r.status = cursor.take("status");
    if (cursor.failed())
        return Result<StatusReportTpdu>::failure(cursor.error());
    // The optional parameter indicator and what it announces (3GPP TS 23.040 9.2.3.27) carry
    // nothing the records use; whatever follows the status is left unread.
    return r;
}

QByteArray encodeStatusReport(const StatusReportTpdu &r)
{
    quint8 first = kMtiStatusReport;
    if (!r.moreMessages)
        first |= kNoMoreMessages;
    if (r.qualifier)
        first |= kQualifier;
    QByteArray out;
    out.reserve(32);
    out.append(char(first));
    out.append(char(r.messageReference));
    writeAddress(out, r.recipient);
    writeTimestamp(out, r.centreTime);
    writeTimestamp(out, r.dischargeTime);
    out.append(char(r.status));
    return out;
}

QString reportRecord(const StatusReportTpdu &r)
{
    const QChar sep(1);
    return (r.isDelivered() ? kDelivered : kNotDelivered) + r.recipient.value + sep +
           r.centreTime.recordText() + sep + r.dischargeTime.recordText();
}

QString get_report_all(int startIs, QStringView hex)
{
    // The centre part is read by its own length octet, so startIs only confirms where the
    // caller thinks the report begins; a PDU the caller cut differently still decodes.
    Q_UNUSED(startIs);
    const Result<QByteArray> octets = parseHex(hex);
    if (!octets)
        return {};
    OctetCursor cursor(*octets);
    readCentreAddress(cursor);
    const Result<StatusReportTpdu> report = readStatusReport(cursor);
    return report ? reportRecord(*report) : QString();
}

QString DecodeReportLine(QStringView line)
{
    const QString clean = StripControls(line);
    if (!clean.startsWith(QLatin1Char('0')))
        return {};
    return get_report_all(0, clean);
}

int reportLineStatus(QStringView line)
{
    const Result<QByteArray> octets = parseHex(StripControls(line));
    if (!octets)
        return -1;
    OctetCursor cursor(*octets);
    readCentreAddress(cursor);
    const Result<StatusReportTpdu> report = readStatusReport(cursor);
    return report ? report->status : -1;
}

} // namespace lonvera::pdu
