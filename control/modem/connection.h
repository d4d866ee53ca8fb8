// Bringing a modem up and down: Connect (handshaking probe, PDU mode, storage size, notifications,
// the remembered send variant), Link, RevAuto with its nine notification settings and the polling
// fallback, RevAutoClose, ClosePort, and the texts for port errors.
// Lives on its control's thread; no locks.
#pragma once

#include <QString>

namespace lonvera::control {

class ModemContext;

class Connection
{
public:
    explicit Connection(ModemContext &context) : m_context(context) {}

    QString connect(int waitTime);
    bool link();
    QString revAuto();
    QString revAutoClose();
    QString closePort();

    /// The text shown for a port error number.
    static QString portErrorText(int errorNumber);
    /// The text when the modem answered nothing usable.
    static QString notConnectedText();

private:
    /// Ends a text or PDU entry an earlier program left open and drops what the modem still had
    /// to say to it.
    void leaveTextEntry();
    /// Tries handshaking 3, 0, 2, 1 until the modem answers "at"; true when one answered.
    bool probeHandshaking(int waitTime);

    ModemContext &m_context;
};

} // namespace lonvera::control
