// See calls.h.
#include "control/modem/calls.h"

#include "control/modem/modem_context.h"
#include "control/replies/reply_fields.h"

namespace lonvera::control {

QVariant Calls::getPhoneNo()
{
    ModemContext::BusyScope busy(m_context);
    Exchange &exchange = m_context.exchange;
    exchange.ensureOpen();
    exchange.writeCommand(QStringLiteral("at+clcc"));
    return ClccNumber(exchange.waitReply(3));
}

QVariant Calls::answerCall()
{
    // Called from the host's OnCall handler, when no operation runs: Isbusy stays as it is.
    Exchange &exchange = m_context.exchange;
    exchange.ensureOpen();
    exchange.writeCommand(QStringLiteral("ATA"));
    exchange.waitReply(3);
    return exchange.reply().final.isOk();
}

bool Calls::hangUpCall()
{
    ModemContext::BusyScope busy(m_context);
    Exchange &exchange = m_context.exchange;
    exchange.ensureOpen();
    exchange.writeCommand(QStringLiteral("ATH"));
    exchange.waitReply(3);
    return exchange.reply().final.isOk();
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
    exchange.waitReply(waitTime);
    switch (exchange.reply().final.word) {
    case FinalWord::Ok:
        return QStringLiteral("OK");
    case FinalWord::Busy:
        return QStringLiteral("BUSY");
    case FinalWord::NoCarrier:
    case FinalWord::NoAnswer:
    case FinalWord::NoDialtone:
        return QStringLiteral("NO");
    default:
        break;
    }
    // Nothing usable came: end the attempt so that the modem does not keep dialling.
    hangUpCall();
    return QStringLiteral("NoAnswer");
}

void Calls::onRing()
{
    if (m_context.isBusy() || m_context.portClaimed() || m_ringQueued)
        return;
    // The questions write commands and wait: ask once the port's notification has returned.
    m_ringQueued = true;
    QMetaObject::invokeMethod(
        &m_context,
        [this] {
            m_ringQueued = false;
            handleRing();
        },
        Qt::QueuedConnection);
}

void Calls::handleRing()
{
    QString number;
    {
        ModemContext::PortClaim claim(m_context);
        if (!claim || m_context.isBusy())
            return;
        for (int attempt = 0; attempt < 3; ++attempt) {
            number = getPhoneNo().toString();
            if (number != QLatin1String("0000"))
                break;
        }
    }
    if (number == QLatin1String("0000"))
        number = QStringLiteral("无法获得来电号码！");
    emit m_context.call(number);
}

} // namespace lonvera::control
