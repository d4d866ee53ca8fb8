// modem-emulator: serves N emulated GSM modems under <prefix>/dosdevices until interrupted.
#include "emulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>
#include <QStringList>
#include <QTextStream>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    // Only async-signal-safe calls here; the event loop picks the byte up.
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

// "MS" or "MIN-MAX", both whole milliseconds, MIN <= MAX.
bool parseDelayRange(const QString &text, int *minMs, int *maxMs)
{
    const QStringList parts = text.split(QLatin1Char('-'));
    if (parts.size() > 2)
        return false;
    bool ok1 = false;
    bool ok2 = false;
    *minMs = parts[0].toInt(&ok1);
    *maxMs = parts.size() == 2 ? parts[1].toInt(&ok2) : *minMs;
    if (parts.size() == 1)
        ok2 = true;
    return ok1 && ok2 && *minMs >= 0 && *maxMs >= *minMs;
}

} // namespace

int main(int argc, char *argv[])
{
    using namespace lonvera::emulator;
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("modem-emulator"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Emulated GSM modems on pseudo-terminals, linked as <prefix>/dosdevices/comN."));
    parser.addHelpOption();
    const QCommandLineOption modemsOpt(QStringLiteral("modems"),
                                       QStringLiteral("Number of modems (default 1)."),
                                       QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption prefixOpt(
        QStringLiteral("prefix"),
        QStringLiteral("Machine prefix (default $LONVERA_PREFIX or ~/.lonvera)."),
        QStringLiteral("DIR"));
    const QCommandLineOption profileOpt(QStringLiteral("profile"),
                                        QStringLiteral("Device profile file (.json or .ini)."),
                                        QStringLiteral("FILE"));
    const QCommandLineOption firstOpt(QStringLiteral("first-com"),
                                      QStringLiteral("COM number of the first modem (default 1)."),
                                      QStringLiteral("K"), QStringLiteral("1"));
    const QCommandLineOption wireOpt(
        QStringLiteral("wire-log"),
        QStringLiteral("Write every PDU the modems accepted or refused and every message the "
                       "network carried to FILE, one JSON object per line."),
        QStringLiteral("FILE"));
    const QCommandLineOption delayOpt(
        QStringLiteral("network-delay"),
        QStringLiteral("Time the network takes per message before \"+CMGS:\", in milliseconds; "
                       "MIN-MAX draws each message's time from that range."),
        QStringLiteral("MS"));
    parser.addOptions({modemsOpt, prefixOpt, profileOpt, firstOpt, wireOpt, delayOpt});
    parser.process(app);

    QTextStream err(stderr);
    QTextStream out(stdout);
    EmulatorOptions options;
    bool ok1 = false;
    bool ok2 = false;
    options.modems = parser.value(modemsOpt).toInt(&ok1);
    options.firstCom = parser.value(firstOpt).toInt(&ok2);
    if (!ok1 || !ok2 || options.modems < 1 || options.firstCom < 1) {
        err << "modem-emulator: --modems and --first-com take positive numbers\n";
        return 2;
    }
    options.prefix = parser.value(prefixOpt);
    if (options.prefix.isEmpty())
        options.prefix = qEnvironmentVariable("LONVERA_PREFIX");
    if (options.prefix.isEmpty())
        options.prefix = QDir::homePath() + QStringLiteral("/.lonvera");
    options.prefix = QDir(options.prefix).absolutePath();
    if (parser.isSet(profileOpt)) {
        QString why;
        if (!ProfileSet::load(parser.value(profileOpt), &options.profiles, &why)) {
            err << "modem-emulator: " << why << "\n";
            return 2;
        }
    }

    if (parser.isSet(delayOpt)) {
        int minMs = 0;
        int maxMs = 0;
        if (!parseDelayRange(parser.value(delayOpt), &minMs, &maxMs)) {
            err << "modem-emulator: --network-delay takes MS or MIN-MAX\n";
            return 2;
        }
        // The command line sets the default; a profile's own per-COM value still wins.
        options.profiles.defaults.networkDelayMs = minMs;
        options.profiles.defaults.networkDelayMaxMs = maxMs;
    }

    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) {
        err << "modem-emulator: cannot set up signal handling\n";
        return 1;
    }
    QSocketNotifier signalNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [] {
        char c = 0;
        [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &c, 1);
        QCoreApplication::quit();
    });
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    int rc = 0;
    {
        Emulator emulator;
        QString why;
        if (parser.isSet(wireOpt) && !emulator.openWireLog(parser.value(wireOpt), &why)) {
            err << "modem-emulator: " << why << "\n";
            return 1;
        }
        if (!emulator.start(options, &why)) {
            err << "modem-emulator: " << why << "\n";
            return 1;
        }
        for (int com : emulator.comNumbers())
            out << "COM" << com << " " << emulator.number(com) << " " << emulator.devicePath(com)
                << " " << emulator.linkPath(com) << "\n";
        out.flush();
        rc = app.exec();
    } // the links go with the emulator
    ::close(g_signalPipe[0]);
    ::close(g_signalPipe[1]);
    return rc;
}
