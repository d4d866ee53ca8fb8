// The server's start with the desktop session: an XDG autostart entry named after the program
// title ($XDG_CONFIG_HOME/autostart/Lonvera.desktop, else ~/.config/autostart/...). Writing it
// replaces only that one file and removing it deletes only that file, so other programs'
// entries in the folder stay as they are. Any thread; no shared state.
#pragma once

#include <QString>
#include <QStringList>

namespace lonvera::ui {

class Autostart
{
public:
    /// The entry's file for the program title.
    static QString entryPath();
    /// True when the entry exists.
    static bool isSet();
    /// Writes the entry to start `program` with `arguments`; false when it cannot be written.
    static bool write(const QString &program, const QStringList &arguments = {});
    /// Deletes the entry; true when it is gone (also when there was none).
    static bool remove();

    /// The program and arguments that start the server of `programFolder` again: its Brevin,
    /// or the running executable told where the folder is when Brevin is not in it.
    static QStringList commandFor(const QString &programFolder, const QString &runningExecutable);

    /// One argument of an Exec line, quoted where the desktop-entry rules require it.
    static QString execArgument(const QString &argument);
    /// The Exec value for program and arguments, with the value escapes of a desktop entry.
    static QString execLine(const QStringList &command);
};

} // namespace lonvera::ui
