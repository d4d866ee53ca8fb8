// Throughput of the worker server: N workers (16) of a spawned Tarvex80 drive N emulated modems
// that answer at once; every worker sends its next one-part message as soon as its last one is
// reported, with waittm 0, until M messages (1,000) are sent in all. Prints messages per second
// against the bound set by the designed delays (100 ms deferral plus two 38 ms halves), and the
// CPU per message of this process (client and emulator) and of Tarvex80.
// Usage: bench_worker [messages] [workers]
#include "emulator.h"
#include "worker/client/endpoint.h"
#include "worker/client/qxsms.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

using lonvera::worker::client::QXSms;

namespace {

constexpr double kDeferralMs = 100;
constexpr double kWaitHalvesMs = 2 * 38;

double ownCpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// User plus system time of another process of ours, from /proc/<pid>/stat; -1 when unreadable.
double processCpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // The command name may hold blanks; the fields after it are plain numbers.
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0)
        return -1;
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    // After the name: state is field 3 of the whole line, utime 14 and stime 15.
    if (fields.size() < 13)
        return -1;
    const double ticks = double(fields[11].toLongLong() + fields[12].toLongLong());
    return ticks / double(::sysconf(_SC_CLK_TCK));
}

bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int messages = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    const int workers = argc > 2 ? std::clamp(std::atoi(argv[2]), 1, 16) : 16;

    QTemporaryDir prefix;
    // The spawned Tarvex80 inherits the prefix, so it opens the same emulated COM ports.
    qputenv("LONVERA_PREFIX", prefix.path().toLocal8Bit());
    if (!lonvera::worker::client::registerServer(QStringLiteral(LONVERA_TARVEX80_PATH))) {
        std::fprintf(stderr, "cannot register %s\n", LONVERA_TARVEX80_PATH);
        return 1;
    }

    lonvera::emulator::Emulator emulator;
    emulator.startInThread();
    lonvera::emulator::EmulatorOptions options;
    options.prefix = prefix.path();
    options.modems = workers;
    QString error;
    if (!emulator.start(options, &error)) {
        std::fprintf(stderr, "emulator: %s\n", qPrintable(error));
        return 1;
    }

    std::vector<std::unique_ptr<QXSms>> pool;
    int connected = 0;
    for (int com = 1; com <= workers; ++com) {
        std::unique_ptr<QXSms> worker = QXSms::create();
        if (!worker) {
            std::fprintf(stderr, "create failed: %s\n",
                         qPrintable(lonvera::worker::client::lastError().description));
            return 1;
        }
        QObject::connect(worker.get(), &QXSms::OnOtherReport, [&connected](const QVariant &v) {
            if (v.toString().startsWith(QStringLiteral("成功连接设备")))
                ++connected;
        });
        worker->setComport(static_cast<qint16>(com));
        worker->Connect(9);
        pool.push_back(std::move(worker));
    }
    if (!waitUntil([&] { return connected == workers; }, 120000)) {
        std::fprintf(stderr, "only %d of %d workers connected\n", connected, workers);
        return 1;
    }

    // Each worker takes the next message when its last one is reported, as the dispatcher does.
    // The loop ends on the last report (no polling, so the figures hold only the work).
    QEventLoop run;
    int issued = 0;
    int reported = 0;
    int failed = 0;
    const QString to = QStringLiteral("13912345678"); // outside the emulated network: no delivery
    auto sendNext = [&](QXSms *worker) {
        if (issued >= messages)
            return;
        const QString id = QString::number(++issued);
        const QString answer =
            worker->SendsmsA(id, QStringLiteral("bench message ") + id, to, 0, false, 0).toString();
        if (answer != QLatin1String("y")) {
            std::fprintf(stderr, "SendsmsA %s answered \"%s\" (error %d)\n", qPrintable(id),
                         qPrintable(answer), worker->lastError().number);
            ++failed;
            if (++reported >= messages)
                run.quit();
        }
    };
    for (auto &worker : pool) {
        QXSms *w = worker.get();
        QObject::connect(w, &QXSms::OnSendReport, [&, w](const QString &id, const QString &r) {
            if (++reported >= messages)
                run.quit();
            if (r != QLatin1String("y")) {
                std::fprintf(stderr, "message %s: %s\n", qPrintable(id), qPrintable(r));
                ++failed;
            }
            sendNext(w);
        });
    }

    const qint64 serverPid = pool.front()->serverPid();
    const double serverCpuStart = processCpuSeconds(serverPid);
    const double ownCpuStart = ownCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    for (auto &worker : pool)
        sendNext(worker.get());
    QTimer::singleShot(messages * 2000, &run, &QEventLoop::quit);
    if (reported < messages)
        run.exec();
    const bool finished = reported >= messages;
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    const double ownCpu = ownCpuSeconds() - ownCpuStart;
    const double serverCpu = processCpuSeconds(serverPid) - serverCpuStart;

    const double perWorkerBound = 1000.0 / (kDeferralMs + kWaitHalvesMs);
    const double bound = perWorkerBound * workers;
    const double rate = reported / seconds;
    std::printf("workers %d, messages %d (%d failed) in %.2f s\n", workers, reported, failed,
                seconds);
    std::printf("throughput %.1f msg/s; bound %.1f msg/s (%.2f per worker); %.1f%% of bound\n",
                rate, bound, perWorkerBound, 100.0 * rate / bound);
    std::printf("per message per worker: %.1f ms (designed delays %.0f ms)\n",
                1000.0 * seconds * workers / std::max(reported, 1), kDeferralMs + kWaitHalvesMs);
    std::printf("CPU per message: bench process (client + emulator) %.3f ms, Tarvex80 %.3f ms\n",
                1000.0 * ownCpu / std::max(reported, 1),
                serverCpu < 0 ? -1.0 : 1000.0 * serverCpu / std::max(reported, 1));

    pool.clear();
    lonvera::worker::client::quitWorkerServer(5000);
    return finished && failed == 0 ? 0 : 1;
}
