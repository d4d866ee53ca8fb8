// Voice calls: the caller's number ("at+clcc"), answering, hanging up, placing a call, and the
// reaction to "RING".
// Lives on its control's thread; no locks.
#pragma once

#include <QString>
#include <QVariant>

namespace lonvera::control {

class ModemContext;

class Calls
{
public:
    explicit Calls(ModemContext &context) : m_context(context) {}

    QVariant getPhoneNo();
    QVariant answerCall();
    bool hangUpCall();
    QVariant callPhone(const QString &phoneNo, int waitTime);
    /// "RING" arrived: while no operation owns the port, asks for the number up to three times
    /// and raises OnCall (after freeing the port, so the host may hang up at once). A ring while
    /// busy raises nothing; the modem rings again.
    void onRing();

private:
    void handleRing();

    ModemContext &m_context;
    bool m_ringQueued = false;
};

} // namespace lonvera::control
