// One emulated GSM modem: the AT command state machine, its message storage and its settings.
// Knows nothing of pseudo-terminals: bytes come in through receive() and leave through the
// output() signal, so it can be driven directly by a fuzzer. Lives on its emulator's thread;
// no locks.
#pragma once

#include "at_command.h"
#include "modem_profile.h"
#include "sms_storage.h"

#include <QByteArray>
#include <QList>
#include <QObject>

#include <array>
#include <functional>

class QTimer;

namespace lonvera::emulator {

class EmulatorLog;
class Network;

class EmulatedModem : public QObject
{
    Q_OBJECT
public:
    EmulatedModem(int com, const ModemProfile &profile, Network *network, EmulatorLog *log,
                  QObject *parent = nullptr);
    ~EmulatedModem() override;

    int com() const { return m_com; }
    QString number() const { return m_profile.number; }
    const ModemProfile &profile() const { return m_profile; }
    // Takes effect for the next command; storage capacity changes keep the stored messages.
    void setProfile(const ModemProfile &profile);
    SmsStorage &storage() { return m_storage; }
    bool clipEnabled() const { return m_settings.clip; }

    // The handshaking the program set on its side of the line (0..3); 0 when unknown.
    void setHandshakeProbe(std::function<int()> probe) { m_handshake = std::move(probe); }

    // Back to the power-on state: the settings stored with AT&W, no call, no half-typed line.
    void powerOn();

    // Bytes from the program.
    void receive(const QByteArray &bytes);

    // An unsolicited result such as "+CMTI: \"SM\",3" (the line(s) without the framing CR LF).
    // Held while a command runs or a ">" prompt is open, then written after the final result.
    // holdForNextResult keeps it until the next final result even when the modem is idle.
    void notify(const QByteArray &text, bool holdForNextResult = false);
    // Bytes straight to the program, no framing and no holding.
    void writeRaw(const QByteArray &bytes);

    // From the network: an SMS-DELIVER (hex with centre part). False when it cannot be stored.
    bool deliverMessage(const QByteArray &pduHex);
    // From the network: an SMS-STATUS-REPORT (hex with centre part).
    void deliverStatusReport(const QByteArray &pduHex);

signals:
    void output(const QByteArray &bytes);

private:
    enum class Mode { Command, PduEntry };
    enum class Final { Ok, Error, CmsError, CmeError, NoCarrier, Busy, NoAnswer, Refused, None };

    struct Outcome
    {
        Final final = Final::Ok;
        int code = 0; // for CMS/CME errors
    };

    void processInput();
    void executeLine(const QByteArray &line);
    Outcome dispatch(const AtCommand &cmd);
    void finishPdu(bool cancelled);
    // Writes info text and the final result after delayMs; then() runs once it is out.
    void reply(const QByteArray &info, Outcome outcome, int delayMs,
               std::function<void()> then = {});
    void writeReply(const QByteArray &text, qsizetype finalAt, std::function<void()> then);
    void replyDone(std::function<void()> then);
    QByteArray finalText(Outcome outcome) const;
    void send(const QByteArray &bytes);
    bool canTalk() const;
    void flushHeld(bool afterResult);
    bool holdsIndications() const;

    // Command handlers (modem_commands.cpp)
    Outcome basicCommand(const AtCommand &cmd);
    Outcome messageCommand(const AtCommand &cmd);
    Outcome storageCommand(const AtCommand &cmd);
    Outcome callCommand(const AtCommand &cmd);
    Outcome infoCommand(const AtCommand &cmd);
    Outcome phonebookCommand(const AtCommand &cmd);
    Outcome setCnmi(const QByteArray &argText);
    Outcome simCommand(const AtCommand &cmd);
    void info(const QByteArray &line);
    void openPrompt(int length);

    struct Settings
    {
        bool echo = true;
        int cmgf = 0;
        std::array<int, 5> cnmi{1, 1, 0, 0, 0};
        QByteArray cscs = "IRA";
        bool clip = false;
    };

    int m_com;
    ModemProfile m_profile;
    QList<QList<int>> m_cnmiRanges;
    Network *m_network;
    EmulatorLog *m_log;
    std::function<int()> m_handshake;
    SmsStorage m_storage;

    Settings m_settings;
    Settings m_saved; // AT&W
    QByteArray m_cpbs = "SM";
    QString m_simState; // from the profile; "READY" once the PIN went in
    int m_pinAttempts = 3;
    SmsStorage m_reportStorage;      // "SR", when the profile keeps reports apart
    QByteArray m_readStorage = "SM"; // +CPMS <mem1>: where +CMGL, +CMGR and +CMGD work
    SmsStorage &readStorage() { return m_readStorage == "SR" ? m_reportStorage : m_storage; }

    Mode m_mode = Mode::Command;
    QByteArray m_input; // received, not yet processed
    QByteArray m_line;  // command line being typed
    bool m_lineOverflow = false;
    bool m_afterCr = false; // a LF right after the CR ends nothing and is not echoed
    bool m_busy = false;    // a reply is on its way; input waits
    int m_lineDelay = 0;    // reply delay of the running command line
    QByteArray m_info;      // info text of the running command line

    int m_pduLength = 0;
    QByteArray m_pdu;
    bool m_pduBad = false;

    int m_sendCount = 0;
    int m_nextReference = 0;

    QList<QByteArray> m_held;        // indications waiting for the end of a command
    QList<QByteArray> m_heldForNext; // indications waiting for the next final result
    QList<QByteArray> m_cnmiBuffer;  // indications buffered under +CNMI mode 0
    QTimer *m_replyTimer = nullptr;
    std::function<void()> m_pendingReply;
};

} // namespace lonvera::emulator
