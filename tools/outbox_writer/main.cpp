// Pelton, the outbox writer: the window without arguments, the command line with them. The
// command line needs no display, so it never starts the window system.
#include "tools/outbox_writer/command_line.h"
#include "tools/outbox_writer/form1.h"
#include "tools/outbox_writer/prompts.h"

#include <QApplication>
#include <QFile>

#include <cstdio>

int main(int argc, char *argv[])
{
    using namespace lonvera::outbox_writer;
    if (argc > 1) {
        QCoreApplication app(argc, argv);
        QFile input, output, errors;
        input.open(stdin, QIODevice::ReadOnly);
        output.open(stdout, QIODevice::WriteOnly);
        errors.open(stderr, QIODevice::WriteOnly);
        return runCommandLine(app.arguments().mid(1), input, output, errors);
    }
    QApplication app(argc, argv);
    WidgetPrompts prompts;
    Form1 window(&prompts);
    QObject::connect(&window, &Form1::programEndRequested, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    window.show();
    return app.exec();
}
