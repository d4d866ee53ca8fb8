// SMS-STATUS-REPORT TPDU (3GPP TS 23.040 9.2.2.3) and the report records handed to the host.
// Pure functions; any thread.
#pragma once

#include "address.h"
#include "octet_cursor.h"
#include "result.h"
#include "timestamp.h"

#include <QByteArray>
#include <QString>

namespace lonvera::pdu {

struct StatusReportTpdu
{
    bool moreMessages = false;
    bool qualifier = false; ///< TP-SRQ: report of a command rather than a submit
    quint8 messageReference = 0;
    Address recipient;
    Timestamp centreTime;
    Timestamp dischargeTime;
    quint8 status = 0; ///< TP-ST: 0 delivered; 0x01-0x1F other completed; else not delivered

    bool isDelivered() const { return status == 0; }
};

/// Reads an SMS-STATUS-REPORT TPDU (no service-centre part); optional trailing fields
/// (parameter indicator and what it announces) are accepted and skipped.
Result<StatusReportTpdu> readStatusReport(OctetCursor &cursor);
/// Octets of the TPDU (no service-centre part, no optional fields).
QByteArray encodeStatusReport(const StatusReportTpdu &report);

/// The report record: "已发送至：" or "未发送至：" + recipient, character 1, centre time,
/// character 1, discharge time.
QString reportRecord(const StatusReportTpdu &report);

/// Record of a status-report PDU given as hex; startIs is the length of its service-centre
/// part in hex characters less 2 (0 for "00", 16 for "0891"...). The centre part is read by
/// its own length octet; a PDU that is not hex, too short or not a status report gives "".
QString get_report_all(int startIs, QStringView hex);

/// Record of one listed report line (control characters dropped); "" when the line is not a
/// status report.
QString DecodeReportLine(QStringView line);

/// TP-ST of a status-report PDU line (control characters dropped, centre part first); -1 when the
/// line is not a status report.
int reportLineStatus(QStringView line);

/// TP-ST 0x20-0x3F: the centre is still trying and a final report follows (3GPP TS 23.040
/// 9.2.3.15), so the message has neither reached nor missed its recipient yet.
constexpr bool isTemporaryStatus(int status)
{
    return status >= 0x20 && status <= 0x3F;
}

} // namespace lonvera::pdu
