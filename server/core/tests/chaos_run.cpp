// See chaos_run.h.
#include "chaos_run.h"

#include "e2e_rig.h"
#include "server/core/gateway.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTest>

#include <csignal>

namespace lonvera::server::test {

using namespace Qt::StringLiterals;

namespace {

// How often each tag went into the network, read from the wire log: accepted first parts.
QHash<int, int> wireTags(const QString &path)
{
    QHash<int, int> tags;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return tags;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.value(u"kind"_s).toString() != u"accepted"_s || o.value(u"part"_s).toInt(1) != 1)
            continue;
        const int tag = E2eRig::tagOf(o.value(u"text"_s).toString());
        if (tag >= 0)
            ++tags[tag];
    }
    return tags;
}

int acceptedCount(const QString &path)
{
    int n = 0;
    for (int count : wireTags(path))
        n += count;
    return n;
}

bool runScript(const QStringList &arguments)
{
    QProcess p;
    p.start(u"bash"_s,
            QStringList{QStringLiteral(LONVERA_SOURCE_DIR) + u"/scripts/pg-cluster.sh"_s} +
                arguments);
    return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// A PostgreSQL cluster of the run's own, which it may stop: the shared one serves other tests.
class PrivateCluster
{
public:
    ~PrivateCluster()
    {
        if (!m_dir.isEmpty()) {
            runScript({u"stop"_s, m_dir});
            QDir(m_dir).removeRecursively();
        }
    }
    bool start(QString *error)
    {
        m_dir =
            QDir::tempPath() + u"/lonvera-pg-chaos-%1"_s.arg(QCoreApplication::applicationPid());
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        m_port = probe.serverPort();
        probe.close();
        if (!runScript({u"start"_s, m_dir, QString::number(m_port)})) {
            *error = u"cannot start a PostgreSQL cluster in "_s + m_dir;
            return false;
        }
        // The rig makes its database on the cluster the test variables name.
        qputenv("LONVERA_TEST_PG_HOST", "127.0.0.1");
        qputenv("LONVERA_TEST_PG_PORT", QByteArray::number(m_port));
        qputenv("LONVERA_TEST_PG_USER", "postgres");
        qputenv("LONVERA_TEST_PG_DB", "lonvera_test");
        return true;
    }
    bool stop() { return runScript({u"stop"_s, m_dir}); }
    bool resume() { return runScript({u"resume"_s, m_dir, QString::number(m_port)}); }

private:
    QString m_dir;
    int m_port = 0;
};

class Server
{
public:
    explicit Server(QString home) : m_home(std::move(home)) {}
    ~Server() { stop(SIGKILL); }

    void start()
    {
        m_process = std::make_unique<QProcess>();
        m_process->setProgram(QCoreApplication::applicationDirPath() + u"/Brevin"_s);
        m_process->setArguments({u"--headless"_s, u"--home"_s, m_home});
        m_process->setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(m_process.get(), &QProcess::readyRead,
                         [this] { m_output += m_process->readAll(); });
        m_process->start();
        m_process->waitForStarted();
    }
    void stop(int signal)
    {
        if (!m_process || m_process->state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(m_process->processId()), signal);
        m_process->waitForFinished(signal == SIGKILL ? 10000 : 120000);
        m_output += m_process->readAll();
    }
    void command(const QByteArray &line) { m_process->write(line + '\n'); }
    QString output() const { return QString::fromUtf8(m_output); }

private:
    QString m_home;
    std::unique_ptr<QProcess> m_process;
    QByteArray m_output;
};

} // namespace

