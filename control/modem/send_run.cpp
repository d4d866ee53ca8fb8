// See send_run.h.
#include "control/modem/send_run.h"

#include "control/modem/connection.h"
#include "control/modem/modem_context.h"
#include "control/replies/send_verdict.h"
#include "control/send_results.h"

#include <algorithm>

namespace lonvera::control {

SendRun::SendRun(ModemContext &context, int totalParts)
    : m_context(context), m_totalParts(totalParts)
{
}

QString SendRun::defaultLengthText(int octets)
{
    const QString digits = QString::number(octets);
    return digits.size() == 2 ? QLatin1Char('0') + digits : digits;
}

bool SendRun::isAccepted(const Reply &reply)
{
    if (reply.final.isOk())
        return true;
    if (reply.final.isError())
        return false;
    return std::any_of(reply.lines.begin(), reply.lines.end(), [](const QString &line) {
        return line.startsWith(QLatin1String("+CMGS:"), Qt::CaseInsensitive);
    });
}

void SendRun::abort()
{
    m_context.exchange.closePort();
    m_interrupted = true;
    // The server decides what becomes of the message by how far it got.
    const QStringView text = m_partsSent > 0 ? SendResult::InterruptedPartSent
                             : m_unconfirmed ? SendResult::InterruptedMaybeSent
                                             : SendResult::InterruptedNothingSent;
    m_errorText = text.toString();
}

void SendRun::noteAnswer(const Reply &reply)
{
    // No final line after the PDU went: the modem may have sent it.
    if (!reply.final.isFinal() && !isAccepted(reply))
        m_unconfirmed = true;
}

bool SendRun::begin()
{
    ModemContext &c = m_context;
    if (c.exchange.abortWait()) {
        abort();
        return false;
    }
    if (c.linkState != QLatin1String("y") && c.connection) {
        c.connection->connect(18);
        // Connect frees the control when it ends; this send still owns the port.
        c.setBusy(true);
    }
    c.errmsg = QString();
    return true;
}

bool SendRun::waitPrompt(int seconds)
{
    Exchange &exchange = m_context.exchange;
    exchange.waitPrompt(seconds);
    if (exchange.abortWait()) {
        abort();
        return false;
    }
    return true;
}

SendRun::Step SendRun::exchangePart(const QString &pduHex, int tpduOctets, Form form)
{
    Exchange &exchange = m_context.exchange;
    const QByteArray pduBytes = pduHex.toLatin1() + '\x1a';
    bool heard = false; // the modem said anything at all (echo, prompt, error) to the command
    if (form == Form::ExplicitCentre) {
        for (int prompt = 0; prompt < 3; ++prompt) {
            exchange.writeCommand(QStringLiteral("AT+CMGS=") + Exchange::numberText(tpduOctets));
            if (!waitPrompt(12))
                return Step::Aborted;
            heard = heard || !exchange.replyText().isEmpty() || exchange.reply().prompt;
            // A modem that said nothing to one command will not prompt on the next.
            if (exchange.reply().prompt || !heard)
                break;
        }
        // Written even without a prompt: some modems take the PDU without showing one.
        if (!exchange.writeRaw(pduBytes))
            return Step::LinkLost;
        const QString reply = exchange.waitReply(18);
        noteAnswer(exchange.reply());
        if (const std::optional<Step> fault = faultAfterPdu(reply, heard))
            return *fault;
        return isAccepted(exchange.reply()) ? Step::Sent : Step::Failed;
    }

    const bool eightBit = form == Form::EightBit;
    exchange.writeRaw((QStringLiteral("at+cmgs=") + defaultLengthText(tpduOctets)).toLatin1() +
                      '\r');
    if (!waitPrompt(eightBit ? 18 : 12))
        return Step::Aborted;
    heard = !exchange.replyText().isEmpty() || exchange.reply().prompt;
    m_errorText += exchange.replyText();
    if (!exchange.writeRaw(pduBytes))
        return Step::LinkLost;
    const QString reply = exchange.waitReply(eightBit ? 28 : 18);
    m_errorText += reply;
    noteAnswer(exchange.reply());
    if (const std::optional<Step> fault = faultAfterPdu(reply, heard))
        return *fault;
    if (isAccepted(exchange.reply()))
        return Step::Sent;
    // Another attempt cannot help a message the network refuses for good (a bad number).
    const CmsErrorEntry *refusal = cmsErrorEntry(lastCmsError(reply));
    return refusal && refusal->refusal == RefusalClass::Permanent ? Step::Refused : Step::Failed;
}

std::optional<SendRun::Step> SendRun::faultAfterPdu(const QString &reply, bool heard)
{
    // A close cut the wait: that is no fault of the line.
    if (m_context.exchange.abortWait()) {
        abort();
        return Step::Aborted;
    }
    // The PDU was written: from here a lost link or a silent modem leaves it unknown whether the
    // message went, and sending it again could send it twice.
    if (!m_context.exchange.isOpen()) {
        // Held output: the PDU's closing Ctrl-Z never left the port, so nothing went.
        return m_context.exchange.port().lostWithOutputHalted() ? Step::LinkLost
                                                                : Step::LinkLostAfterPdu;
    }
    if (reply.isEmpty())
        return heard ? Step::Unanswered : Step::Silent;
    // Something came, but no final line and no message reference: the echo of the PDU, or the
    // start of an answer cut off. The modem may have sent it; this is no refusal to try again.
    const Reply &answer = m_context.exchange.reply();
    if (!answer.final.isFinal() && !isAccepted(answer))
        return Step::Unanswered;
    return std::nullopt;
}

bool SendRun::sendPart(const QString &pduHex, int tpduOctets, Form form)
{
    Exchange &exchange = m_context.exchange;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (exchange.abortWait()) {
            abort();
            return false;
        }
        for (int open = 0; open < 3 && !exchange.isOpen(); ++open)
            exchange.ensureOpen();
        if (!exchange.isOpen()) {
            m_errorText += kLinkLostText;
            m_endsTheSend = true;
            return false;
        }
        switch (exchangePart(pduHex, tpduOctets, form)) {
        case Step::Sent:
            ++m_partsSent;
            return true;
        case Step::Aborted:
            return false;
        case Step::Failed:
            break;
        case Step::Refused:
            return false;
        case Step::LinkLost:
            m_errorText += kLinkLostText;
            m_endsTheSend = true;
            return false;
        case Step::LinkLostAfterPdu:
            m_errorText += kLinkLostAfterPduText;
            m_endsTheSend = true;
            return false;
        case Step::Unanswered:
            m_errorText += kSilentAfterPduText;
            m_endsTheSend = true;
            return false;
        case Step::Silent:
            m_errorText += kSilentText;
            m_endsTheSend = true;
            return false;
        }
    }
    return true;
}

QString SendRun::finish(bool linkTextOnLinkStateAlone)
{
    ModemContext &c = m_context;
    QString result;
    if (m_partsSent > 0 && m_partsSent >= m_totalParts) {
        return QStringLiteral("y");
    } else if (m_interrupted) {
        result = m_errorText;
    } else if (m_partsSent > 0) {
        // A long message with parts missing cannot be read by the recipient: say how far it got.
        result = kPartlySentPrefix +
                 QStringLiteral("：共%1条，只发出%2条").arg(m_totalParts).arg(m_partsSent);
        if (!m_errorText.isEmpty())
            result += QStringLiteral("，") + m_errorText;
    } else {
        result =
            m_errorText.isEmpty()
                ? QStringLiteral("未发送成功，请检查短信中心号码是否正确，现在的手机信号是否正常，"
                                 "或再试一下")
                : m_errorText;
        const bool linkDown = c.linkState != QLatin1String("y");
        // A lost link or a silent modem says so itself: it decides what becomes of the row.
        if (linkDown && !m_endsTheSend && (linkTextOnLinkStateAlone || !c.exchange.abortWait()))
            result = kNotConnectedText;
    }
    c.errmsg = result;
    return result;
}

} // namespace lonvera::control
