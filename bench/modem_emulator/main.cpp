// Throughput of the modem emulator: 16 modems, each port sends the next "at" as soon as the
// previous "OK" arrived, for a few seconds; then the CPU the emulator's thread used while all 16
// ports stayed open and idle.
#include "emulator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <memory>

using namespace lonvera::emulator;

namespace {

// CPU seconds of the emulator's thread, read on that thread.
double emulatorThreadCpu(Emulator &emulator, int com)
{
    double seconds = 0;
    emulator.updateProfile(com, [&](ModemProfile &) {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        seconds = double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
    });
    return seconds;
}

double processCpu()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int modems = 16;
    const int seconds = argc > 1 ? QByteArray(argv[1]).toInt() : 5;
    QTemporaryDir dir;
    Emulator emulator;
    emulator.startInThread();
    EmulatorOptions options;
    options.prefix = dir.path();
    options.modems = modems;
    options.firstCom = 61;
    QString why;
    if (!emulator.start(options, &why)) {
        std::fprintf(stderr, "cannot start: %s\n", qPrintable(why));
        return 1;
    }

    std::vector<std::unique_ptr<QSerialPort>> ports;
    std::vector<QByteArray> buffers(modems);
    long long commands = 0;
    bool running = true;
    for (int i = 0; i < modems; ++i) {
        auto port = std::make_unique<QSerialPort>(emulator.linkPath(61 + i));
        port->setBaudRate(115200);
        if (!port->open(QIODevice::ReadWrite)) {
            std::fprintf(stderr, "cannot open COM%d\n", 61 + i);
            return 1;
        }
        QSerialPort *p = port.get();
        QObject::connect(p, &QSerialPort::readyRead, p, [&, p, i] {
            buffers[size_t(i)] += p->readAll();
            if (buffers[size_t(i)].contains("OK\r\n")) {
                buffers[size_t(i)].clear();
                ++commands;
                if (running)
                    p->write("at+cmgf=?\r\n");
            }
        });
        ports.push_back(std::move(port));
    }

    const double threadBefore = emulatorThreadCpu(emulator, 61);
    const double processBefore = processCpu();
    QElapsedTimer wall;
    wall.start();
    for (auto &p : ports)
        p->write("at+cmgf=?\r\n");
    QTimer::singleShot(seconds * 1000, &app, [&] {
        running = false;
        QTimer::singleShot(100, &app, &QCoreApplication::quit);
    });
    app.exec();
    const double elapsed = double(wall.elapsed()) / 1000.0;
    const double threadBusy = emulatorThreadCpu(emulator, 61) - threadBefore;
    const double processBusy = processCpu() - processBefore;
    std::printf("busy: %d modems, %lld commands in %.2f s = %.0f commands/s\n", modems, commands,
                elapsed, double(commands) / elapsed);
    std::printf("busy: emulator thread CPU %.2f s (%.1f%% of one core, %.1f us per command); "
                "whole process incl. the 16 ports %.2f s\n",
                threadBusy, 100.0 * threadBusy / elapsed, 1e6 * threadBusy / double(commands),
                processBusy);

    // Idle: ports open, nothing sent.
    const double idleBefore = emulatorThreadCpu(emulator, 61);
    QTimer::singleShot(3000, &app, &QCoreApplication::quit);
    app.exec();
    const double idle = emulatorThreadCpu(emulator, 61) - idleBefore;
    std::printf("idle: emulator thread CPU %.4f s over 3 s with 16 ports open\n", idle);
    return 0;
}