namespace {

// The worker server that serves this machine prefix: the process named Tarvex80 whose
// environment carries the prefix (it is detached from the Brevin that started it).
qint64 workerServerPid(const QString &prefix)
{
    const QByteArray wanted = "LONVERA_PREFIX=" + prefix.toLocal8Bit();
    const QStringList entries = QDir(u"/proc"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (!isPid)
            continue;
        QFile comm(u"/proc/%1/comm"_s.arg(pid));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != "Tarvex80")
            continue;
        QFile environ(u"/proc/%1/environ"_s.arg(pid));
        if (environ.open(QIODevice::ReadOnly) && environ.readAll().split('\0').contains(wanted))
            return pid;
    }
    return 0;
}

} // namespace

QString faultName(Fault fault)
{
    switch (fault) {
    case Fault::None:
        return u"no fault"_s;
    case Fault::Kill:
        return u"kill -9 and restart"_s;
    case Fault::Terminate:
        return u"SIGTERM and restart"_s;
    case Fault::PauseStart:
        return u"device paused and started"_s;
    case Fault::DbStopped:
        return u"PostgreSQL stopped"_s;
    case Fault::DbLocked:
        return u"SQLite locked"_s;
    case Fault::WorkerKilled:
        return u"worker server killed"_s;
    case Fault::WorkerStopped:
        return u"worker server stopped"_s;
    case Fault::Unplugged:
        return u"modem unplugged"_s;
    case Fault::Silent:
        return u"modem silent"_s;
    case Fault::LineNoise:
        return u"line noise"_s;
    }
    return {};
}

namespace {

// Waits until a modem (com 0: any) takes a PDU again and counts the time it took. A queue the
// other modems emptied first is told apart from a port that took nothing while rows waited.
void countResume(E2eRig &rig, int com, ChaosFigures *figures, int fault)
{
    const qsizetype before = rig.emulator().sentMessages(com).size();
    QElapsedTimer resume;
    resume.start();
    bool emptied = false;
    const bool took = QTest::qWaitFor(
        [&] {
            if (rig.emulator().sentMessages(com).size() > before)
                return true;
            emptied = rig.scalar(u"select count(*) from outbox"_s) == 0;
            return emptied;
        },
        180000);
    const qint64 ms = resume.elapsed();
    if (took && !emptied) {
        figures->resumeMaxMs = std::max(figures->resumeMaxMs, ms);
        figures->resumeSumMs += ms;
        figures->ends << FaultEnd{FaultEnd::Kind::Resumed, ms};
        ++figures->resumed;
    } else if (emptied) {
        figures->ends << FaultEnd{FaultEnd::Kind::QueueEmptied, ms};
        figures->details << u"queue emptied %1 s after fault %2, before its port took a PDU"_s
                                .arg(double(ms) / 1000, 0, 'f', 1)
                                .arg(fault + 1);
    } else {
        figures->ends << FaultEnd{FaultEnd::Kind::NotResumed, ms};
        figures->details << u"NOT RESUMED: no PDU for %1 s after fault %2 with rows waiting"_s
                                .arg(ms / 1000)
                                .arg(fault + 1);
    }
}

// The faults the gateway mends by itself: of the worker server, of one modem, of one line.
void healingFault(E2eRig &rig, const ChaosOptions &options, int f, ChaosFigures *figures)
{
    const int com = f % options.modems + 1;
    switch (options.fault) {
    case Fault::WorkerKilled:
    case Fault::WorkerStopped: {
        const qint64 pid = workerServerPid(rig.prefix());
        if (pid <= 0) {
            figures->details << u"no worker server to stop at fault %1"_s.arg(f + 1);
            return;
        }
        ::kill(pid_t(pid), options.fault == Fault::WorkerKilled ? SIGKILL : SIGSTOP);
        countResume(rig, 0, figures, f);
        return;
    }
    case Fault::Unplugged:
        rig.emulator().unplug(com);
        QTest::qWait(options.faultMs);
        rig.emulator().replug(com);
        countResume(rig, com, figures, f);
        return;
    case Fault::Silent:
        rig.emulator().updateProfile(com, [](emulator::ModemProfile &p) { p.silent = true; });
        if (options.faultMs < 0)
            return; // for good: its messages must go through the others
        QTest::qWait(options.faultMs);
        rig.emulator().updateProfile(com, [](emulator::ModemProfile &p) { p.silent = false; });
        countResume(rig, com, figures, f);
        return;
    case Fault::LineNoise: {
        // A burst of random bytes every 200 ms, flow-control characters among them.
        QElapsedTimer burst;
        burst.start();
        while (burst.elapsed() < options.faultMs) {
            QByteArray noise(8, '\0');
            for (char &c : noise)
                c = char(QRandomGenerator::global()->bounded(256));
            noise[0] = '\x13';
            rig.emulator().inject(com, noise);
            QTest::qWait(200);
        }
        countResume(rig, com, figures, f);
        return;
    }
    default:
        return;
    }
}

} // namespace

