// Time-stamped record of everything the emulated modems heard and said, and of the messages they
// sent into the network. Written on the emulator's thread, read from any thread (one mutex);
// changed() is emitted by the writing thread, so receivers in other threads get it queued.
#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>

#include <memory>

namespace lonvera::emulator {

class WireLog;

struct LogEntry
{
    enum class Kind {
        Received, // bytes from the program, as they came
        Command,  // one complete command line (without CR)
        Sent,     // bytes written towards the program
        Event,    // plug, network and call events, in words
    };
    qint64 timeMs = 0; // milliseconds since the epoch
    int com = 0;
    Kind kind = Kind::Event;
    QByteArray data;
};

// One PDU a modem took after its ">" prompt.
struct SentMessage
{
    qint64 timeMs = 0;
    int com = 0;
    QByteArray pdu;      // hex as written by the program (Ctrl-Z and blanks removed)
    int length = 0;      // the length given to +CMGS
    int reference = -1;  // message reference answered, -1 when the send was refused
    QByteArray error;    // the refusal, e.g. "+CMS ERROR: 304"
    QString destination; // digits, empty when the PDU could not be decoded
};

class EmulatorLog : public QObject
{
    Q_OBJECT
public:
    explicit EmulatorLog(QObject *parent = nullptr);
    ~EmulatorLog() override;

    void add(int com, LogEntry::Kind kind, const QByteArray &data);
    void addSent(const SentMessage &message);
    // The network took an accepted message on its way (it is recorded in the wire log only).
    void addCarried(int com, int reference, const QString &destination);
    // From now on every accepted, refused and carried message also goes to this file.
    bool openWireLog(const QString &path, QString *error = nullptr);
    void clear();

    // com 0 selects every modem.
    QList<LogEntry> entries(int com = 0) const;
    QList<QByteArray> commands(int com) const;
    QByteArray sentBytes(int com) const; // everything written towards the program
    QList<SentMessage> sentMessages(int com = 0) const;
    // A readable dump, one line per entry, for test failure messages.
    QString dump(int com = 0) const;

signals:
    void changed();

private:
    // The executable serves for days; keep the newest entries only.
    static constexpr qsizetype kMaxEntries = 200000;

    mutable QMutex m_mutex;
    QList<LogEntry> m_entries;
    QList<SentMessage> m_sent;
    std::unique_ptr<WireLog> m_wire;
};

} // namespace lonvera::emulator
