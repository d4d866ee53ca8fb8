// The long chaos run. Four emulated modems whose network takes 1 to 2 s per message; per case a
// queue of messages with unique texts and ten faults during the run: kill -9 of Brevin and a
// restart (once sending interrupted rows again, once parking them), SIGTERM and a restart, a
// device paused and started again; a PostgreSQL server stopped for 15 s and the SQLite file locked
// by another program for 40 s (two faults each), with the time from the fault's end until a modem
// takes a PDU again. Prints per case what went wrong, read from the wire log.
//
//   bench_chaos [--messages 250] [--faults 10] [--modems 4] [--network 1000-2000]
//               [--case kill|kill-at-most-once|term|pause|pg-stopped|sqlite-locked|worker-kill|
//                       worker-stop|unplug-1s|unplug-10s|unplug-60s|silent-60s|
//                       silent-for-good|line-noise|none|all]
//               [--details] [--logs DIR]
#include "server/core/tests/chaos_run.h"

#include <QCoreApplication>

#include <cstdio>

using namespace lonvera::server::test;
using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    ChaosOptions base;
    base.messages = 250;
    base.faults = 10;
    base.networkMinMs = 1000;
    base.networkMaxMs = 2000;
    base.quietMs = 60000;
    QString only = u"all"_s;
    bool details = false;
    const QStringList args = app.arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString value = args.value(i + 1);
        if (args[i] == u"--messages"_s)
            base.messages = value.toInt(), ++i;
        else if (args[i] == u"--faults"_s)
            base.faults = value.toInt(), ++i;
        else if (args[i] == u"--modems"_s)
            base.modems = value.toInt(), ++i;
        else if (args[i] == u"--network"_s) {
            base.networkMinMs = value.section(u'-', 0, 0).toInt();
            base.networkMaxMs = value.section(u'-', 1, 1).isEmpty()
                                    ? base.networkMinMs
                                    : value.section(u'-', 1, 1).toInt();
            ++i;
        } else if (args[i] == u"--case"_s)
            only = value, ++i;
        else if (args[i] == u"--details"_s)
            details = true;
        else if (args[i] == u"--logs"_s)
            base.keepLogsIn = value, ++i;
        else {
            std::fprintf(stderr,
                         "usage: bench_chaos [--messages N] [--faults N] [--modems N] "
                         "[--network MIN-MAX] [--case NAME|all] [--details] [--logs DIR]\n");
            return 2;
        }
    }
    struct Case
    {
        const char *name;
        Fault fault;
        bool atMostOnce;
        int faultMs = 0; ///< database cases: how long the fault lasts
        int faults = 0;  ///< database cases: how many (each is long)
    };
    const Case cases[] = {{"none", Fault::None, false},
                          {"kill", Fault::Kill, false},
                          {"kill-at-most-once", Fault::Kill, true},
                          {"term", Fault::Terminate, false},
                          {"pause", Fault::PauseStart, false},
                          {"pg-stopped", Fault::DbStopped, false, 15000, 2},
                          {"sqlite-locked", Fault::DbLocked, false, 40000, 2},
                          {"worker-kill", Fault::WorkerKilled, false},
                          {"worker-stop", Fault::WorkerStopped, false},
                          {"unplug-1s", Fault::Unplugged, false, 1000, 3},
                          {"unplug-10s", Fault::Unplugged, false, 10000, 3},
                          {"unplug-60s", Fault::Unplugged, false, 60000, 1},
                          {"silent-60s", Fault::Silent, false, 60000, 1},
                          {"silent-for-good", Fault::Silent, false, -1, 1},
                          {"line-noise", Fault::LineNoise, false, 5000, 3}};
    std::printf("%-20s %8s %6s %6s %6s %9s %6s %9s %8s %6s %11s %8s\n", "case", "messages",
                "faults", "lost", "twice", "sent-not", "stuck", "bad-sent", "unknown", "false",
                "resume-s", "seconds");
    int rc = 0;
    for (const Case &c : cases) {
        if (only != u"all"_s && only != QLatin1String(c.name))
            continue;
        if (only == u"all"_s && c.fault == Fault::None)
            continue; // the baseline only when asked for
        ChaosOptions options = base;
        options.fault = c.fault;
        options.atMostOnce = c.atMostOnce;
        if (c.faultMs != 0) {
            options.faultMs = c.faultMs;
            options.faults = std::min(options.faults, c.faults);
        }
        ChaosFigures f;
        QString error;
        if (!runChaos(options, &f, &error)) {
            std::fprintf(stderr, "%s: %s\n", c.name, qPrintable(error));
            return 1;
        }
        // Resume: mean/longest seconds from a fault's end to the next PDU taken.
        const QString resume =
            f.resumed > 0 ? u"%1/%2"_s.arg(double(f.resumeSumMs) / f.resumed / 1000, 0, 'f', 1)
                                .arg(double(f.resumeMaxMs) / 1000, 0, 'f', 1)
                          : u"-"_s;
        std::printf("%-20s %8d %6d %6d %6d %9d %6d %9d %8d %6d %11s %8.0f\n", c.name, f.messages,
                    f.faults, f.lost, f.sentTwice, f.notSent, f.stuck, f.badButSent, f.unknown,
                    f.falseFailures, qPrintable(resume), double(f.elapsedMs) / 1000);
        std::fflush(stdout);
        if (details && !f.ends.isEmpty()) {
            QStringList each;
            for (const FaultEnd &end : f.ends) {
                const QString seconds = QString::number(double(end.ms) / 1000, 'f', 1);
                each << (end.kind == FaultEnd::Kind::Resumed        ? seconds
                         : end.kind == FaultEnd::Kind::QueueEmptied ? u"(queue empty)"_s
                                                                    : u"NOT-RESUMED"_s);
            }
            std::printf("    resume per fault (s): %s\n", qPrintable(each.join(u' ')));
        }
        if (details) {
            for (const QString &line : f.details)
                std::printf("    %s\n", qPrintable(line));
        }
        if (!f.clean())
            rc = 3;
    }
    return rc;
}
