// One run of a send variant: the checks before it, the attempts per part with their port and close
// handling, the AT exchanges of the two centre variants and of 8-bit data, and the result text.
// Lives on its control's thread; no locks.
#pragma once

#include "control/exchange/line_reader.h"

#include <QString>

#include <optional>

namespace lonvera::control {

class ModemContext;

class SendRun
{
public:
    /// How the PDU of one part is handed to the modem.
    enum class Form {
        ExplicitCentre, ///< "AT+CMGS= n" CR LF, up to three prompts of 12 s, modem errors dropped
        DefaultCentre,  ///< "at+cmgs=0nn" CR, one prompt of 12 s, modem replies kept in the text
        EightBit        ///< as DefaultCentre with an 18 s prompt and a 28 s reply
    };

    /// Starts the run: Isbusy must already be set by the caller.
    explicit SendRun(ModemContext &context, int totalParts = 1);

    /// Stops a run when a close is in progress, and connects when the link is down. False when
    /// the run has ended (a close was requested).
    bool begin();
    /// Adds a failure text (a check that failed); the run then ends with finish().
    void fail(const QString &text) { m_errorText += text; }
    void setTotalParts(int total) { m_totalParts = total; }
    /// Parts of this message that went out in an earlier run.
    void setAlreadySent(int parts) { m_partsSent = parts; }

    /// Up to three attempts for one part. False when the run must stop (close requested, port
    /// cannot be opened); a part that failed three times lets the run go on.
    bool sendPart(const QString &pduHex, int tpduOctets, Form form);

    /// The result: "y" when every part went; one of the SendResult texts when ClosePort stopped
    /// the run; otherwise a failure text. Left in errmsg too.
    /// linkTextOnLinkStateAlone: the link-down text replaces the others even after a close.
    QString finish(bool linkTextOnLinkStateAlone = false);

    int partsSent() const { return m_partsSent; }
    /// True when the link went away or the modem stopped answering: no other attempt or centre
    /// variant may follow, since nothing can go or the message may already have gone.
    bool endsTheSend() const { return m_endsTheSend; }

    /// The length as the default-centre form writes it: a "0" before exactly two digits.
    static QString defaultLengthText(int octets);
    /// True when the reply says the modem took the message: its final OK, or "+CMGS:" without a
    /// refusal (the message reference comes only after the network took it, even when the "OK"
    /// is lost).
    static bool isAccepted(const Reply &reply);

private:
    enum class Step {
        Sent,
        Failed,
        Aborted,
        Refused,          ///< refused for good: no further attempt
        LinkLost,         ///< the port went before the PDU was written
        LinkLostAfterPdu, ///< the port went after the PDU was written
        Unanswered,       ///< took the PDU, then gave no final answer
        Silent            ///< said nothing at all
    };
    Step exchangePart(const QString &pduHex, int tpduOctets, Form form);
    std::optional<Step> faultAfterPdu(const QString &reply, bool heard);
    /// Waits for ">" with a cleared buffer; false when a close was requested meanwhile.
    bool waitPrompt(int seconds);
    void abort();
    /// Remembers a part handed to the modem whose answer never came.
    void noteAnswer(const Reply &reply);

    ModemContext &m_context;
    QString m_errorText;
    int m_totalParts = 1;
    int m_partsSent = 0;
    bool m_endsTheSend = false;
    bool m_unconfirmed = false; ///< a PDU went to the modem and no answer came
    bool m_interrupted = false; ///< ClosePort stopped the run
};

} // namespace lonvera::control
