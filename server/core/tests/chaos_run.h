// The chaos run: emulated modems whose network takes a while per message, a queue of messages
// with unique texts, the Brevin program sending them while it is killed, stopped or has a device
// paused again and again, and the count of what went wrong, read from the emulator's wire log and
// the tables. Shared by the short run in ctest and the long one in bench/. Test thread only.
#pragma once

#include "server/db/tests/test_databases.h"

#include <QString>
#include <QStringList>

namespace lonvera::server::test {

enum class Fault {
    None,          ///< no fault: the baseline
    Kill,          ///< kill -9 of Brevin, then a restart
    Terminate,     ///< SIGTERM (orderly close), then a restart
    PauseStart,    ///< "暂停该设备" on one device, then "启动该设备"
    DbStopped,     ///< the PostgreSQL server stopped for faultMs, then started again
    DbLocked,      ///< another program holds the SQLite write lock for faultMs
    WorkerKilled,  ///< kill -9 of the worker server Tarvex80
    WorkerStopped, ///< SIGSTOP of the worker server Tarvex80 (hung, not dead)
    Unplugged,     ///< one modem unplugged for faultMs, then plugged in again
    Silent,        ///< one modem answers nothing for faultMs (for good when faultMs < 0)
    LineNoise,     ///< random bytes on one modem's line for faultMs while it sends
};

QString faultName(Fault fault);

struct ChaosOptions
{
    Fault fault = Fault::None;
    int faults = 1;
    int modems = 4;
    int messages = 40;
    bool atMostOnce = false;
    int networkMinMs = 300;
    int networkMaxMs = 600;
    /// The run ends when nothing has moved for this long after the last fault.
    int quietMs = 20000;
    /// How long a database, line or modem fault lasts.
    int faultMs = 15000;
    db::test::TestEngine engine = db::test::TestEngine::Sqlite;
    /// When set, the server's output and the wire log of the run are kept in this folder.
    QString keepLogsIn;
};

/// What followed one fault: a PDU taken after so long, the port taking none while rows waited,
/// or the queue emptied by the other modems first (which tells nothing of the port).
struct FaultEnd
{
    enum class Kind { Resumed, NotResumed, QueueEmptied };
    Kind kind = Kind::Resumed;
    qint64 ms = 0;
};

struct ChaosFigures
{
    int messages = 0;
    int faults = 0;        ///< faults actually made
    int lost = 0;          ///< in no table at all
    int sentTwice = 0;     ///< accepted by the modems more than once
    int notSent = 0;       ///< in SendedOutBox, but never accepted by a modem
    int stuck = 0;         ///< still in outbox at the end
    int badButSent = 0;    ///< in badoutbox without the outcome-unknown text, yet accepted
    int unknown = 0;       ///< in badoutbox with the outcome-unknown text
    int falseFailures = 0; ///< in badoutbox without the outcome-unknown text, never accepted
    /// Longest time from a fault's end to the next PDU taken (by the faulty modem, for the
    /// faults of one modem); database, worker server and modem faults.
    qint64 resumeMaxMs = -1;
    qint64 resumeSumMs = 0; ///< summed over the faults that were followed by a PDU
    int resumed = 0;        ///< faults followed by a PDU
    QList<FaultEnd> ends;   ///< per fault, in order
    qint64 elapsedMs = 0;
    QStringList details; ///< one line per message that went wrong
    bool clean() const
    {
        return lost == 0 && sentTwice == 0 && notSent == 0 && stuck == 0 && badButSent == 0;
    }
};

/// Runs one case; false with the reason when the rig cannot be set up.
bool runChaos(const ChaosOptions &options, ChaosFigures *figures, QString *error);

} // namespace lonvera::server::test
