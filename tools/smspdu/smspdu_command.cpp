// The smspdu commands.
#include "smspdu_command.h"

#include "lonvera_pdu.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace lonvera::smspdu {

using namespace lonvera::pdu;

namespace {

const char kUsage[] = "usage: smspdu decode HEX... | smspdu encode --to NUMBER [--smsc NUMBER] "
                      "[--report] [--validity-long] [--default-centre] [--reference N] TEXT";

QJsonValue concatenationJson(const UserData &ud)
{
    if (!ud.concatenation)
        return QJsonValue::Null;
    return QJsonObject{{QStringLiteral("reference"), ud.concatenation->reference},
                       {QStringLiteral("total"), ud.concatenation->total},
                       {QStringLiteral("sequence"), ud.concatenation->sequence}};
}

QJsonObject dataCodingJson(quint8 dcs)
{
    return QJsonObject{{QStringLiteral("scheme"), HexByte(dcs)},
                       {QStringLiteral("alphabet"), alphabetName(alphabetOf(dcs))}};
}

QJsonObject describe(const Pdu &pdu, const QString &now)
{
    QJsonObject o;
    o.insert(QStringLiteral("kind"), pduKindName(pdu.kind()));
    o.insert(QStringLiteral("serviceCentre"), pdu.centre.display());
    if (const DeliverTpdu *d = pdu.deliver()) {
        o.insert(QStringLiteral("sender"), d->originator.display());
        o.insert(QStringLiteral("text"), d->userData.text);
        o.insert(QStringLiteral("dataCoding"), dataCodingJson(d->dcs));
        o.insert(QStringLiteral("timeStamp"), d->centreTime.recordText());
        o.insert(QStringLiteral("concatenation"), concatenationJson(d->userData));
    } else if (const SubmitTpdu *s = pdu.submit()) {
        o.insert(QStringLiteral("recipient"), s->destination.display());
        o.insert(QStringLiteral("text"), s->userData.text);
        o.insert(QStringLiteral("dataCoding"), dataCodingJson(s->dcs));
        o.insert(QStringLiteral("statusReportRequest"), s->statusReportRequest);
        o.insert(QStringLiteral("messageReference"), s->messageReference);
        o.insert(QStringLiteral("concatenation"), concatenationJson(s->userData));
    } else if (const StatusReportTpdu *r = pdu.statusReport()) {
        o.insert(QStringLiteral("recipient"), r->recipient.display());
        o.insert(QStringLiteral("messageReference"), r->messageReference);
        o.insert(QStringLiteral("timeStamp"), r->centreTime.recordText());
        o.insert(QStringLiteral("dischargeTime"), r->dischargeTime.recordText());
        o.insert(QStringLiteral("status"), HexByte(r->status));
        o.insert(QStringLiteral("delivered"), r->isDelivered());
        o.insert(QStringLiteral("report"), reportRecord(*r));
    }
    // The record a listing of this PDU alone yields (empty for a part of a long message).
    LongParts alone;
    const ReceivedMessage m = receivedMessage(pdu, alone, now);
    o.insert(QStringLiteral("record"),
             m.hasRecord() ? messageRecord(m.sender, m.text, m.time) : QString());
    return o;
}

void printJson(QTextStream &out, const QJsonObject &o)
{
    out << QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)) << '\n';
}

int decode(const QStringList &hexes, QTextStream &out, QTextStream &err, const QString &now)
{
    if (hexes.isEmpty()) {
        err << kUsage << '\n';
        return 2;
    }
    int status = 0;
    QList<Pdu> pdus;
    for (const QString &hex : hexes) {
        const Result<Pdu> pdu = decodePduHex(hex.trimmed());
        if (!pdu) {
            err << "smspdu: " << hex.left(40) << ": " << pdu.error() << '\n';
            status = 1;
            continue;
        }
        printJson(out, describe(*pdu, now));
        pdus.append(*pdu);
    }
    // Parts of long messages, joined as a listing of the modem's storage would join them.
    LongParts longParts;
    for (const Pdu &pdu : std::as_const(pdus)) {
        const DeliverTpdu *d = pdu.deliver();
        if (!d || !d->userData.concatenation)
            continue;
        const ReceivedMessage m = receivedMessage(pdu, longParts, now);
        if (!m.hasRecord())
            continue;
        printJson(out,
                  QJsonObject{{QStringLiteral("kind"), QStringLiteral("joined")},
                              {QStringLiteral("sender"), d->originator.display()},
                              {QStringLiteral("text"), m.text},
                              {QStringLiteral("parts"), d->userData.concatenation->total},
                              {QStringLiteral("timeStamp"), m.time},
                              {QStringLiteral("record"), messageRecord(m.sender, m.text, m.time)}});
    }
    return status;
}

int encode(const QStringList &args, QTextStream &out, QTextStream &err)
{
    SubmitRequest request;
    CentreVariant variant = CentreVariant::Explicit;
    QStringList texts;
    bool haveTo = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == QLatin1String("--to") && hasValue) {
            request.destination = args[++i];
            haveTo = true;
        } else if (a == QLatin1String("--smsc") && hasValue) {
            request.centre = args[++i];
        } else if (a == QLatin1String("--reference") && hasValue) {
            bool ok = false;
            const int ref = args[++i].toInt(&ok);
            if (!ok || ref < 0 || ref > 255) {
                err << "smspdu: --reference wants a number from 0 to 255\n";
                return 2;
            }
            request.reference = quint8(ref);
        } else if (a == QLatin1String("--report")) {
            request.statusReport = true;
        } else if (a == QLatin1String("--validity-long")) {
            request.validity = 0xC5;
        } else if (a == QLatin1String("--default-centre")) {
            variant = CentreVariant::Default;
        } else if (a.startsWith(QLatin1String("--")) && a != QLatin1String("--")) {
            err << "smspdu: unknown or incomplete option " << a << '\n';
            return 2;
        } else {
            texts.append(a == QLatin1String("--") ? args.mid(i + 1).join(QLatin1Char(' ')) : a);
            if (a == QLatin1String("--"))
                break;
        }
    }
    if (!haveTo || texts.size() != 1) {
        err << kUsage << '\n';
        return 2;
    }
    if (variant == CentreVariant::Explicit && request.centre.isEmpty()) {
        err << "smspdu: --smsc is needed unless --default-centre is given\n";
        return 2;
    }
    request.text = texts.first();
    const Result<QList<SubmitPart>> parts = encodeSubmitParts(request, variant);
    if (!parts) {
        err << "smspdu: " << parts.error() << '\n';
        return 1;
    }
    for (const SubmitPart &part : *parts)
        out << part.pdu << '\n';
    return 0;
}

} // namespace

int run(const QStringList &arguments, QTextStream &out, QTextStream &err, const QString &now)
{
    const QString command = arguments.value(0);
    if (command == QLatin1String("decode"))
        return decode(arguments.mid(1), out, err, now);
    if (command == QLatin1String("encode"))
        return encode(arguments.mid(1), out, err);
    err << kUsage << '\n';
    return 2;
}

} // namespace lonvera::smspdu
