// SMS-SUBMIT TPDU (3GPP TS 23.040 9.2.2.2): what a modem sends into the network.
// Pure functions; any thread.
#pragma once

#include "address.h"
#include "octet_cursor.h"
#include "result.h"
#include "user_data.h"

#include <QByteArray>

namespace lonvera::pdu {

/// TP-VPF (3GPP TS 23.040 9.2.3.3).
enum class ValidityFormat { None = 0, Enhanced = 1, Relative = 2, Absolute = 3 };

struct SubmitTpdu
{
    bool rejectDuplicates = false;
    bool statusReportRequest = false;
    bool replyPath = false;
    quint8 messageReference = 0;
    Address destination;
    quint8 protocolId = 0;
    quint8 dcs = 0;
    ValidityFormat validityFormat = ValidityFormat::Relative;
    QByteArray validity{1, char(0x01)}; ///< 1 octet (relative) or 7 octets; empty for None
    UserData userData;

    Alphabet alphabet() const { return alphabetOf(dcs); }
};

/// Reads an SMS-SUBMIT TPDU (no service-centre part) at the cursor.
Result<SubmitTpdu> readSubmit(OctetCursor &cursor);
/// Octets of the TPDU (no service-centre part); TP-UDHI follows from the header.
QByteArray encodeSubmit(const SubmitTpdu &submit);

} // namespace lonvera::pdu
