// See calls.h.
#include "control/modem/calls.h"

#include "control/modem/modem_context.h"
#include "control/pdu/reply_fields.h"

namespace lonvera::control {

namespace {

bool contains(const QString &reply, const char *upper, const char *lower)
{
    return reply.contains(QLatin1String(upper)) || reply.contains(QLatin1String(lower));
}

} // namespace

QVariant Calls::getPhoneNo()
{
    ModemContext::BusyScope busy(m_context);
    Exchange &exchange = m_context.exchange;
    exchange.ensureOpen();
    exchange.writeCommand(QStringLiteral("at+clcc"));
    return pdu::ClccNumber(exchange.waitReply(3));
}

QVariant Calls::answerCall()
{
    // Called from the host's OnCall handler, when no operation runs: Isbusy stays as it is.
    Exchange &exchange = m_context.exchange;
    exchange.ensureOpen();
    exchange.writeCommand(QStringLiteral("ATA"));
    return exchange.waitReply(3).contains(QLatin1String("OK"));
}

bool Calls::hangUpCall()
{
    ModemContext::BusyScope busy(m_context);
    Exchange &exchange = m_context.exchange;
    exchange.ensureOpen();
    exchange.writeCommand(QStringLiteral("ATH"));
    return exchange.waitReply(3).contains(QLatin1String("OK"));
}

QVariant Calls::callPhone(const QString &phoneNo, int waitTime)
{
    if (m_context.isBusy())
        return QStringLiteral("B");
    ModemContext::BusyScope busy(m_context);
    Exchange &exchange = m_context.exchange;
    exchange.ensureOpen();
    // The semicolon makes it a voice call (ITU-T V.250 6.3.1).
    exchange.writeCommand(QStringLiteral("ATD") + phoneNo + QLatin1Char(';'));
    const QString reply = exchange.waitReply(waitTime);
    if (contains(reply, "OK", "ok"))
        return QStringLiteral("OK");
    if (contains(reply, "BUSY", "busy"))
        return QStringLiteral("BUSY");
    // NO CARRIER, NO ANSWER, NO DIALTONE
    if (contains(reply, "NO", "no"))
        return QStringLiteral("NO");
    // Nothing usable came: end the attempt so that the modem does not keep dialling.
    hangUpCall();
    return QStringLiteral("NoAnswer");
}

void Calls::handleRing()
{
    QString number;
    for (int attempt = 0; attempt < 3; ++attempt) {
        number = getPhoneNo().toString();
        if (number != QLatin1String("0000"))
            break;
    }
    if (number == QLatin1String("0000"))
        number = QStringLiteral("无法获得来电号码！");
    emit m_context.call(number);
}

} // namespace lonvera::control
