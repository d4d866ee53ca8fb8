// See sending.h.
#include "control/modem/sending.h"

#include "control/modem/modem_context.h"
#include "control/modem/send_run.h"
#include "control/pdu/address.h"
#include "control/pdu/hex.h"
#include "control/pdu/segmentation.h"
#include "control/send_results.h"
#include "platform/paths.h"
#include "platform/profile_file.h"

#include <QRandomGenerator>

#include <algorithm>

namespace lonvera::control {

namespace {

const QLatin1String kMoblie("moblie"); // the stored word, spelt as it has always been stored
const QLatin1String kMbNo("mb_no");
const QLatin1String kWave("wave");
const QLatin1String kWaveNo("wave_no");

QString withoutPlus(const QString &number)
{
    return QString(number).remove(QLatin1Char('+'));
}

// A national mobile number "13..." in the international form the default centre expects.
QString internationalMobile(const QString &digits)
{
    if (digits.size() == 11 && digits.startsWith(QLatin1String("13")))
        return QLatin1String("86") + digits;
    return digits;
}

} // namespace

Sending::Sending(ModemContext &context)
    : m_context(context), m_nextReference(quint8(QRandomGenerator::global()->bounded(256)))
{
}

QString Sending::winticPath()
{
    return platform::mapWindowsPath(QStringLiteral("c:\\wintic.ini"));
}

void Sending::loadSendMethod()
{
    const platform::ProfileFile wintic(winticPath());
    m_context.sendMethod =
        wintic.readString(QStringLiteral("test"), QStringLiteral("wave_or_mobile"));
}

void Sending::setSendMethod(const QString &method)
{
    m_context.sendMethod = method;
    const QString path = winticPath();
    platform::ensureParentFolder(path);
    platform::ProfileFile(path).writeString(QStringLiteral("test"),
                                            QStringLiteral("wave_or_mobile"), method);
}

QString Sending::sendSms(QString &msg, const QString &mobile, int sReport, bool pV)
{
    ModemContext &c = m_context;
    // "@" has no code of its own in the 7-bit alphabet our modems use; an ideographic space
    // makes the text go as UCS2, and the caller sees what was sent.
    if (msg.contains(QLatin1Char('@')))
        msg += QChar(0x3000);
    if (msg.size() > 2000) {
        const QString text = QStringLiteral("内容太长（") + Exchange::numberText(int(msg.size())) +
                             QStringLiteral("字），最多2000个汉字");
        c.errmsg = text;
        return text;
    }
    if (c.isBusy())
        return QStringLiteral("B");
    ModemContext::PortClaim claim(c);
    if (!claim)
        return QStringLiteral("B"); // another operation is waiting for its modem

    Message message;
    message.text = msg;
    message.mobile = mobile;
    message.report = sReport == 1;
    message.validity = pV ? 0xC5 : 0x01;
    if (!resumes(message))
        message.reference = m_nextReference++; // quint8: wraps from 255 to 0

    const QString result = sendByMethod(message);
    // A long message that went out in part is remembered, so that a second attempt sends only
    // the parts still missing, under the same reference, and the recipient can join them.
    const bool partly =
        result != QLatin1String("y") && std::count(message.sent.begin(), message.sent.end(), true);
    m_unfinished = partly ? std::optional<Message>(message) : std::nullopt;
    return result;
}

bool Sending::resumes(Message &message) const
{
    if (!m_unfinished || m_unfinished->mobile != message.mobile ||
        m_unfinished->report != message.report || m_unfinished->validity != message.validity)
        return false;
    // The worker hands the text back by reference: an "@" text grows by one U+3000 per attempt.
    const QString &before = m_unfinished->text;
    if (!message.text.startsWith(before))
        return false;
    const QStringView grown = QStringView(message.text).sliced(before.size());
    if (std::any_of(grown.begin(), grown.end(), [](QChar ch) { return ch != QChar(0x3000); }))
        return false;
    message = *m_unfinished;
    return true;
}

QString Sending::sendByMethod(Message &message)
{
    ModemContext &c = m_context;
    // A close stopped the run: that says nothing about the variant, and the other one would
    // only report that nothing went.
    if (c.sendMethod == kWave) {
        const QString result = sendDefaultCentre(message);
        if (result != QLatin1String("y") && !m_runEndedTheSend &&
            !SendResult::isInterrupted(result))
            setSendMethod(kWaveNo);
        return result;
    }
    QString result = sendExplicitCentre(message);
    // The other centre variant cannot help when the link is gone or the modem went silent, and
    // could send twice a message the modem may have taken; nor does it say the variant is wrong.
    if (SendResult::isInterrupted(result) || m_runEndedTheSend)
        return result;
    if (result == QLatin1String("y")) {
        if (c.sendMethod != kMoblie)
            setSendMethod(kMoblie);
        return result;
    }
    setSendMethod(kMbNo);
    // Only the parts the first variant did not get out go with the other one.
    result = sendDefaultCentre(message);
    setSendMethod(result == QLatin1String("y") ? QString(kWave) : QString(kWaveNo));
    return result;
}

QString Sending::sendExplicitCentre(Message &message)
{
    return runVariant(message, true);
}

QString Sending::sendDefaultCentre(Message &message)
{
    return runVariant(message, false);
}

QString Sending::runVariant(Message &message, bool explicitCentre)
{
    ModemContext &c = m_context;
    ModemContext::BusyScope busy(c);
    SendRun run(c);
    m_runEndedTheSend = false;
    if (!run.begin())
        return run.finish();

    if (!pdu::isNumeric(withoutPlus(message.mobile))) {
        run.fail(QStringLiteral("手机号码有误！"));
        return run.finish();
    }
    if (message.text.isEmpty()) {
        run.fail(QStringLiteral("内容不能为空"));
        return run.finish();
    }

    pdu::SubmitRequest request;
    request.text = message.text;
    request.destination = message.mobile;
    request.centre = c.smsService;
    request.statusReport = message.report;
    request.validity = message.validity;
    request.reference = message.reference;
    const auto parts = pdu::encodeSubmitParts(
        request, explicitCentre ? pdu::CentreVariant::Explicit : pdu::CentreVariant::Default);
    if (!parts)
        return run.finish(); // a centre number that is no number: the general failure text

    if (message.sent.size() != parts->size())
        message.sent = QList<bool>(parts->size(), false);
    run.setTotalParts(int(parts->size()));
    run.setAlreadySent(int(std::count(message.sent.begin(), message.sent.end(), true)));
    const SendRun::Form form =
        explicitCentre ? SendRun::Form::ExplicitCentre : SendRun::Form::DefaultCentre;
    for (qsizetype k = 0; k < parts->size(); ++k) {
        if (message.sent[k])
            continue; // it went already: a second copy would be billed and shown twice
        const int before = run.partsSent();
        const bool goOn = run.sendPart((*parts)[k].pdu, (*parts)[k].tpduOctets, form);
        message.sent[k] = run.partsSent() > before;
        if (!goOn)
            break;
    }
    m_runEndedTheSend = run.endsTheSend();
    return run.finish();
}

QString Sending::eightBitPdu(const QString &destination, bool international, bool report,
                             const QString &piece)
{
    QString digits = destination;
    // A number written with "+" is international whatever its country; "86..." always was.
    const QString type = international || digits.startsWith(QLatin1String("86"))
                             ? QStringLiteral("91")
                             : QStringLiteral("81");
    const QString length = pdu::HexByte(int(digits.size()));
    const QString swapped = pdu::SwapDigitPairs(digits);
    // Protocol identifier 00, data coding 15 (8-bit data, class 1), validity A7 (24 hours).
    return QStringLiteral("00") + (report ? QStringLiteral("31") : QStringLiteral("11")) +
           QStringLiteral("00") + length + type + swapped + QStringLiteral("0015A7") +
           pdu::HexByte(int(piece.size() / 2)) + piece;
}

QString Sending::sendAsc2(const QVariant &ascMsg, const QVariant &toMobile,
                          const QVariant &smsReport)
{
    ModemContext &c = m_context;
    ModemContext::BusyScope busy(c);
    SendRun run(c);
    if (!run.begin())
        return run.finish(true);

    const QString centre = withoutPlus(c.smsService);
    QString destination = withoutPlus(toMobile.toString());
    const QString data = ascMsg.toString();
    if (!pdu::isNumeric(centre))
        run.fail(QStringLiteral("信息中心号码有误！"));
    else if (centre.size() != 13)
        run.fail(QStringLiteral("信息中心号码位数不对，应为13位并以“+86”开头！"));
    else if (!centre.startsWith(QLatin1String("86")))
        run.fail(QStringLiteral("信息中心号码位数不对！应以+86开头"));
    else if (!pdu::isNumeric(destination))
        run.fail(QStringLiteral("手机号码有误！"));
    else if (data.isEmpty())
        run.fail(QStringLiteral("内容不能为空"));
    else if (data.size() > 1699)
        run.fail(QStringLiteral("发送的内容太长，共") + Exchange::numberText(int(data.size())) +
                 QStringLiteral("字，请简些"));
    else if (!pdu::parseHex(data).ok())
        // Not hex: the modem would refuse every piece after its full waits.
        run.fail(QStringLiteral("发送的内容不是十六进制数据"));
    else {
        destination = internationalMobile(destination);
        const bool international = toMobile.toString().trimmed().startsWith(QLatin1Char('+'));
        const bool report = smsReport.toInt() == 1;
        const qsizetype pieceChars = 280; // 140 octets, the most one message carries
        run.setTotalParts(int((data.size() + pieceChars - 1) / pieceChars));
        for (qsizetype at = 0; at < data.size(); at += pieceChars) {
            const QString pduHex =
                eightBitPdu(destination, international, report, data.mid(at, pieceChars));
            if (!run.sendPart(pduHex, int(pduHex.size() / 2 - 1), SendRun::Form::EightBit))
                break;
        }
    }
    return run.finish(true);
}

} // namespace lonvera::control
