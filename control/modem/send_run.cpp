// See send_run.h.
#include "control/modem/send_run.h"

#include "control/modem/connection.h"
#include "control/modem/modem_context.h"

namespace lonvera::control {

namespace {

const QString kAbortedText = QStringLiteral("关闭端口，发送被中断");

} // namespace

SendRun::SendRun(ModemContext &context, int totalParts)
    : m_context(context), m_totalParts(totalParts)
{
}

QString SendRun::defaultLengthText(int octets)
{
    const QString digits = QString::number(octets);
    return digits.size() == 2 ? QLatin1Char('0') + digits : digits;
}

bool SendRun::isAccepted(const QString &reply)
{
    return reply.contains(QLatin1String("OK")) || reply.contains(QLatin1String("ok")) ||
           reply.contains(QLatin1String("+CMGS:"));
}

void SendRun::abort()
{
    m_context.exchange.closePort();
    m_errorText = kAbortedText;
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
    exchange.clearReplyBuffer();
    exchange.waitUntil([](const QString &buffer) { return buffer.contains(QLatin1Char('>')); },
                       seconds * 1000);
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
    if (form == Form::ExplicitCentre) {
        for (int prompt = 0; prompt < 3; ++prompt) {
            exchange.writeCommand(QStringLiteral("AT+CMGS=") + Exchange::numberText(tpduOctets));
            if (!waitPrompt(12))
                return Step::Aborted;
            if (exchange.replyBuffer().contains(QLatin1Char('>')))
                break;
        }
        // Written even without a prompt: some modems take the PDU without showing one.
        exchange.writeRaw(pduBytes);
        return isAccepted(exchange.waitReply(18)) ? Step::Sent : Step::Failed;
    }

    const bool eightBit = form == Form::EightBit;
    exchange.writeRaw((QStringLiteral("at+cmgs=") + defaultLengthText(tpduOctets)).toLatin1() +
                      '\r');
    if (!waitPrompt(eightBit ? 18 : 12))
        return Step::Aborted;
    m_errorText += exchange.replyBuffer();
    exchange.writeRaw(pduBytes);
    const QString reply = exchange.waitReply(eightBit ? 28 : 18);
    m_errorText += reply;
    return isAccepted(reply) ? Step::Sent : Step::Failed;
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
            m_errorText += QStringLiteral("发送时通信链路中断(20011)");
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
    } else if (m_partsSent > 0) {
        // A long message with parts missing cannot be read by the recipient: say how far it got.
        result =
            QStringLiteral("未全部发送成功：共%1条，只发出%2条").arg(m_totalParts).arg(m_partsSent);
        if (!m_errorText.isEmpty())
            result += QStringLiteral("，") + m_errorText;
    } else {
        result =
            m_errorText.isEmpty()
                ? QStringLiteral("未发送成功，请检查短信中心号码是否正确，现在的手机信号是否正常，"
                                 "或再试一下")
                : m_errorText;
        const bool linkDown = c.linkState != QLatin1String("y");
        if (linkDown && (linkTextOnLinkStateAlone || !c.exchange.abortWait()))
            result =
                QStringLiteral("未发送成功，手机与电脑未成功进行连接，请检查物理链路以及设置是否"
                               "正确！");
    }
    c.errmsg = result;
    return result;
}

} // namespace lonvera::control
