// Brevin, the gateway server. "--headless" runs the core without a window: run-log lines go to
// standard output, messages to standard error, and SIGTERM or SIGINT run the close sequence;
// device commands come on standard input (headless_commands.h).
// "--home DIR" names the program folder (settings files, database, report folder).
#include "platform/paths.h"
#include "server/core/server_app.h"
#include "server/headless_commands.h"
#include "server/worker_factory.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
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

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"Brevin"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(LONVERA_VERSION));

    const QStringList arguments = QCoreApplication::arguments().mid(1);
    bool headless = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == u"--headless"_s) {
            headless = true;
        } else if (arguments[i] == u"--home"_s && i + 1 < arguments.size()) {
            lonvera::platform::setProgramFolder(arguments[++i]);
        } else {
            std::fprintf(stderr, "usage: Brevin [--headless] [--home DIR]\n");
            return 2;
        }
    }
    if (!headless)
        std::fprintf(stderr, "Brevin: no window is built yet; running headless\n");

    auto factory = makeWorkerFactory();
    ServerApp server(lonvera::platform::programFolder(), factory.get());
    GatewayView *view = server.view();
    QObject::connect(&view->runLog(), &RunLog::lineAppended,
                     [](const QString &line) { print(stdout, line); });
    QObject::connect(view, &GatewayView::messageShown,
                     [](const QString &text) { print(stderr, text); });

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return 1;
    QSocketNotifier notifier(g_signalPipe[0], QSocketNotifier::Read);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    const QStringList version = QCoreApplication::applicationVersion().split(u'.');
    const ServerApp::StartResult result =
        server.start(version.value(0).toInt(), version.value(1).toInt(), version.value(2).toInt());
    switch (result) {
    case ServerApp::StartResult::AnotherRuns:
        return 0;
    case ServerApp::StartResult::PortInUse:
        return 1;
    case ServerApp::StartResult::LoadFailed:
        // Without a window there is nobody to keep the server up for.
        return 1;
    case ServerApp::StartResult::Running:
        break;
    }
    print(stdout, view->caption());

    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&] {
        char byte;
        [[maybe_unused]] const auto got = ::read(g_signalPipe[0], &byte, 1);
        server.gateway()->requestClose();
    });
    QObject::connect(server.gateway(), &Gateway::closed, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    HeadlessCommands commands(STDIN_FILENO, server.gateway(),
                              [](const QString &text) { print(stderr, text); });
    return app.exec();
}
