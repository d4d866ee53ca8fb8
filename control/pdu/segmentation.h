// Turning a text into the SMS-SUBMIT PDUs of its parts, exactly as they are written to the
// modem, for both service-centre variants. Pure functions; any thread.
#pragma once

#include "result.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace lonvera::pdu {

/// How the service centre is given: an explicit centre part built from the centre number, or
/// "00" so that the modem uses the centre stored on its SIM.
enum class CentreVariant { Explicit, Default };

struct SubmitRequest
{
    QString text;
    QString destination; ///< as the caller gave it; "+" signs are dropped
    QString centre;      ///< the service-centre number (SmsService); used by Explicit only
    bool statusReport = false;
    quint8 validity = 0x01; ///< relative validity octet: 0x01 ten minutes, 0xC5 five weeks
    quint8 reference = 0;   ///< concatenation reference, chosen by the caller per message
};

struct SubmitPart
{
    QString pdu;        ///< hex as written to the modem, centre part included
    int tpduOctets = 0; ///< octets after the centre part, the length given to AT+CMGS
    QString text;       ///< the part of the text this PDU carries
};

/// True when the text can go in the GSM 7-bit default alphabet; otherwise it goes as UCS2.
bool IsAsciiText(QStringView text);

/// The texts of the parts: one part up to 160 (7-bit) or 70 (UCS2) units, otherwise parts of
/// 153 or 67 units; a UCS2 cut never separates the halves of a surrogate pair.
QStringList splitText(QStringView text);

/// Fails on an empty text, a destination that is not numeric, or (Explicit) a centre number
/// that is not numeric.
Result<QList<SubmitPart>> encodeSubmitParts(const SubmitRequest &request, CentreVariant variant);

} // namespace lonvera::pdu
