// See modem_info_replies.h.
#include "control/replies/modem_info_replies.h"

#include "control/pdu/reply_fields.h"
#include "control/pdu/ucs2.h"

#include <QStringList>

#include <initializer_list>

namespace lonvera::control {

namespace {

QString removeAll(QString text, std::initializer_list<const char *> words)
{
    for (const char *word : words)
        text.remove(QLatin1String(word), Qt::CaseSensitive);
    return text;
}

QStringList cleanLines(const QString &text)
{
    QStringList lines;
    for (QStringView piece : QStringView(text).split(QLatin1Char('\n')))
        lines.append(pdu::StripControls(piece));
    return lines;
}

QString firstLongerThan(const QString &text, int length)
{
    for (const QString &line : cleanLines(text))
        if (line.size() > length)
            return line;
    return {};
}

// The number after "+86" (the "+" and at most 13 more digits), or the first quoted text when the
// modem gives the centre in another form.
QString centreIn(QStringView text)
{
    const qsizetype at = text.indexOf(QLatin1String("+86"));
    if (at >= 0) {
        qsizetype end = at + 1;
        while (end < text.size() && end < at + 14 && text[end].isDigit())
            ++end;
        return text.sliced(at, end - at).toString();
    }
    const qsizetype open = text.indexOf(QLatin1Char('"'));
    const qsizetype close = open < 0 ? -1 : text.indexOf(QLatin1Char('"'), open + 1);
    if (close < 0)
        return {};
    return text.sliced(open + 1, close - open - 1).trimmed().toString();
}

} // namespace

QString parseCgmm(const QString &reply)
{
    const QStringList lines =
        cleanLines(removeAll(reply, {"at", "cgmm", "CGMM", "AT", "+", "OK", " "}));
    for (qsizetype i = lines.size() - 1; i >= 0; --i)
        if (lines[i].size() > 2)
            return lines[i];
    return {};
}

QString parseCgmi(const QString &reply)
{
    return firstLongerThan(removeAll(reply, {"at", "cgmi", "CGMI", "AT", "+", " "}), 3);
}

QString parseCgmr(const QString &reply)
{
    return pdu::StripControls(removeAll(reply, {"at", "cgmr", "CGMR", "AT", "+", "OK", " ", "\n"}));
}

QString parseCgsn(const QString &reply)
{
    return firstLongerThan(removeAll(reply, {"at", "cgsn", "CGSN", "AT", "+", " "}), 6);
}

QString parseCscaWhole(const QString &reply)
{
    return centreIn(removeAll(reply, {"at", "CSCA", "csca", "AT", "OK", " "}));
}

QString parseCscaLines(const QString &reply)
{
    QString result;
    for (const QString &line :
         cleanLines(removeAll(reply, {"at", "csca", "CSCA", "AT", "OK", " "}))) {
        if (line.size() <= 11)
            continue;
        const QString centre = centreIn(line);
        if (!centre.isEmpty())
            result = centre;
    }
    return result;
}

QString parseCscsRead(const QString &reply)
{
    const qsizetype at = reply.indexOf(QLatin1String("+CSCS:"), 0, Qt::CaseInsensitive);
    if (at < 0)
        return {};
    const qsizetype open = reply.indexOf(QLatin1Char('"'), at);
    const qsizetype lineEnd = reply.indexOf(QLatin1Char('\n'), at);
    const qsizetype close = open < 0 ? -1 : reply.indexOf(QLatin1Char('"'), open + 1);
    if (close < 0 || (lineEnd >= 0 && close > lineEnd))
        return {};
    return reply.mid(open + 1, close - open - 1);
}

QString parseCpbrRange(const QString &reply)
{
    for (QStringView line : QStringView(reply).split(QLatin1Char('\n'))) {
        if (!line.contains(QLatin1String("+CPBR")) && !line.contains(QLatin1String("+cpbr")))
            continue;
        const qsizetype open = line.indexOf(QLatin1Char('('));
        const qsizetype close = line.indexOf(QLatin1Char(')'));
        if (open < 0 || close <= open)
            return {};
        return line.sliced(open + 1, close - open - 1)
            .toString()
            .replace(QLatin1Char('-'), QLatin1Char(','));
    }
    return {};
}

QString parseCpbrEntries(const QString &reply)
{
    QString result;
    for (QStringView line : QStringView(reply).split(QLatin1Char('\n'))) {
        if (!line.contains(QLatin1String("+CPBR")) && !line.contains(QLatin1String("+cpbr")))
            continue;
        if (line.contains(QLatin1String("at+cpbr"), Qt::CaseInsensitive))
            continue; // the echo of our own command
        const QList<QStringView> pieces = line.split(QLatin1Char('"'));
        if (pieces.size() < 4)
            continue; // no quoted number and name: not an entry
        if (!result.isEmpty())
            result += QChar(1);
        result += pdu::Ucs2HexToText(pieces[3]) + QChar(2) + pieces[1].toString();
    }
    return result;
}

} // namespace lonvera::control
