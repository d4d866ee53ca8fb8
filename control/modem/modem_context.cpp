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

void ModemContext::setBusy(bool busy)
{
    m_isBusy = busy;
    emit statusChange();
}

} // namespace lonvera::control