bool runChaos(const ChaosOptions &options, ChaosFigures *figures, QString *error)
{
    *figures = {};
    figures->messages = options.messages;
    QElapsedTimer clock;
    clock.start();
    E2eRig rig;
    const QString wire = rig.prefix() + u"-wire.jsonl"_s;
    if (!rig.emulator().openWireLog(wire, error))
        return false;
    emulator::ProfileSet profiles;
    profiles.defaults.networkDelayMs = options.networkMinMs;
    profiles.defaults.networkDelayMaxMs = options.networkMaxMs;
    PrivateCluster cluster;
    db::test::TestEngine engine = options.engine;
    if (options.fault == Fault::DbStopped) {
        engine = db::test::TestEngine::PostgreSql;
        if (!cluster.start(error))
            return false;
    } else if (options.fault == Fault::DbLocked) {
        engine = db::test::TestEngine::Sqlite;
    }
    if (!rig.setUp(engine, options.modems, error, profiles))
        return false;
    rig.addSetting(u"AUTOC"_s, u"AUTOC"_s, u"1"_s);
    if (options.atMostOnce)
        rig.addSetting(u"AUTOC"_s, u"AtMostOnce"_s, u"1"_s);
    if (!rig.queue(0, options.messages)) {
        *error = u"cannot queue the messages"_s;
        return false;
    }

    Server server(rig.home());
    server.start();
    // The faults are spread over the first half of the run: each comes once a share of the
    // messages went out, right after a modem took a PDU, so a send is in the middle of its
    // exchange; rows are still waiting when the last fault ends, so a port that does not come
    // back shows as such and not as a queue the others emptied.
    const int share = std::max(1, options.messages / (2 * options.faults + 2));
    for (int f = 0; f < options.faults && options.fault != Fault::None; ++f) {
        const int target = std::min(options.messages, acceptedCount(wire) + share);
        if (!QTest::qWaitFor([&] { return acceptedCount(wire) >= target; }, 120000))
            break;
        switch (options.fault) {
        case Fault::Kill:
            server.stop(SIGKILL);
            server.start();
            break;
        case Fault::Terminate:
            server.stop(SIGTERM);
            server.start();
            break;
        case Fault::PauseStart: {
            const int row = f % options.modems + 1;
            server.command("pause " + QByteArray::number(row));
            // Paused once the port is closed; then started again.
            if (!QTest::qWaitFor([&] { return !rig.emulator().isAttached(row); }, 120000))
                figures->details << u"device %1 did not pause"_s.arg(row);
            server.command("start " + QByteArray::number(row));
            break;
        }
        case Fault::DbStopped:
        case Fault::DbLocked: {
            std::unique_ptr<db::Database> locker;
            if (options.fault == Fault::DbStopped) {
                cluster.stop();
            } else {
                // Another program's write transaction, held open.
                locker = std::make_unique<db::Database>(u"chaos-locker"_s);
                if (!locker->open(rig.connectionString()).ok() || !locker->beginWrite())
                    figures->details << u"could not lock the database"_s;
            }
            QTest::qWait(options.faultMs);
            if (options.fault == Fault::DbStopped) {
                cluster.resume();
                rig.reconnect();
            } else {
                locker->rollback();
                locker.reset();
            }
            // Sending has resumed once a modem takes a PDU again.
            countResume(rig, 0, figures, f);
            break;
        }
        case Fault::WorkerKilled:
        case Fault::WorkerStopped:
        case Fault::Unplugged:
        case Fault::Silent:
        case Fault::LineNoise:
            healingFault(rig, options, f, figures);
            break;
        case Fault::None:
            break;
        }
        ++figures->faults;
    }
    // The end: the queue is empty, or nothing moved for a while.
    qint64 lastLeft = -1;
    int lastAccepted = -1;
    QElapsedTimer quiet;
    quiet.start();
    [[maybe_unused]] const bool drained = QTest::qWaitFor(
        [&] {
            const qint64 left = rig.scalar(u"select count(*) from outbox"_s);
            const int took = acceptedCount(wire);
            if (left != lastLeft || took != lastAccepted) {
                lastLeft = left;
                lastAccepted = took;
                quiet.restart();
            }
            return left == 0 || quiet.elapsed() > options.quietMs;
        },
        3600 * 1000);
    server.stop(SIGTERM);
    if (!options.keepLogsIn.isEmpty()) {
        const QString stem =
            options.keepLogsIn + u'/' + faultName(options.fault).replace(u' ', u'-');
        QFile out(stem + u"-server.txt"_s);
        if (out.open(QIODevice::WriteOnly))
            out.write(server.output().toUtf8());
        QFile::remove(stem + u"-wire.jsonl"_s);
        QFile::copy(wire, stem + u"-wire.jsonl"_s);
    }

    const QHash<int, int> onWire = wireTags(wire);
    QHash<int, int> sent, bad, unknown, waiting;
    for (const QString &text : rig.column(u"select Msg from SendedOutBox"_s))
        ++sent[E2eRig::tagOf(text)];
    for (const QString &row : rig.column(u"select bad_why || '|' || Msg from badoutbox"_s)) {
        const qsizetype bar = row.indexOf(u'|');
        const int tag = E2eRig::tagOf(row.mid(bar + 1));
        ++bad[tag];
        if (row.left(bar) == Gateway::outcomeUnknownText())
            ++unknown[tag];
    }
    for (const QString &text : rig.column(u"select Msg from outbox"_s))
        ++waiting[E2eRig::tagOf(text)];
    for (int tag = 0; tag < options.messages; ++tag) {
        const int wireCount = onWire.value(tag);
        const int tables = sent.value(tag) + bad.value(tag) + waiting.value(tag);
        auto note = [&](const QString &what) {
            figures->details << u"#%1 %2 (wire %3, sent %4, bad %5, outbox %6)"_s.arg(tag)
                                    .arg(what)
                                    .arg(wireCount)
                                    .arg(sent.value(tag))
                                    .arg(bad.value(tag))
                                    .arg(waiting.value(tag));
        };
        if (tables == 0) {
            ++figures->lost;
            note(u"lost"_s);
        }
        if (wireCount > 1) {
            ++figures->sentTwice;
            note(u"sent twice"_s);
        }
        if (sent.value(tag) > 0 && wireCount == 0) {
            ++figures->notSent;
            note(u"recorded as sent, not sent"_s);
        }
        if (waiting.value(tag) > 0) {
            ++figures->stuck;
            note(u"stuck"_s);
        }
        if (bad.value(tag) > unknown.value(tag) && wireCount == 0) {
            ++figures->falseFailures;
            note(u"failed, never sent"_s);
        }
        if (bad.value(tag) > unknown.value(tag) && wireCount > 0) {
            ++figures->badButSent;
            note(u"failed, yet sent"_s);
        }
        figures->unknown += unknown.value(tag);
    }
    figures->elapsedMs = clock.elapsed();
    return true;
}

} // namespace lonvera::server::test
