// See modem_info_replies.h.
#include "control/replies/modem_info_replies.h"

#include "control/pdu/hex.h"
#include "control/pdu/ucs2.h"
#include "control/replies/reply_fields.h"

#include <QStringList>

namespace lonvera::control {

namespace {

// The reply's lines with the command's own "+NAME:" in front removed, and without blanks and
// control characters; none when the modem refused the command.
QStringList infoLines(const Reply &reply, QLatin1String prefix)
{
    QStringList lines;
    if (reply.final.isError())
        return lines;
    for (const QString &raw : reply.lines) {
        QStringView line(raw);
        if (line.startsWith(prefix, Qt::CaseInsensitive))
            line = line.sliced(prefix.size());
        lines.append(pdu::StripControls(line));
    }
    return lines;
}

QString firstLongerThan(const QStringList &lines, int length)
{
    for (const QString &line : lines)
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

QString parseCgmm(const Reply &reply)
{
    const QStringList lines = infoLines(reply, QLatin1String("+CGMM:"));
    for (qsizetype i = lines.size() - 1; i >= 0; --i)
        if (lines[i].size() > 2)
            return lines[i];
    return {};
}

QString parseCgmi(const Reply &reply)
{
    return firstLongerThan(infoLines(reply, QLatin1String("+CGMI:")), 3);
}

QString parseCgmr(const Reply &reply)
{
    return infoLines(reply, QLatin1String("+CGMR:")).join(QString());
}

QString parseCgsn(const Reply &reply)
{
    return firstLongerThan(infoLines(reply, QLatin1String("+CGSN:")), 6);
}

QString parseCscaWhole(const Reply &reply)
{
    return centreIn(infoLines(reply, QLatin1String("")).join(QLatin1Char('\n')));
}

QString parseCscaLines(const Reply &reply)
{
    QString result;
    for (const QString &line : infoLines(reply, QLatin1String(""))) {
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
