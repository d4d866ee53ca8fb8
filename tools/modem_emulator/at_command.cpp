// AT command-line parsing; pure functions.
#include "at_command.h"

namespace lonvera::emulator {

namespace {

bool isLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

char upper(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

// Blanks between the characters of a command carry no meaning (V.250 5.2.1), except inside a
// quoted string argument such as a phonebook name.
QByteArray withoutBlanks(QByteArrayView line, bool *quotesBalanced)
{
    QByteArray out;
    out.reserve(line.size());
    bool quoted = false;
    for (char c : line) {
        if (c == '"')
            quoted = !quoted;
        if (!quoted && (c == ' ' || c == '\t'))
            continue;
        out.append(c);
    }
    *quotesBalanced = !quoted;
    return out;
}

// Returns the end of a Set command's argument text: the first ';' outside quotes, or the end.
qsizetype argumentEnd(const QByteArray &text, qsizetype from)
{
    bool quoted = false;
    for (qsizetype i = from; i < text.size(); ++i) {
        if (text[i] == '"')
            quoted = !quoted;
        else if (!quoted && text[i] == ';')
            return i;
    }
    return text.size();
}

} // namespace

AtCommandLine parseCommandLine(QByteArrayView line)
{
    AtCommandLine result;
    bool balanced = true;
    const QByteArray text = withoutBlanks(line, &balanced);
    if (!balanced || text.size() < 2 || upper(text[0]) != 'A' || upper(text[1]) != 'T')
        return result;

    qsizetype i = 2;
    while (i < text.size()) {
        AtCommand cmd;
        const char c = text[i];
        if (c == ';') {
            ++i;
            continue;
        }
        if (c == '+' || c == '^' || c == '$' || c == '%') {
            // Extended command: a prefix character and a name of letters, digits and a few marks.
            qsizetype j = i + 1;
            while (j < text.size() && (isLetter(text[j]) || isDigit(text[j]) || text[j] == '!' ||
                                       text[j] == '%' || text[j] == '-' || text[j] == '.' ||
                                       text[j] == '/' || text[j] == ':' || text[j] == '_'))
                ++j;
            if (j == i + 1)
                return result;
            cmd.name = text.mid(i, j - i).toUpper();
            i = j;
            if (i + 1 < text.size() && text[i] == '=' && text[i + 1] == '?') {
                cmd.syntax = AtSyntax::Test;
                i += 2;
            } else if (i < text.size() && text[i] == '?') {
                cmd.syntax = AtSyntax::Read;
                ++i;
            } else if (i < text.size() && text[i] == '=') {
                cmd.syntax = AtSyntax::Set;
                const qsizetype end = argumentEnd(text, i + 1);
                cmd.args = text.mid(i + 1, end - i - 1);
                i = end;
            }
            if (i < text.size() && text[i] != ';')
                return result;
        } else if (upper(c) == 'D') {
            // A dial string runs to the end of the line; its ';' marks a voice call.
            cmd.name = "D";
            cmd.args = text.mid(i + 1);
            i = text.size();
        } else if (c == '&' || isLetter(c)) {
            qsizetype j = i + 1;
            if (c == '&') {
                if (j >= text.size() || !isLetter(text[j]))
                    return result;
                ++j;
            }
            cmd.name = text.mid(i, j - i).toUpper();
            if (cmd.name == "S") {
                // S-register: Sn?, Sn=v
                qsizetype k = j;
                while (k < text.size() && isDigit(text[k]))
                    ++k;
                if (k == j)
                    return result;
                cmd.name += text.mid(j, k - j);
                j = k;
                if (j < text.size() && text[j] == '?') {
                    cmd.syntax = AtSyntax::Read;
                    ++j;
                } else if (j < text.size() && text[j] == '=') {
                    cmd.syntax = AtSyntax::Set;
                    qsizetype v = j + 1;
                    while (v < text.size() && isDigit(text[v]))
                        ++v;
                    cmd.args = text.mid(j + 1, v - j - 1);
                    j = v;
                }
            } else {
                qsizetype k = j;
                while (k < text.size() && isDigit(text[k]))
                    ++k;
                cmd.args = text.mid(j, k - j);
                j = k;
            }
            i = j;
        } else {
            return result;
        }
        result.commands.append(cmd);
    }
    result.valid = true;
    return result;
}

QList<QByteArray> splitArguments(QByteArrayView args)
{
    QList<QByteArray> out;
    QByteArray current;
    bool quoted = false;
    for (char c : args) {
        if (c == '"')
            quoted = !quoted;
        if (c == ',' && !quoted) {
            out.append(current);
            current.clear();
            continue;
        }
        current.append(c);
    }
    out.append(current);
    return out;
}

QByteArray unquote(QByteArrayView value)
{
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        return value.sliced(1, value.size() - 2).toByteArray();
    return value.toByteArray();
}

bool parseNumber(QByteArrayView text, int *value)
{
    if (text.isEmpty() || text.size() > 9)
        return false;
    int v = 0;
    for (char c : text) {
        if (!isDigit(c))
            return false;
        v = v * 10 + (c - '0');
    }
    *value = v;
    return true;
}

} // namespace lonvera::emulator
