// A whole PDU: optional service-centre part, then one TPDU.
#include "pdu.h"

#include "hex.h"

namespace lonvera::pdu {

QString pduKindName(PduKind kind)
{
    switch (kind) {
    case PduKind::Deliver:
        return QStringLiteral("deliver");
    case PduKind::Submit:
        return QStringLiteral("submit");
    case PduKind::StatusReport:
        return QStringLiteral("status-report");
    }
    return {};
}

Result<Pdu> decodePdu(QByteArrayView octets, CentrePart centre)
{
    Pdu pdu;
    OctetCursor cursor(octets);
    pdu.hasCentre = centre == CentrePart::Present;
    if (pdu.hasCentre)
        pdu.centre = readCentreAddress(cursor);
    if (cursor.failed())
        return Result<Pdu>::failure(cursor.error());
    if (cursor.atEnd())
        return Result<Pdu>::failure(QStringLiteral("PDU too short for the first octet"));
    const quint8 first = quint8(octets[cursor.position()]);

    // 3GPP TS 23.040 9.2.3.1: TP-MTI. A listing holds received messages (0), reports (2) and
    // stored outgoing messages (1); 3 is reserved.
    switch (first & 0x03) {
    case 1: {
        Result<SubmitTpdu> s = readSubmit(cursor);
        if (!s)
            return Result<Pdu>::failure(s.error());
        pdu.tpdu = std::move(s.value());
        break;
    }
    case 2: {
        Result<StatusReportTpdu> r = readStatusReport(cursor);
        if (!r)
            return Result<Pdu>::failure(r.error());
        pdu.tpdu = std::move(r.value());
        break;
    }
    default: {
        if ((first & 0x03) == 3)
            return Result<Pdu>::failure(QStringLiteral("reserved message type"));
        Result<DeliverTpdu> d = readDeliver(cursor);
        if (!d)
            return Result<Pdu>::failure(d.error());
        pdu.tpdu = std::move(d.value());
        break;
    }
    }
    return pdu;
}

Result<Pdu> decodePduHex(QStringView hex, CentrePart centre)
{
    const Result<QByteArray> octets = parseHex(hex);
    if (!octets)
        return Result<Pdu>::failure(octets.error());
    if (octets->isEmpty())
        return Result<Pdu>::failure(QStringLiteral("empty PDU"));
    return decodePdu(*octets, centre);
}

QByteArray encodePdu(const Pdu &pdu)
{
    QByteArray out;
    if (pdu.hasCentre)
        writeCentreAddress(out, pdu.centre);
    switch (pdu.kind()) {
    case PduKind::Deliver:
        out.append(encodeDeliver(*pdu.deliver()));
        break;
    case PduKind::Submit:
        out.append(encodeSubmit(*pdu.submit()));
        break;
    case PduKind::StatusReport:
        out.append(encodeStatusReport(*pdu.statusReport()));
        break;
    }
    return out;
}

} // namespace lonvera::pdu
