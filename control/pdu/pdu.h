// A whole PDU as a modem lists or takes it: optional service-centre part, then one TPDU.
// Pure functions; any thread.
#pragma once

#include "address.h"
#include "result.h"
#include "status_report.h"
#include "tpdu_deliver.h"
#include "tpdu_submit.h"

#include <QByteArray>
#include <QString>

#include <variant>

namespace lonvera::pdu {

enum class PduKind { Deliver, Submit, StatusReport };
/// "deliver", "submit", "status-report".
QString pduKindName(PduKind kind);

/// Whether the octets start with a service-centre part (the form a modem lists and takes in
/// PDU mode) or with the TPDU itself.
enum class CentrePart { Present, Absent };

struct Pdu
{
    bool hasCentre = true;
    Address centre; ///< empty value when the part was "00"
    std::variant<DeliverTpdu, SubmitTpdu, StatusReportTpdu> tpdu;

    PduKind kind() const { return PduKind(tpdu.index()); }
    const DeliverTpdu *deliver() const { return std::get_if<DeliverTpdu>(&tpdu); }
    const SubmitTpdu *submit() const { return std::get_if<SubmitTpdu>(&tpdu); }
    const StatusReportTpdu *statusReport() const { return std::get_if<StatusReportTpdu>(&tpdu); }
};

/// Decodes octets; the kind follows from TP-MTI (3GPP TS 23.040 9.2.3.1), read as the
/// network-to-modem direction for 0 and 2 and as SMS-SUBMIT for 1; 3 is refused.
Result<Pdu> decodePdu(QByteArrayView octets, CentrePart centre = CentrePart::Present);
/// Decodes hex text (blanks and control characters around it are not accepted).
Result<Pdu> decodePduHex(QStringView hex, CentrePart centre = CentrePart::Present);

/// Octets of the PDU, with the service-centre part when hasCentre.
QByteArray encodePdu(const Pdu &pdu);

} // namespace lonvera::pdu
