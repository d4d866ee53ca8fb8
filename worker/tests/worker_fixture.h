// Test fixture: a temporary machine prefix shared with the spawned Tarvex80, emulated modems on
// their own thread, and an event recorder for worker proxies.
#pragma once

#include "emulator.h"
#include "worker/client/qxsms.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace lonvera::worker::testing {

struct RecordedEvent
{
    QString name;
    QStringList args;
    qint64 atMs = 0;
    protocol::StatusReport report; // OnOtherReport: the kind the frame carried
};

/// Records a proxy's events with the time they reached the client.
class EventRecorder : public QObject
{
public:
    explicit EventRecorder(client::QXSms *worker);

    QList<RecordedEvent> events;
    bool lost = false;

    QStringList texts() const;                 // OnOtherReport texts
    QList<protocol::ReportKind> kinds() const; // and their kinds
    QList<RecordedEvent> named(const QString &name) const;
    /// Runs the event loop until an OnOtherReport holding text arrives.
    bool waitForText(const QString &text, int timeoutMs);
    bool waitForEvent(const QString &name, int count, int timeoutMs);
    qint64 timeOf(const QString &text) const;

private:
    QElapsedTimer m_clock;
};

class WorkerFixture
{
public:
    /// Sets up the prefix and modems COM1..COMn.
    bool start(int modems, const emulator::ProfileSet &profiles = {});
    void stop();

    emulator::Emulator &emulator() { return *m_emulator; }

    /// A worker on port com, connected (waits for the connect text); nullptr on failure.
    std::unique_ptr<client::QXSms> connectedWorker(int com, std::unique_ptr<EventRecorder> *rec,
                                                   bool autoRevMsg = true, qint16 waitTime = 9);

private:
    std::unique_ptr<QTemporaryDir> m_prefix;
    std::unique_ptr<emulator::Emulator> m_emulator;
};

/// True while a process with this id exists.
bool processExists(qint64 pid);
/// Waits (running the event loop) until the process is gone.
bool waitForProcessEnd(qint64 pid, int timeoutMs);

} // namespace lonvera::worker::testing
