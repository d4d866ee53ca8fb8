// See modem_context.h.
#include "control/modem/modem_context.h"

namespace lonvera::control {

ModemContext::ModemContext(QObject *parent) : QObject(parent)
{
    timer1.setInterval(30000);
    timer2.setInterval(2000);
    timerNewmsg.setInterval(3000);
    timerReport.setInterval(3500);
    // A modem that raises DSR is alive; Connect's probe takes that as an answer.
    connect(&port, &SerialPort::dsrChanged, this, [this] { dsrFlag = QStringLiteral("y"); });
    connect(&port, &SerialPort::portLost, this, [this](int error) { lastPortError = error; });
}

ModemContext::~ModemContext() = default;

ModemContext::PortClaim::PortClaim(ModemContext &context)
    : m_context(context), m_owner(!context.m_portClaimed)
{
    m_context.m_portClaimed = true;
}

ModemContext::PortClaim::~PortClaim()
{
    if (!m_owner)
        return;
    m_context.m_portClaimed = false;
    emit m_context.portReleased();
}

void ModemContext::setBusy(bool busy)
{
    m_isBusy = busy;
    emit statusChange();
}

} // namespace lonvera::control
