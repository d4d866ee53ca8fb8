// Figures of the modem control's serial channel:
//  1. reply latency: from the moment the modem's final "OK" is written on the far end of a
//     pseudo-terminal (by another thread, as the emulator does) to WaitReply returning. Measured
//     three ways: with both threads on one core, on two different cores, and where the scheduler
//     puts them. The last is the figure of a real host, but it swings with the machine's load
//     and how deep the other core sleeps (a core woken from idle costs tens of microseconds), so
//     compare two builds by the pinned figures;
//  2. idle cost: 16 controls, each on its own thread, in a 10-second WaitReply on silent emulated
//     modems; the process CPU time over that window.
// Usage: bench_control [rounds]
#include "control/exchange/exchange.h"
#include "control/port/serial_port.h"
#include "emulator.h"
#include "platform/paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <pty.h>
#include <sched.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

using namespace lonvera::control;
using Clock = std::chrono::steady_clock;

namespace {

double cpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Pins the calling thread to one CPU; a negative number lets it run anywhere again.
void pinTo(int cpu)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (cpu < 0) {
        for (int i = 0; i < CPU_SETSIZE; ++i)
            CPU_SET(i, &set);
    } else {
        CPU_SET(cpu, &set);
    }
    ::pthread_setaffinity_np(::pthread_self(), sizeof set, &set);
}

// controlCpu and modemCpu: the cores of the two threads, -1 for anywhere.
void measureLatency(int rounds, const char *placement, int controlCpu, int modemCpu)
{
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::puts("openpty failed");
        return;
    }
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
    QDir().mkpath(lonvera::platform::dosDevicesFolder());
    const QString link = lonvera::platform::dosDevicesFolder() + QStringLiteral("/com1");
    QFile::remove(link);
    QFile::link(QString::fromLocal8Bit(name), link);

    // The modem: answers every command line with "OK" and notes when it wrote it.
    std::atomic<Clock::rep> writtenAt{0};
    std::atomic<bool> stop{false};
    std::thread modem([&] {
        pinTo(modemCpu);
        char buffer[256];
        while (!stop) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0)
                continue;
            if (std::find(buffer, buffer + n, '\r') == buffer + n)
                continue;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            writtenAt = Clock::now().time_since_epoch().count();
            if (::write(master, "\r\nOK\r\n", 6) < 0)
                break;
        }
    });

    pinTo(controlCpu);
    SerialPort port;
    port.setPortNumber(1);
    Exchange exchange(port);
    if (exchange.ensureOpen() != 0) {
        std::puts("cannot open the pseudo-terminal");
        stop = true;
        modem.join();
        return;
    }
    std::vector<double> micros;
    micros.reserve(size_t(rounds));
    for (int i = 0; i < rounds; ++i) {
        exchange.writeCommand(QStringLiteral("at"));
        const QString reply = exchange.waitReply(2);
        const auto returned = Clock::now().time_since_epoch().count();
        if (!reply.contains(QLatin1String("OK")))
            continue;
        micros.push_back(double(returned - writtenAt.load()) / 1000.0);
    }
    stop = true;
    modem.join();
    pinTo(-1);
    exchange.closePort();
    ::close(slave);
    ::close(master);
    if (micros.empty()) {
        std::puts("no replies");
        return;
    }
    std::sort(micros.begin(), micros.end());
    const auto at = [&](double q) { return micros[size_t(q * double(micros.size() - 1))]; };
    std::printf("reply latency (%s) over %zu replies: median %.1f us, p99 %.1f us, max %.1f us\n",
                placement, micros.size(), at(0.5), at(0.99), micros.back());
}

void measureIdle(const QString &prefix)
{
    constexpr int Controls = 16;
    constexpr int WaitSeconds = 10;
    lonvera::emulator::Emulator emulator;
    emulator.startInThread();
    lonvera::emulator::EmulatorOptions options;
    options.prefix = prefix;
    options.modems = Controls;
    options.firstCom = 1;
    options.profiles.defaults.silent = true;
    QString error;
    if (!emulator.start(options, &error)) {
        std::printf("emulator: %s\n", qPrintable(error));
        return;
    }

    std::vector<QThread *> threads;
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    for (int com = 1; com <= Controls; ++com) {
        QThread *thread = QThread::create([com, &ready, &go] {
            SerialPort port;
            port.setPortNumber(com);
            Exchange exchange(port);
            exchange.ensureOpen();
            ++ready;
            while (!go)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            exchange.writeCommand(QStringLiteral("at"));
            exchange.waitReply(WaitSeconds);
        });
        threads.push_back(thread);
        thread->start();
    }
    while (ready < Controls)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const double cpuBefore = cpuSeconds();
    const auto wallBefore = Clock::now();
    go = true;
    for (QThread *thread : threads) {
        thread->wait();
        delete thread;
    }
    const double wall = std::chrono::duration<double>(Clock::now() - wallBefore).count();
    const double cpu = cpuSeconds() - cpuBefore;
    std::printf("idle cost: %d controls in a %d s WaitReply on silent modems: %.3f s CPU in "
                "%.2f s wall = %.3f %% of one core\n",
                Controls, WaitSeconds, cpu, wall, 100.0 * cpu / wall);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir prefix;
    qputenv("LONVERA_PREFIX", prefix.path().toLocal8Bit());
    const int rounds = argc > 1 ? std::max(10, atoi(argv[1])) : 2000;
    measureLatency(rounds, "one core", 0, 0);
    if (std::thread::hardware_concurrency() > 1)
        measureLatency(rounds, "two cores", 0, 1);
    measureLatency(rounds, "unpinned", -1, -1);
    measureIdle(prefix.path());
    return 0;
}
