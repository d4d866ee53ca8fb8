// Fuzz target for every decoder of modem text: a value or an error, never a crash.
#include "lonvera_pdu.h"

#include <cstddef>
#include <cstdint>

using namespace lonvera::pdu;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = QString::fromLatin1(bytes);

    // Raw octets, with and without a centre part; a decoded PDU must encode again.
    for (const CentrePart centre : {CentrePart::Present, CentrePart::Absent}) {
        const Result<Pdu> pdu = decodePdu(bytes, centre);
        if (pdu)
            (void)encodePdu(*pdu);
    }

    // The hex-text functions the control calls on listed lines.
    static LongParts longParts; // kept across inputs, as a control keeps it across reads
    (void)DecodePdu(text, longParts, QStringLiteral("now"));
    (void)get_report_all(0, text);
    (void)DecodeReportLine(text);
    (void)Unpack7Bit(text);
    (void)Ucs2HexToText(text);
    if (longParts.pendingMessages() > 10000)
        longParts.clear();

    // The same octets as hex, so the PDU decoders see well-formed text too.
    const QString hex = toHex(bytes);
    (void)DecodePdu(hex, longParts, QStringLiteral("now"));
    (void)get_report_all(0, hex);
    return 0;
}
