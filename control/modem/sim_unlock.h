// The SIM at Connect: many modems start with a locked SIM. AT+CPIN? tells; a SIM asking for its
// PIN gets the one configured for the port ("set.ini" [PIN] COMn=1234 in the program folder, read
// fresh at every Connect), once: a PIN the SIM refused is remembered (as a hash, in "C:\wintic.ini"
// [SimPinRefused]) and never entered again, since three wrong PINs lock the SIM for good.
// Lives on its control's thread; no locks.
#pragma once

#include <QString>

namespace lonvera::control {

class ModemContext;

class SimUnlock
{
public:
    explicit SimUnlock(ModemContext &context) : m_context(context) {}

    /// Asks the SIM's state and enters the PIN when it asks for one. Empty when the SIM is ready
    /// (or the modem does not say); otherwise the text that ends the connect.
    QString unlock();

    static QString noPinText(int port);
    static QString pinRefusedText(int port);
    static QString pukText();
    static QString noSimText();

    /// True when unlock() ended the connect because the modem did not answer the PIN.
    bool unanswered() const { return m_unanswered; }

private:
    QString enterPin(int port);

    ModemContext &m_context;
    bool m_unanswered = false;
};

} // namespace lonvera::control
