// Device profile of one emulated modem: every quirk a modem in the field shows is a value here,
// never a branch on a vendor. Plain data; loaded from JSON or INI files or filled by tests.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QVariantMap>

namespace lonvera::emulator {

struct PhonebookEntry
{
    QString number;
    QString name;
};

struct PresetMessage
{
    int status = 0; // 3GPP TS 27.005 <stat>: 0 REC UNREAD, 1 REC READ, 2 STO UNSENT, 3 STO SENT
    QByteArray pdu; // hex, service-centre part first, as listed by +CMGL
};

struct ModemProfile
{
    // How parts of a concatenated message reach the recipient.
    enum class PartOrder { InOrder, Reversed, Shuffled };
    // How a status report reaches the sender.
    enum class ReportRoute { FollowCnmi, Direct, Stored };

    // Identity
    QString number; // subscriber number, international digits ("8613900000001")
    QString model = QStringLiteral("EMU-GSM 900E 1800");
    QString manufacturer = QStringLiteral("LONVERA");
    QString revision = QStringLiteral("EMU 1.0.0");
    QString imei; // empty: derived from the COM number
    QString centre = QStringLiteral("+8613800200500");

    // Serial behaviour
    bool echo = true;
    QList<int> answeredHandshakes{0, 1, 2, 3}; // 0 none, 1 XON/XOFF, 2 RTS/CTS, 3 both
    bool dsrOnOpen = false;
    bool silent = false; // never answers anything
    // The emulator holds the port's slave side open itself, so holdOutput() can stop the
    // program's output as CTS low or an obeyed XOFF would on a real line.
    bool holdableOutput = false;
    int replyDelayMs = 0;                  // before every reply
    QHash<QByteArray, int> commandDelayMs; // per command name ("+CMGL", "D"), added to the above
    int fragmentGapMs = 0;          // > 0: each final result is cut after its first character
    bool lowerCaseResults = false;  // "ok" / "error"
    bool promptBlank = true;        // "> " rather than ">"
    bool glueNotifications = false; // notifications held during a command follow "OK\r\n" directly
    int lineGapMs = 0;              // > 0: a reply's lines come one by one, this far apart
    QList<QByteArray> refusedCommands; // command names ("+CGMR") the modem does not know
    QString refusalText = QStringLiteral("ERROR"); // its answer to them ("COMMAND NOT SUPPORT")

    // SIM: "READY", "SIM PIN" (locked until simPin is entered), "SIM PUK", or "" (no SIM:
    // AT+CPIN? answers +CME ERROR: 10). Three wrong PINs lock it with the PUK.
    QString simState = QStringLiteral("READY");
    QString simPin = QStringLiteral("1234");

    // Messaging
    QString cnmiRanges = QStringLiteral("(0-2),(0-3),(0,2),(0-2),(0,1)"); // empty: no +CNMI at all
    QString initialCnmi = QStringLiteral("1,1,0,0,0");
    int capacity = 30;
    QList<PresetMessage> stored;
    bool deleteFlagSupported = true; // at+cmgd=<index>,<flag>
    int cmsErrorOnSend = 0;          // the Nth send (1-based) fails with cmsErrorCode; 0 never
    int cmsErrorCode = 500;
    QList<int> refusedParts;           // parts (sequence numbers) of long messages refused with it
    bool rejectExplicitCentre = false; // a PDU with its own centre part is refused
    int unknownNumberCmsError = 0;     // 0: messages to unknown numbers are accepted
    int networkDelayMs = 0;            // before "+CMGS:"
    int networkDelayMaxMs = 0; // above networkDelayMs: each message takes a random delay up to it
    PartOrder partOrder = PartOrder::InOrder;
    int partHoldMs = 3000; // shuffled/reversed: longest wait for the missing parts
    ReportRoute reportRoute = ReportRoute::FollowCnmi;
    QString reportStorage =
        QStringLiteral("SM"); // where stored reports go: "SM" or a separate "SR"
    int reportStatus = 0;     // 3GPP TS 23.040 9.2.3.15 TP-ST of the reports received
    int reportDelayMs = 0;

    // Calls and phonebook
    int ringIntervalMs = 3000;
    int ringTimeoutMs = 60000;
    bool callWaiting = false; // a call coming while one is active waits (+CLCC state 5) beside it
    QString dialUnknownResult =
        QStringLiteral("OK"); // or "BUSY", "NO CARRIER", "NO ANSWER", "ERROR"
    QMap<QString, QList<PhonebookEntry>> phonebooks{{QStringLiteral("SM"), {}},
                                                    {QStringLiteral("ME"), {}}};
    int phonebookCapacity = 250;

    // Applies the keys of a map (from JSON or INI) onto this profile; false with a reason on an
    // unknown key or a bad value.
    bool apply(const QVariantMap &values, QString *error);
};

// A profile file: defaults for every modem plus overrides per COM number.
struct ProfileSet
{
    ModemProfile defaults;
    QMap<int, QVariantMap> perCom; // applied on top of defaults

    ModemProfile forCom(int com) const;

    // JSON: either a flat object (the defaults) or {"default": {...}, "com3": {...}}.
    // INI: keys of [General] or [default] are the defaults, [comN] sections override.
    static bool load(const QString &path, ProfileSet *out, QString *error);
    static bool fromJson(const QByteArray &json, ProfileSet *out, QString *error);
};

// Parses a +CNMI test reply such as "(0-2),(0-3),(0,2),(0-2),(0,1)" into the allowed values of
// each parameter; empty text gives no parameters.
bool parseCnmiRanges(const QString &text, QList<QList<int>> *out);

} // namespace lonvera::emulator
