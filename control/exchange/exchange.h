// The AT exchange of one control: writing commands, reading what the modem says through the one
// LineReader (the reply of the running command, its final line, the "> " prompt), WaitReply, Wait,
// and the AbortWait flag. Unsolicited results are handed on as they arrive (noticesReceived), to
// the operations that subscribe to them; they never become part of a reply. Every wait runs the
// thread's event loop and wakes when bytes arrive, so nothing polls.
// Lives on its control's thread; no locks. Waits nest: a call served during one wait may start
// another; each has its own deadline on a monotonic clock.
#pragma once

#include "control/exchange/line_reader.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

namespace lonvera::control {

class SerialPort;

class Exchange : public QObject
{
    Q_OBJECT
public:
    explicit Exchange(SerialPort &port, QObject *parent = nullptr);
    ~Exchange() override;

    SerialPort &port() { return m_port; }

    // --- The port -------------------------------------------------------------------------

    /// Opens the port if it is closed; 0 when open, else the port error number. While AbortWait
    /// is set (the host closed the port) the port stays closed: 8012.
    int ensureOpen();
    bool isOpen() const;
    /// Closes the port if open (failures ignored).
    void closePort();

    // --- Writing ----------------------------------------------------------------------------

    /// Writes the command followed by CR LF; its reply starts here. False when the port is closed
    /// or the write failed.
    bool writeCommand(const QString &command);
    /// Writes the command, the number in its leading-blank form (" 4" for 4, "-1" for -1), CR LF.
    bool writeCommand(const QString &command, int number);
    /// Writes the bytes exactly as given: a command ending in CR alone starts a reply, a PDU with
    /// Ctrl-Z continues the reply of the command that opened the prompt.
    bool writeRaw(const QByteArray &bytes);

    // --- The reply ----------------------------------------------------------------------------

    /// The reply of the last command written, as far as it has come.
    const Reply &reply() const { return m_reader.reply(); }
    /// Its text: lines as they came, echo and final included, unsolicited results left out.
    QString replyText() const { return m_reader.replyText(); }
    /// Reads what the port holds now (notices in it are routed at once).
    void takeInput();
    /// Takes the port's pending input so that none of it answers the next command.
    void discardInput() { takeInput(); }

    // --- Waiting ----------------------------------------------------------------------------

    /// Collects the reply until its final line, AbortWait, a lost port, or the time-out; returns
    /// the reply text.
    QString waitReply(int seconds);
    /// Waits for the "> " prompt (or a final line refusing the command); true when it came.
    bool waitPrompt(int seconds);
    /// Waits until done() holds, AbortWait, a lost port, or the time-out; true when done. A wait
    /// that runs out while written bytes are still held in the port drops the line as lost. With
    /// progressMaximum of 0 or more, waitProgress and waitFinished are raised as in waitReply.
    bool waitUntil(const std::function<bool()> &done, int milliseconds, int progressMaximum = -1);
    /// Runs the event loop for ms milliseconds.
    void wait(int ms);

    bool abortWait() const { return m_abortWait; }
    /// Sets AbortWait; setting it ends every wait in progress at its next pass.
    void setAbortWait(bool on);

    /// How a number is written after a command: a blank before a non-negative value.
    static QString numberText(int number);

signals:
    /// Unsolicited results completed by one arrival of bytes, in order.
    void noticesReceived(const QList<lonvera::control::Notice> &notices);
    /// A WaitReply pass: seconds elapsed of maximumSeconds.
    void waitProgress(double elapsedSeconds, int maximumSeconds);
    /// A WaitReply ended.
    void waitFinished();

private:
    void onReadyRead();
    void feed(const QByteArray &bytes);
    void wakeWaits();

    SerialPort &m_port;
    LineReader m_reader;
    bool m_abortWait = false;
    class ActiveWaits;
    ActiveWaits *m_waits;
};

} // namespace lonvera::control
