// Brevin, the gateway server. With a display it shows its window; "--headless" runs the same core
// without one: run-log lines go to standard output, messages to standard error, device commands
// come on standard input (headless_commands.h). Without a display and without "--headless" it
// says so and ends with status 2. SIGTERM or SIGINT run the close sequence in both forms.
// "--home DIR" names the program folder (settings files, database, report folder).
#include "platform/paths.h"
#include "server/core/server_app.h"
#include "server/headless_commands.h"
#include "server/ui/display_probe.h"
#include "server/ui/window_start.h"
#include "server/worker_factory.h"

#include <QApplication>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

using namespace lonvera::server;
using namespace Qt::StringLiterals;

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    // Only async-signal-safe work here: the event loop picks the byte up.
    [[maybe_unused]] const auto written = ::write(g_signalPipe[1], &byte, 1);
}

void print(FILE *stream, const QString &text)
{
    QString line = text;
    line.replace(u'\r', u'\n');
    // Reports and received records carry field separators (characters 1 and 2): a terminal
    // shows them as blanks.
    for (QChar &c : line) {
        if (c.unicode() < 0x20 && c != u'\n' && c != u'\t')
            c = u' ';
    }
    std::fputs(line.toUtf8().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

struct Options
{
    bool headless = false;
    const char *home = nullptr;
    bool valid = true;
};

// Read before any application object exists: whether there is to be a window decides which.
Options parseOptions(int argc, char *argv[])
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--headless") == 0)
            o.headless = true;
        else if (std::strcmp(argv[i], "--home") == 0 && i + 1 < argc)
            o.home = argv[++i];
        else
            o.valid = false;
    }
    return o;
}

// SIGTERM and SIGINT ask the gateway to close, through the event loop.
std::unique_ptr<QSocketNotifier> watchCloseSignals(ServerApp &server)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return nullptr;
    auto notifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, &server, [&server] {
        char byte;
        [[maybe_unused]] const auto got = ::read(g_signalPipe[0], &byte, 1);
        if (server.gateway())
            server.gateway()->requestClose();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    return notifier;
}

int runHeadless(QCoreApplication &app, ServerApp &server, const QStringList &version)
{
    GatewayView *view = server.view();
    QObject::connect(&view->runLog(), &RunLog::lineAppended,
                     [](const QString &line) { print(stdout, line); });
    QObject::connect(view, &GatewayView::messageShown,
                     [](const QString &text) { print(stderr, text); });
    const ServerApp::StartResult result =
        server.start(version.value(0).toInt(), version.value(1).toInt(), version.value(2).toInt());
    switch (result) {
    case ServerApp::StartResult::AnotherRuns:
        return 0;
    case ServerApp::StartResult::PortInUse:
    case ServerApp::StartResult::LoadFailed:
        // Without a window there is nobody to keep the server up for.
        return 1;
    case ServerApp::StartResult::Running:
        break;
    }
    print(stdout, view->caption());
    QObject::connect(server.gateway(), &Gateway::closed, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    HeadlessCommands commands(STDIN_FILENO, server.gateway(),
                              [](const QString &text) { print(stderr, text); });
    return app.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    const Options options = parseOptions(argc, argv);
    if (!options.valid) {
        std::fprintf(stderr, "usage: Brevin [--headless] [--home DIR]\n");
        return 2;
    }
    if (!options.headless) {
        const QString problem = lonvera::ui::displayProblem();
        if (!problem.isEmpty()) {
            std::fprintf(stderr, "Brevin: %s; start it with --headless to run without a window\n",
                         problem.toLocal8Bit().constData());
            return 2;
        }
    }

    std::unique_ptr<QCoreApplication> app;
    if (options.headless)
        app = std::make_unique<QCoreApplication>(argc, argv);
    else
        app = std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationName(u"Brevin"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(LONVERA_VERSION));
    if (options.home)
        lonvera::platform::setProgramFolder(QString::fromLocal8Bit(options.home));

    auto factory = makeWorkerFactory();
    ServerApp server(lonvera::platform::programFolder(), factory.get());
    const auto closeSignals = watchCloseSignals(server);
    if (!closeSignals)
        return 1;

    const QStringList version = QCoreApplication::applicationVersion().split(u'.');
    if (options.headless)
        return runHeadless(*app, server, version);
    return lonvera::ui::runWithWindow(static_cast<QApplication &>(*app), server,
                                      version.value(0).toInt(), version.value(1).toInt(),
                                      version.value(2).toInt());
}
