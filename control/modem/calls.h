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
    /// "RING" seen by the receive handler while not busy: asks for the number up to three times
    /// and raises OnCall.
    void handleRing();

private:
    ModemContext &m_context;
};

} // namespace lonvera::control
