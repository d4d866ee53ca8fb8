// AT command-line parsing for the emulated modems: a pure function from one line of text (as
// typed after "AT") to the commands it holds. No state, no I/O; safe on any thread.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

namespace lonvera::emulator {

// ITU-T V.250 5.4: an extended command comes in four forms.
enum class AtSyntax {
    Action, // AT+CGMM, ATA, ATE1
    Set,    // AT+CMGF=0
    Read,   // AT+CPMS?
    Test,   // AT+CNMI=?
};

struct AtCommand
{
    QByteArray name; // upper case: "+CMGF", "&W", "E", "D", "A"
    AtSyntax syntax = AtSyntax::Action;
    QByteArray args; // blanks outside quotes removed; quotes kept ("\"SM\",1"); basic: the digits
};

struct AtCommandLine
{
    bool valid = false;
    QList<AtCommand> commands; // empty for a bare "AT"
};

// Parses one command line without its terminating carriage return. The line must begin with "AT"
// in either case; blanks outside quoted strings are ignored, as modems do. A dial command ("D")
// takes the rest of the line, its ";" included.
AtCommandLine parseCommandLine(QByteArrayView line);

// Splits the arguments of a Set command at commas outside quotes; each piece keeps its quotes.
QList<QByteArray> splitArguments(QByteArrayView args);

// Removes one pair of surrounding double quotes, if present.
QByteArray unquote(QByteArrayView value);

// Parses a decimal integer argument (surrounding quotes not allowed); false when not a number.
bool parseNumber(QByteArrayView text, int *value);

} // namespace lonvera::emulator
