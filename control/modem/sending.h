// Sending text and 8-bit data as SMS-SUBMIT PDUs: the front end of Sendsms, the two centre
// variants with the remembered choice in "c:\wintic.ini", SendAsc2, and the concatenation
// reference of long messages.
// Lives on its control's thread; no locks.
#pragma once

#include <QList>
#include <QString>
#include <QVariant>

#include <optional>

namespace lonvera::control {

class ModemContext;

class Sending
{
public:
    explicit Sending(ModemContext &context);

    /// Sendsms: msg may get U+3000 appended (the caller's variable).
    QString sendSms(QString &msg, const QString &mobile, int sReport, bool pV);
    /// SendAsc2: hex user data cut into 140-octet messages.
    QString sendAsc2(const QVariant &ascMsg, const QVariant &toMobile, const QVariant &smsReport);

    /// Loads SendMethod from "c:\wintic.ini" [test] wave_or_mobile (after a successful Connect).
    void loadSendMethod();

    /// The PDU of one 8-bit piece as SendAsc2 writes it (default centre "00", class 1, 24 hours).
    static QString eightBitPdu(const QString &destination, bool international, bool report,
                               const QString &piece);

private:
    struct Message
    {
        QString text;
        QString mobile;
        bool report = false;
        quint8 validity = 0x01;
        quint8 reference = 0;
        QList<bool> sent; ///< per part: it went out (kept across variants and attempts)
    };

    /// Takes over the remembered message when this is a new attempt at it.
    bool resumes(Message &message) const;
    QString sendByMethod(Message &message);
    QString sendExplicitCentre(Message &message);
    QString sendDefaultCentre(Message &message);
    QString runVariant(Message &message, bool explicitCentre);
    /// Stores SendMethod and writes it to the profile at once.
    void setSendMethod(const QString &method);
    static QString winticPath();

    ModemContext &m_context;
    /// The reference of the next long message. It starts at a random value so that a restarted
    /// control does not repeat the references it just used, and a recipient never joins the
    /// parts of two messages (3GPP TS 23.040 9.2.3.24.1).
    quint8 m_nextReference;
    /// The last run ended the send (link gone, modem silent): no other variant may follow.
    bool m_runEndedTheSend = false;
    /// The last long message that went out in part only.
    std::optional<Message> m_unfinished;
};

} // namespace lonvera::control
