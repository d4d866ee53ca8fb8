// End-to-end throughput of the gateway: the core in this process, the worker server Tarvex80 and
// the modem-emulator program beside it, outbox rows on SQLite and (when LONVERA_TEST_PG_* name a
// cluster) PostgreSQL. Prints messages per second in all and per port, messages per minute per
// port, and the CPU per message of this process (core and SQLite), the worker server and the
// PostgreSQL backends. The emulator's own CPU is not counted: it stands for the modems.
//
//   bench_server [--modems 16] [--messages 2000] [--network-ms 0] [--engine sqlite|postgresql|all]
#include "server/core/client_worker_factory.h"
#include "server/core/server_app.h"
#include "server/db/database.h"
#include "server/db/tests/test_databases.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

using namespace lonvera;
using namespace lonvera::server;
using namespace Qt::StringLiterals;

namespace {

struct Options
{
    int modems = 16;
    int messages = 2000;
    int networkMs = 0;
    QString engine = u"all"_s;
};

double selfCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// utime + stime of a process from /proc, 0 when it is gone.
double processCpuSeconds(qint64 pid)
{
    QFile stat(u"/proc/%1/stat"_s.arg(pid));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    // Fields after the command name, which may hold blanks, closed by the last ')'.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    return double(fields[11].toLongLong() + fields[12].toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

QList<qint64> backendPids(db::Database &check)
{
    QList<qint64> pids;
    QSqlQuery q(check.connection());
    if (q.exec(u"select pid from pg_stat_activity where datname = current_database() and pid <> "
               "pg_backend_pid()"_s)) {
        while (q.next())
            pids << q.value(0).toLongLong();
    }
    return pids;
}

// Runs the event loop for ms; the gateway works meanwhile, this process sleeps otherwise.
void waitMs(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

qint64 sentShown(GatewayView *view, int modems)
{
    qint64 sum = 0;
    for (int n = 1; n <= modems; ++n)
        sum += view->cell(n, ColumnSent).toLongLong();
    return sum;
}

// Workers of the worker server, passed through so the time the gateway spends on a send result
// (moving the row, claiming the next one and handing it over) can be taken: the gateway's
// handler runs inside the re-emitted signal.
struct Timing
{
    qint64 handlingNs = 0;
    qint64 handled = 0;
    std::function<void()> afterResult; // lets the run end on its last result instead of polling
};

class TimedWorker : public WorkerHandle
{
public:
    TimedWorker(std::unique_ptr<WorkerHandle> inner, Timing *timing)
        : m_inner(std::move(inner)), m_timing(timing)
    {
        WorkerHandle *w = m_inner.get();
        connect(w, &WorkerHandle::statusChanged, this, &WorkerHandle::statusChanged);
        connect(w, &WorkerHandle::statusReport, this, &WorkerHandle::statusReport);
        connect(w, &WorkerHandle::messagesReceived, this, &WorkerHandle::messagesReceived);
        connect(w, &WorkerHandle::receiptsReceived, this, &WorkerHandle::receiptsReceived);
        connect(w, &WorkerHandle::callReceived, this, &WorkerHandle::callReceived);
        connect(w, &WorkerHandle::serverLost, this, &WorkerHandle::serverLost);
        connect(w, &WorkerHandle::sendReport, this, [this](const QString &id, const QString &r) {
            QElapsedTimer t;
            t.start();
            emit sendReport(id, r);
            m_timing->handlingNs += t.nsecsElapsed();
            ++m_timing->handled;
            if (m_timing->afterResult)
                m_timing->afterResult();
        });
    }
    int comport() const override { return m_inner->comport(); }
    void setComport(int port) override { m_inner->setComport(port); }
    void setSettings(const QString &s) override { m_inner->setSettings(s); }
    void setSmsservice(const QString &n) override { m_inner->setSmsservice(n); }
    void connectDevice(int wait, bool autoRev) override { m_inner->connectDevice(wait, autoRev); }
    QString sendsmsA(const QString &id, const QString &msg, const QString &mbno, int report,
                     bool validity, int waitSeconds) override
    {
        return m_inner->sendsmsA(id, msg, mbno, report, validity, waitSeconds);
    }
    void readMsg() override { m_inner->readMsg(); }
    void closePort() override { m_inner->closePort(); }
    void ping() override { m_inner->ping(); }
    int lastError() const override { return m_inner->lastError(); }

private:
    std::unique_ptr<WorkerHandle> m_inner;
    Timing *m_timing;
};

class TimedFactory : public WorkerFactory
{
public:
    TimedFactory(WorkerFactory *inner, Timing *timing) : m_inner(inner), m_timing(timing) {}
    std::unique_ptr<WorkerHandle> create(int *error) override
    {
        std::unique_ptr<WorkerHandle> w = m_inner->create(error);
        return w ? std::make_unique<TimedWorker>(std::move(w), m_timing) : nullptr;
    }
    void endServer() override { m_inner->endServer(); }
    QString errorText(int number) const override { return m_inner->errorText(number); }

private:
    WorkerFactory *m_inner;
    Timing *m_timing;
};

bool runOnce(db::test::TestEngine engine, const Options &o)
{
    const QString name = db::test::engineName(engine);
    QTemporaryDir dir;
    const QString home = dir.filePath(u"home"_s);
    const QString prefix = dir.filePath(u"prefix"_s);
    QDir().mkpath(home + u"/report"_s);
    qputenv("LONVERA_PREFIX", prefix.toUtf8());
    QString reason;
    const QString connection = db::test::freshDatabase(engine, dir, &reason);
    if (connection.isEmpty()) {
        std::printf("%s: skipped (%s)\n", qPrintable(name), qPrintable(reason));
        return true;
    }
    db::Database check(u"bench-check"_s);
    if (!check.open(connection).ok())
        return false;
    {
        QSqlDatabase c = check.connection();
        c.transaction();
        QSqlQuery q(c);
        q.exec(u"UPDATE comset SET InUseing='启用' WHERE id<=%1"_s.arg(o.modems));
        // Due a minute ago: a row becomes due only once the clock has passed the second it names,
        // and the run should measure sending, not that first second.
        const QString due =
            QDateTime::currentDateTime().addSecs(-60).toString(u"yyyy-MM-dd HH:mm:ss"_s);
        q.prepare(u"INSERT INTO outbox (Mbno, Msg, SendTime) VALUES (?, ?, ?)"_s);
        for (int i = 0; i < o.messages; ++i) {
            q.addBindValue(u"86139%1"_s.arg(i % 100000000, 8, 10, QChar(u'0')));
            q.addBindValue(u"bench message %1"_s.arg(i));
            q.addBindValue(due);
            q.exec();
        }
        c.commit();
    }
    QFile ini(home + u"/set.ini"_s);
    ini.open(QIODevice::WriteOnly);
    ini.write(u"[Ocxdb]\ndatabase=%1\n[ocx]\nVer=1\n"_s.arg(connection).toUtf8());
    ini.close();

    const QString bin = QCoreApplication::applicationDirPath();
    QProcess emulator;
    QStringList args{u"--modems"_s, QString::number(o.modems), u"--prefix"_s, prefix};
    if (o.networkMs > 0) {
        QFile profile(dir.filePath(u"profile.json"_s));
        profile.open(QIODevice::WriteOnly);
        profile.write(QByteArray("{\"networkDelayMs\": ") + QByteArray::number(o.networkMs) + "}");
        profile.close();
        args << u"--profile"_s << profile.fileName();
    }
    emulator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    emulator.start(bin + u"/modem-emulator"_s, args);
    int lines = 0;
    while (lines < o.modems && emulator.waitForReadyRead(10000)) {
        while (emulator.canReadLine() && emulator.readLine().size() > 0)
            ++lines;
    }
    if (lines < o.modems) {
        std::printf("%s: the emulator did not start\n", qPrintable(name));
        return false;
    }

    ClientWorkerFactory factory;
    Timing timing;
    TimedFactory timed(&factory, &timing);
    bool ok = true;
    {
        ServerApp app(home, &timed);
        if (app.start(1, 0, 0) != ServerApp::StartResult::Running) {
            std::printf("%s: the server did not start\n", qPrintable(name));
            return false;
        }
        Gateway *gateway = app.gateway();
        gateway->connectAll();
        QElapsedTimer connecting;
        connecting.start();
        auto allConnected = [&] {
            for (int n = 1; n <= o.modems; ++n) {
                if (!gateway->slot(n).connected)
                    return false;
            }
            return true;
        };
        while (!allConnected() && connecting.elapsed() < 60000)
            waitMs(20);
        const qint64 sent0 = sentShown(app.view(), o.modems);
        const qint64 worker = factory.serverPid();
        const QList<qint64> backends =
            engine == db::test::TestEngine::PostgreSql ? backendPids(check) : QList<qint64>();
        auto othersCpu = [&] {
            double s = processCpuSeconds(worker);
            for (qint64 pid : backends)
                s += processCpuSeconds(pid);
            return s;
        };
        const double self0 = selfCpuSeconds();
        const double others0 = othersCpu();
        QElapsedTimer clock;
        clock.start();
        const qint64 limitMs = qint64(o.messages) * qMax(o.networkMs, 200) + 120000;
        // Woken by the last result rather than by polling, so this process's CPU is the
        // gateway's own.
        QEventLoop finished;
        timing.afterResult = [&] {
            if (timing.handled >= o.messages && sentShown(app.view(), o.modems) >= o.messages)
                finished.quit();
        };
        QTimer::singleShot(limitMs, &finished, &QEventLoop::quit);
        if (sentShown(app.view(), o.modems) < o.messages)
            finished.exec();
        timing.afterResult = nullptr;
        const double seconds = double(clock.nsecsElapsed()) / 1e9;
        const double selfCpu = selfCpuSeconds() - self0;
        const double othersCpuUsed = othersCpu() - others0;
        const qint64 done = sentShown(app.view(), o.modems) - sent0;
        QSqlQuery q(check.connection());
        q.exec(u"select count(*) from SendedOutBox"_s);
        q.next();
        const qint64 stored = q.value(0).toLongLong();
        ok = stored == o.messages;

        const double perSecond = double(done) / seconds;
        std::printf("%s, %d modems, network %d ms: %lld messages in %.1f s (%lld before all were "
                    "connected), %lld in SendedOutBox\n",
                    qPrintable(name), o.modems, o.networkMs, static_cast<long long>(done), seconds,
                    static_cast<long long>(sent0), static_cast<long long>(stored));
        std::printf("  %.1f messages/s in all, %.2f per port, %.1f per minute per port\n",
                    perSecond, perSecond / o.modems, perSecond / o.modems * 60);
        std::printf("  CPU per message: %.3f ms (server and %s %.3f, worker server%s %.3f)\n",
                    (selfCpu + othersCpuUsed) * 1000 / double(qMax<qint64>(done, 1)),
                    engine == db::test::TestEngine::Sqlite ? "SQLite" : "client",
                    selfCpu * 1000 / double(qMax<qint64>(done, 1)),
                    backends.isEmpty() ? "" : " and PostgreSQL",
                    othersCpuUsed * 1000 / double(qMax<qint64>(done, 1)));
        std::printf("  gateway's handling of a result (row moved, next row claimed and handed "
                    "over): %.2f ms on average\n",
                    timing.handled > 0 ? double(timing.handlingNs) / double(timing.handled) / 1e6
                                       : 0.0);
        std::fflush(stdout);
        gateway->requestClose();
    }
    emulator.terminate();
    emulator.waitForFinished(5000);
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    Options o;
    const QStringList a = QCoreApplication::arguments();
    for (qsizetype i = 1; i + 1 < a.size(); i += 2) {
        bool ok = true;
        if (a[i] == u"--modems"_s)
            o.modems = a[i + 1].toInt(&ok);
        else if (a[i] == u"--messages"_s)
            o.messages = a[i + 1].toInt(&ok);
        else if (a[i] == u"--network-ms"_s)
            o.networkMs = a[i + 1].toInt(&ok);
        else if (a[i] == u"--engine"_s)
            o.engine = a[i + 1];
        else
            ok = false;
        if (!ok) {
            std::fprintf(stderr, "usage: bench_server [--modems N] [--messages N] "
                                 "[--network-ms MS] [--engine sqlite|postgresql|all]\n");
            return 2;
        }
    }
    if (a.size() % 2 == 0 || o.modems < 1 || o.modems > 16 || o.messages < 1) {
        std::fprintf(stderr, "bench_server: --modems 1..16, --messages > 0, options in pairs\n");
        return 2;
    }
    bool ok = true;
    if (o.engine != u"postgresql"_s)
        ok = runOnce(db::test::TestEngine::Sqlite, o) && ok;
    if (o.engine != u"sqlite"_s)
        ok = runOnce(db::test::TestEngine::PostgreSql, o) && ok;
    return ok ? 0 : 1;
}
