// The AT exchange of one control: writing commands, the reply buffer, WaitReply with its
// final-reply rule, Wait, the AbortWait flag, and the points where unsolicited results seen during
// a wait are handed on (new message, stored and direct status reports). Every wait runs the
// thread's event loop and wakes when bytes arrive, so nothing polls.
// Lives on its control's thread; no locks. Waits nest: a call served during one wait may start
// another; each has its own deadline on a monotonic clock.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

namespace lonvera::control {

class SerialPort;

/// What a wait does when the reply buffer shows an unsolicited result mid-command.
struct WaitHooks
{
    /// "CMTI" seen (once per WaitReply): a message arrived during the command.
    std::function<void()> newMessageSeen;
    /// "+CDSI" in the buffer (checked on every pass of WaitReply).
    std::function<void()> storedReportSeen;
    /// "+CDS" but not "+CDSI" in the buffer (checked on every pass of WaitReply).
    std::function<void()> directReportSeen;
};

class Exchange : public QObject
{
    Q_OBJECT
public:
    explicit Exchange(SerialPort &port, QObject *parent = nullptr);
    ~Exchange() override;

    SerialPort &port() { return m_port; }

    // --- The port -------------------------------------------------------------------------

    /// Opens the port if it is closed; 0 when open, else the port error number.
    int ensureOpen();
    bool isOpen() const;
    /// Closes the port if open (failures ignored).
    void closePort();

    // --- Writing ----------------------------------------------------------------------------

    /// Writes the command followed by CR LF. False when the port is closed or the write failed.
    bool writeCommand(const QString &command);
    /// Writes the command, the number in its leading-blank form (" 4" for 4, "-1" for -1), CR LF.
    bool writeCommand(const QString &command, int number);
    /// Writes the bytes exactly as given (a PDU with Ctrl-Z, a command ending in CR alone).
    bool writeRaw(const QByteArray &bytes);

    // --- The reply buffer -------------------------------------------------------------------

    const QString &replyBuffer() const { return m_replyBuffer; }
    void setReplyBuffer(const QString &text) { m_replyBuffer = text; }
    void clearReplyBuffer() { m_replyBuffer.clear(); }
    /// Appends whatever the port holds that has not been appended yet (Input).
    void takeInput();
    /// Reads the port's pending input and drops it.
    void discardInput();

    // --- Waiting ----------------------------------------------------------------------------

    /// Empties ReplyBuffer, then collects the reply until a final word ("OK", "ok", "ERR", "err",
    /// "BUSY", "CARRIER"), AbortWait, a lost port, or the time-out; returns ReplyBuffer.
    QString waitReply(int seconds);
    /// Keeps the buffer and waits until done(buffer) holds, AbortWait, a lost port, or the
    /// time-out; true when done. Bytes are appended as they come; the hooks are not run. With
    /// progressMaximum of 0 or more, waitProgress and waitFinished are raised as in waitReply.
    bool waitUntil(const std::function<bool(const QString &)> &done, int milliseconds,
                   int progressMaximum = -1);
    /// Runs the event loop for ms milliseconds.
    void wait(int ms);

    bool abortWait() const { return m_abortWait; }
    /// Sets AbortWait; setting it ends every wait in progress at its next pass.
    void setAbortWait(bool on);

    void setWaitHooks(WaitHooks hooks) { m_hooks = std::move(hooks); }

    /// How a number is written after a command: a blank before a non-negative value.
    static QString numberText(int number);
    /// True when the text holds a word that ends WaitReply.
    static bool isFinalReply(const QString &text);

signals:
    /// Bytes were appended to ReplyBuffer by the port's notification (the receive handler's cue).
    void dataReceived();
    /// A WaitReply pass: seconds elapsed of maximumSeconds.
    void waitProgress(double elapsedSeconds, int maximumSeconds);
    /// A WaitReply ended.
    void waitFinished();

private:
    void onReadyRead();
    void wakeWaits();

    SerialPort &m_port;
    QString m_replyBuffer;
    bool m_abortWait = false;
    WaitHooks m_hooks;
    class ActiveWaits;
    ActiveWaits *m_waits;
};

} // namespace lonvera::control
