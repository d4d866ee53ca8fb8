// The emulated network: message relay between modems and status reports.
#include "network.h"

#include "call_switch.h"
#include "emulated_modem.h"
#include "emulator_log.h"

#include "gsm7_alphabet.h"
#include "hex.h"
#include "user_data.h"

#include <QDateTime>
#include <QPointer>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>

namespace lonvera::emulator {

Network::Network(EmulatorLog *log, QObject *parent)
    : QObject(parent), m_log(log), m_calls(new CallSwitch(this, log, this))
{
}

Network::~Network() = default;

QString Network::subscriberKey(const QString &number)
{
    QString digits;
    for (QChar c : number)
        if (c.isDigit())
            digits.append(c);
    // Country code 86 in front of an 11-digit mobile number (ITU-T E.164).
    if (digits.startsWith(QLatin1String("0086")))
        digits.remove(0, 4);
    else if (digits.startsWith(QLatin1String("86")) && digits.size() == 13)
        digits.remove(0, 2);
    return digits;
}

void Network::addModem(EmulatedModem *modem)
{
    m_modems.insert(subscriberKey(modem->number()), modem);
}

void Network::removeModem(EmulatedModem *modem)
{
    m_modems.remove(subscriberKey(modem->number()));
}

EmulatedModem *Network::modemByNumber(const QString &number) const
{
    const QString key = subscriberKey(number);
    return key.isEmpty() ? nullptr : m_modems.value(key, nullptr);
}

Submission Network::readSubmission(const QByteArray &hex, int declaredLength, bool malformed)
{
    Submission s;
    if (malformed || hex.isEmpty() || hex.size() % 2 != 0) {
        s.error = QStringLiteral("PDU is not hex");
        return s;
    }
    const QByteArray octets = QByteArray::fromHex(hex);
    const int centre = quint8(octets[0]);
    // 3GPP TS 27.005 3.5.1: <length> counts the TPDU only, not the centre part.
    if (octets.size() - 1 - centre != declaredLength) {
        s.error = QStringLiteral("length %1 does not match the PDU").arg(declaredLength);
        return s;
    }
    s.hasExplicitCentre = centre > 0;
    const pdu::Result<pdu::Pdu> decoded = pdu::decodePdu(octets, pdu::CentrePart::Present);
    if (!decoded.ok()) {
        s.error = decoded.error();
        return s;
    }
    if (!decoded->submit()) {
        s.error = QStringLiteral("not an SMS-SUBMIT");
        return s;
    }
    s.destination = decoded->submit()->destination.value;
    s.pdu = decoded.value();
    return s;
}

pdu::Timestamp Network::timestampNow()
{
    const QDateTime now = QDateTime::currentDateTime();
    const QDate d = now.date();
    const QTime t = now.time();
    return pdu::Timestamp::fromFields(d.year() % 100, d.month(), d.day(), t.hour(), t.minute(),
                                      t.second(), now.offsetFromUtc() / 900);
}

QByteArray Network::deliverPdu(const pdu::SubmitTpdu &submit, const QString &originator,
                               const QString &centre)
{
    pdu::DeliverTpdu d;
    d.moreMessages = false;
    d.statusReportIndication = submit.statusReportRequest;
    d.originator = pdu::addressFromNumber(QLatin1Char('+') + originator);
    d.protocolId = submit.protocolId;
    d.dcs = submit.dcs;
    d.centreTime = timestampNow();
    d.userData = submit.userData; // travels unchanged, header included
    pdu::Pdu out;
    out.hasCentre = true;
    out.centre = pdu::addressFromNumber(centre);
    out.tpdu = d;
    return pdu::toHex(pdu::encodePdu(out)).toLatin1();
}

QByteArray Network::deliverTextPdu(const QString &originator, const QString &text,
                                   const QString &centre)
{
    pdu::SubmitTpdu s;
    const pdu::Alphabet alphabet =
        pdu::isGsm7Text(text) ? pdu::Alphabet::Gsm7 : pdu::Alphabet::Ucs2;
    s.dcs = alphabet == pdu::Alphabet::Gsm7 ? 0x00 : 0x08;
    s.userData = pdu::makeUserData(text, alphabet);
    return deliverPdu(s, originator, centre);
}

QByteArray Network::statusReportPdu(int reference, const pdu::Address &recipient,
                                    const pdu::Timestamp &submitted, int status,
                                    const QString &centre)
{
    pdu::StatusReportTpdu r;
    r.moreMessages = false;
    r.messageReference = quint8(reference);
    r.recipient = recipient;
    r.centreTime = submitted;
    r.dischargeTime = timestampNow();
    r.status = quint8(status);
    pdu::Pdu out;
    out.hasCentre = true;
    out.centre = pdu::addressFromNumber(centre);
    out.tpdu = r;
    return pdu::toHex(pdu::encodePdu(out)).toLatin1();
}

bool Network::deliver(EmulatedModem *recipient, const QByteArray &pduHex)
{
    return recipient->deliverMessage(pduHex);
}

void Network::submit(EmulatedModem *sender, const Submission &submission, int reference)
{
    if (!submission.pdu || !submission.pdu->submit())
        return;
    const pdu::SubmitTpdu &submit = *submission.pdu->submit();
    m_log->addCarried(sender->com(), reference, submission.destination);
    const pdu::Timestamp submitted = timestampNow();
    const QString centre = sender->profile().centre;
    EmulatedModem *recipient = modemByNumber(submit.destination.value);
    bool delivered = true;
    if (!recipient) {
        m_log->add(sender->com(), LogEntry::Kind::Event,
                   "message to outside number " + submit.destination.value.toLatin1());
    } else {
        const QByteArray hex = deliverPdu(submit, sender->number(), centre);
        const auto &concat = submit.userData.concatenation;
        const ModemProfile::PartOrder order = recipient->profile().partOrder;
        if (concat && concat->total > 1 && order != ModemProfile::PartOrder::InOrder) {
            const QString key = QStringLiteral("%1|%2|%3")
                                    .arg(recipient->com())
                                    .arg(sender->number())
                                    .arg(concat->reference);
            HeldParts &held = m_heldParts[key];
            held.recipientKey = subscriberKey(recipient->number());
            held.total = concat->total;
            held.parts.append({concat->sequence, hex});
            if (!held.timer) {
                held.timer = new QTimer(this);
                held.timer->setSingleShot(true);
                connect(held.timer, &QTimer::timeout, this, [this, key] { releaseParts(key); });
                held.timer->start(recipient->profile().partHoldMs);
            }
            if (held.parts.size() >= held.total)
                releaseParts(key);
        } else {
            delivered = deliver(recipient, hex);
        }
        m_log->add(recipient->com(), LogEntry::Kind::Event,
                   "message from COM" + QByteArray::number(sender->com()));
    }
    if (!submit.statusReportRequest)
        return;
    int status = sender->profile().reportStatus;
    if (!delivered && status == 0)
        status = 0x62; // 3GPP TS 23.040 9.2.3.15: no response from SME, no more attempts
    const QByteArray report =
        statusReportPdu(reference, submit.destination, submitted, status, centre);
    QTimer::singleShot(sender->profile().reportDelayMs, sender,
                       [sender, report] { sender->deliverStatusReport(report); });
}

void Network::releaseParts(const QString &key)
{
    auto it = m_heldParts.find(key);
    if (it == m_heldParts.end())
        return;
    HeldParts held = it.value();
    m_heldParts.erase(it);
    held.timer->deleteLater();
    EmulatedModem *recipient = m_modems.value(held.recipientKey, nullptr);
    if (!recipient)
        return;
    std::sort(held.parts.begin(), held.parts.end(),
              [](const auto &a, const auto &b) { return a.first < b.first; });
    if (recipient->profile().partOrder == ModemProfile::PartOrder::Reversed) {
        std::reverse(held.parts.begin(), held.parts.end());
    } else if (held.parts.size() > 1) {
        const auto sorted = held.parts;
        std::shuffle(held.parts.begin(), held.parts.end(), *QRandomGenerator::global());
        // A shuffle that happens to keep the order would hide exactly what a test looks for.
        if (held.parts == sorted)
            std::rotate(held.parts.begin(), held.parts.begin() + 1, held.parts.end());
    }
    for (const auto &part : held.parts)
        deliver(recipient, part.second);
}

} // namespace lonvera::emulator
