// Sending text and 8-bit data as SMS-SUBMIT PDUs: the two centre variants with their retries, the
// remembered variant in "c:\wintic.ini", and the result texts.
// Lives on its control's thread; no locks.
#pragma once

#include <QString>
#include <QVariant>

namespace lonvera::control {

class ModemContext;

class Sending
{
public:
    explicit Sending(ModemContext &context) : m_context(context) {}

    /// Sendsms: msg may get U+3000 appended (the caller's variable).
    QString sendSms(QString &msg, const QString &mobile, int sReport, bool pV);
    /// SendAsc2: hex user data cut into 140-octet messages.
    QString sendAsc2(const QVariant &ascMsg, const QVariant &toMobile, const QVariant &smsReport);

    /// Loads SendMethod from "c:\wintic.ini" [test] wave_or_mobile (after a successful Connect).
    void loadSendMethod();

private:
    ModemContext &m_context;
};

} // namespace lonvera::control
