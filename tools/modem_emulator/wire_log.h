// A file record of what the emulated modems put into the network, for harnesses that check
// delivery counts from outside the process: one JSON object per line for every PDU a modem took
// after its prompt (accepted with its message reference, or refused with the error it answered)
// and for every message the network carried on. Each line is flushed as it is written, so a
// reader sees everything up to the moment it looks, and a killed emulator loses nothing it had
// answered. Used under its EmulatorLog's mutex; no locks of its own.
#pragma once

#include <QFile>
#include <QString>

namespace lonvera::emulator {

struct SentMessage;

class WireLog
{
public:
    /// Opens (and truncates) the file; false with the reason.
    bool open(const QString &path, QString *error);

    /// "accepted" or "refused", with the decoded text and its part of a concatenated message.
    void addTaken(const SentMessage &message);
    /// "carried": the network took the accepted message with this reference on its way.
    void addCarried(qint64 timeMs, int com, int reference, const QString &destination);

    /// One line for an accepted or refused PDU (the line the file holds, without its newline).
    static QByteArray takenLine(const SentMessage &message);

private:
    void write(const QByteArray &line);

    QFile m_file;
};

} // namespace lonvera::emulator
