// The one reader of what a modem says: it cuts the modem's output into complete lines (and the
// "> " prompt), tells the reply of the command in progress from unsolicited results, and knows a
// command's end only by a whole final line. Which words are finals and which lines are notices is
// data (the tables in line_reader.cpp), never a substring search over the whole buffer.
// Pure: no port, no clock, no event loop; one reader per port, on its control's thread.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace lonvera::control {

/// How a command ended.
enum class FinalWord {
    None,         ///< no final line (yet)
    Ok,           ///< OK
    Error,        ///< ERROR, and the non-standard refusals some modems send instead
    CmsError,     ///< +CMS ERROR: n
    CmeError,     ///< +CME ERROR: n
    NoCarrier,    ///< NO CARRIER
    Busy,         ///< BUSY
    NoAnswer,     ///< NO ANSWER
    NoDialtone,   ///< NO DIALTONE
    NotSupported, ///< "COMMAND NOT SUPPORT" and its kin: the modem does not know the command
};

struct FinalResult
{
    FinalWord word = FinalWord::None;
    int code = -1; ///< the number of a CMS or CME error

    bool isFinal() const { return word != FinalWord::None; }
    bool isOk() const { return word == FinalWord::Ok; }
    /// Any refusal of the command (ERROR, CMS/CME errors, "not supported").
    bool isError() const
    {
        return word == FinalWord::Error || word == FinalWord::CmsError ||
               word == FinalWord::CmeError || word == FinalWord::NotSupported;
    }
};

/// The final result a whole line stands for (blanks and line ends around it ignored, either case).
FinalResult finalResultOf(QStringView line);

/// Unsolicited results the control reacts to; every other "+XXX:"/"^XXX" line that is not the
/// reply of the running command is a Status line and dropped.
enum class NoticeKind {
    NewMessage,       ///< +CMTI: "SM",3
    StoredReport,     ///< +CDSI: "SR",3
    DirectReport,     ///< +CDS: 25 with the report PDU on the next line
    DeliveredMessage, ///< +CMT: ,24 with the message PDU on the next line
    Ring,             ///< RING, +CRING: VOICE
    CallerId,         ///< +CLIP: "139...",129
    Status,           ///< any other status line (+CREG: 1, ^RSSI:12, ^BOOT:...)
};

struct Notice
{
    NoticeKind kind = NoticeKind::Status;
    QString line;    ///< the notice line, trimmed
    QString pduLine; ///< DirectReport, DeliveredMessage: the PDU line, trimmed

    /// The quoted storage name of "+CDSI"/"+CMTI" ("SR"), empty when none.
    QString storage() const;
    /// The index of "+CDSI"/"+CMTI": the first comma field that reads as a whole number; -1.
    int index() const;
};

/// The reply of the command in progress, as far as it has come.
struct Reply
{
    QString text;        ///< its lines as they came (echo and final included, notices left out)
    QStringList lines;   ///< its information lines, trimmed: no echo, no final, no empty line
    FinalResult final;   ///< the final line, when it has come
    bool prompt = false; ///< the "> " prompt has come (the command waits for a PDU)
};

class LineReader
{
public:
    /// A command is written: what comes from now on is its reply. The reply so far is dropped (a
    /// reply that came after its wait ended must not answer the next command), and so is a line
    /// begun before the command, once it completes, unless it is a notice.
    void beginCommand(QStringView command);
    /// The PDU after a "> " prompt is written: the reply starts again, the command's own response
    /// lines stay those of the command.
    void continueCommand(QStringView written);

    /// Takes text as it arrived; returns the notices it completed, in order.
    QList<Notice> feed(QStringView text);

    const Reply &reply() const { return m_reply; }
    /// The reply text with the line still arriving (what a wait that ends now returns).
    QString replyText() const;

    /// Longest line kept; a modem streaming noise without line ends cannot grow it further.
    static constexpr qsizetype MaxLineChars = 64 * 1024;
    /// Longest reply kept (a full listing of a large storage stays far below).
    static constexpr qsizetype MaxReplyChars = 1024 * 1024;

private:
    void restartReply();
    void takeLine(const QString &raw, QList<Notice> &notices);
    bool isOwnResponse(QStringView line) const;
    void updatePrompt();

    Reply m_reply;
    QString m_tail; ///< the line still arriving
    bool m_tailBeforeCommand = false;
    bool m_finished = false;     ///< the final line has come: later lines are not the reply
    QString m_command;           ///< the command as written, for spotting its echo
    QStringList m_commandNames;  ///< "CMGL", "CPMS": response lines of the command itself
    bool m_echoPossible = false; ///< no line of the reply has come yet
    bool m_awaitingPdu = false;  ///< a +CDS/+CMT notice waits for its PDU line
    Notice m_pending;
};

/// The reply a modem gave to command as a reader sees it (for parsers and their tests).
Reply parseReply(QStringView command, QStringView text);

} // namespace lonvera::control
