// SMS-DELIVER TPDU (3GPP TS 23.040 9.2.2.1): a message the network hands to a modem.
// Pure functions; any thread.
#pragma once

#include "address.h"
#include "octet_cursor.h"
#include "result.h"
#include "timestamp.h"
#include "user_data.h"

#include <QByteArray>

namespace lonvera::pdu {

struct DeliverTpdu
{
    bool moreMessages = false; ///< TP-MMS is 0: the centre has more messages waiting
    bool replyPath = false;
    bool statusReportIndication = false;
    Address originator;
    quint8 protocolId = 0;
    quint8 dcs = 0;
    Timestamp centreTime;
    UserData userData;

    Alphabet alphabet() const { return alphabetOf(dcs); }
};

/// Reads an SMS-DELIVER TPDU (no service-centre part) at the cursor.
Result<DeliverTpdu> readDeliver(OctetCursor &cursor);
/// Octets of the TPDU (no service-centre part); TP-UDHI follows from the header.
QByteArray encodeDeliver(const DeliverTpdu &deliver);

} // namespace lonvera::pdu
