// The small GSM network between emulated modems: subscriber numbers, the service centre that
// turns an SMS-SUBMIT into an SMS-DELIVER for the recipient and a status report for the sender,
// and the call switch. Lives on its emulator's thread; no locks.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <optional>

#include "pdu.h"

class QTimer;

namespace lonvera::emulator {

class CallSwitch;
class EmulatedModem;
class EmulatorLog;

// What a modem took after its prompt, as far as the network needs it.
struct Submission
{
    QString error;                  // empty when the PDU is a well-formed SMS-SUBMIT
    bool hasExplicitCentre = false; // the PDU carried its own centre part
    QString destination;            // digits
    std::optional<pdu::Pdu> pdu;
};

class Network : public QObject
{
    Q_OBJECT
public:
    explicit Network(EmulatorLog *log, QObject *parent = nullptr);
    ~Network() override;

    void addModem(EmulatedModem *modem);
    void removeModem(EmulatedModem *modem);
    EmulatedModem *modemByNumber(const QString &number) const;
    bool knowsNumber(const QString &number) const { return modemByNumber(number) != nullptr; }
    CallSwitch *calls() const { return m_calls; }

    // The same subscriber written nationally or internationally ("13900000001",
    // "8613900000001", "+8613900000001") gives the same key.
    static QString subscriberKey(const QString &number);

    // Checks the hex a program wrote after the prompt against the length it announced.
    static Submission readSubmission(const QByteArray &hex, int declaredLength, bool malformed);

    // Carries an accepted message: delivery to an emulated recipient, then the status report
    // when one was requested.
    void submit(EmulatedModem *sender, const Submission &submission, int reference);

    // An SMS-DELIVER as hex with centre part, time-stamped now.
    static QByteArray deliverPdu(const pdu::SubmitTpdu &submit, const QString &originator,
                                 const QString &centre);
    static QByteArray deliverTextPdu(const QString &originator, const QString &text,
                                     const QString &centre);
    static QByteArray statusReportPdu(int reference, const pdu::Address &recipient,
                                      const pdu::Timestamp &submitted, int status,
                                      const QString &centre);
    static pdu::Timestamp timestampNow();

private:
    struct HeldParts
    {
        QString recipientKey;
        int total = 0;
        QList<QPair<int, QByteArray>> parts; // sequence, PDU hex
        QTimer *timer = nullptr;
    };

    bool deliver(EmulatedModem *recipient, const QByteArray &pduHex);
    void releaseParts(const QString &key);

    EmulatorLog *m_log;
    CallSwitch *m_calls;
    QHash<QString, EmulatedModem *> m_modems; // subscriber key -> modem
    QHash<QString, HeldParts> m_heldParts;    // recipient|sender|reference
};

} // namespace lonvera::emulator
