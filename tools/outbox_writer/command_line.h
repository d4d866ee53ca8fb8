// The outbox writer for scripts: the same rows as the window writes, from arguments, with no
// window and no display needed.
//   Pelton --db FILE | --connection STRING  --to NUMBER --text TEXT [--count N]
//          [--at "yyyy-mm-dd hh:mm:ss"] [--report]      writes rows, prints their ids
//   Pelton --db FILE | --connection STRING  --list      prints the outbox rows
// "--text -" reads the text from standard input (UTF-8; one final line break is dropped).
// Exit status 0 on success, 1 when the database fails (the reason on standard error), 2 for bad
// arguments (one line of usage on standard error).
#pragma once

#include "tools/outbox_writer/outbox_rows.h"

#include <QIODevice>
#include <QStringList>

#include <variant>

namespace lonvera::outbox_writer {

/// The one line of usage.
QString usageLine();

struct WriteCommand
{
    QString connectionString;
    OutboxRequest request;
    bool textFromInput = false; ///< "--text -": the text comes from standard input
};

struct ListCommand
{
    QString connectionString;
};

struct HelpCommand
{
};

/// Why the arguments make no command.
struct ArgumentError
{
    QString reason;
};

using Command = std::variant<WriteCommand, ListCommand, HelpCommand, ArgumentError>;

/// The command of the arguments (without the program name).
Command parseArguments(const QStringList &arguments);

/// Runs the command line; input is standard input, output and errors the two output streams.
int runCommandLine(const QStringList &arguments, QIODevice &input, QIODevice &output,
                   QIODevice &errors);

/// A message text as one line of the list: tab, line break and backslash written as \t, \n, \\.
QString listField(const QString &value);

} // namespace lonvera::outbox_writer
