// See calls.h. Answering, hanging up and dialling come with the next step.
#include "control/modem/calls.h"

#include "control/modem/modem_context.h"
#include "control/pdu/reply_fields.h"

namespace lonvera::control {

QVariant Calls::getPhoneNo()
{
    ModemContext::BusyScope busy(m_context);
    m_context.exchange.ensureOpen();
    m_context.exchange.writeCommand(QStringLiteral("at+clcc"));
    return pdu::ClccNumber(m_context.exchange.waitReply(3));
}

QVariant Calls::answerCall()
{
    return false;
}

bool Calls::hangUpCall()
{
    return false;
}

QVariant Calls::callPhone(const QString &phoneNo, int waitTime)
{
    Q_UNUSED(phoneNo);
    Q_UNUSED(waitTime);
    return m_context.isBusy() ? QStringLiteral("B") : QStringLiteral("NoAnswer");
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
