// Leaks on purpose, from a slot the Qt event loop calls, the way nearly all our code runs. The CI
// script builds it with LeakSanitizer and the project's suppressions and expects it to fail: if it
// passes, the suppressions hide leaks of our own and the leak check is worth nothing.
#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

namespace {

QObject *volatile g_sink = nullptr;

void leakOnce()
{
    // Unparented and overwritten: nothing frees it.
    g_sink = new QObject;
    g_sink = nullptr;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTimer::singleShot(0, &app, [] {
        leakOnce();
        QCoreApplication::quit();
    });
    const int result = QCoreApplication::exec();
    std::puts("leak_probe: leaked one QObject");
    return result;
}
