// Send throughput of one modem control: an emulated modem on its own thread answers every
// command at once; the control sends N one-part texts, then N three-part texts (UCS2, 3 x 67
// characters). Prints messages and parts per second, and CPU per message of the whole process
// (control and emulator) and of the control's own thread.
// Usage: bench_control_send [messages]
#include "control/tarvex.h"
#include "emulator.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include <sys/resource.h>

using lonvera::control::Tarvex;
using Clock = std::chrono::steady_clock;

namespace {

double cpuSeconds(int who)
{
    rusage usage{};
    ::getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool run(Tarvex &control, const char *label, const QString &text, int messages, int parts)
{
    const double processStart = cpuSeconds(RUSAGE_SELF);
    const double threadStart = cpuSeconds(RUSAGE_THREAD);
    const auto start = Clock::now();
    for (int i = 0; i < messages; ++i) {
        const QString result = control.Sendsms(text, QStringLiteral("13912345678"), 0);
        if (result != QLatin1String("y")) {
            std::fprintf(stderr, "send %d failed: %s\n", i, qPrintable(result));
            return false;
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double process = cpuSeconds(RUSAGE_SELF) - processStart;
    const double thread = cpuSeconds(RUSAGE_THREAD) - threadStart;
    std::printf("%-8s %5d messages  %8.1f msg/s  %8.1f parts/s  CPU/msg: process %.3f ms, "
                "control thread %.3f ms\n",
                label, messages, messages / seconds, messages * parts / seconds,
                1000.0 * process / messages, 1000.0 * thread / messages);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int messages = argc > 1 ? std::max(1, std::atoi(argv[1])) : 300;
    QTemporaryDir prefix;
    qputenv("LONVERA_PREFIX", prefix.path().toLocal8Bit());

    lonvera::emulator::Emulator emulator;
    emulator.startInThread();
    lonvera::emulator::EmulatorOptions options;
    options.prefix = prefix.path();
    options.firstCom = 1;
    QString error;
    if (!emulator.start(options, &error)) {
        std::fprintf(stderr, "emulator: %s\n", qPrintable(error));
        return 1;
    }

    Tarvex control;
    control.setCommPort(1);
    if (control.Connect(2) != QLatin1String("y")) {
        std::fprintf(stderr, "connect failed: %s\n", qPrintable(control.errmsg().toString()));
        return 1;
    }
    // Warm-up: the first send settles the remembered variant.
    control.Sendsms(QStringLiteral("warm-up"), QStringLiteral("13912345678"), 0);

    if (!run(control, "1-part", QStringLiteral("Your code is 123456, valid for 10 minutes."),
             messages, 1))
        return 1;
    if (!run(control, "3-part", QString(3 * 67, QChar(0x4E2D)), messages, 3))
        return 1;
    return 0;
}
