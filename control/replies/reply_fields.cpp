// Small parsers of AT reply fragments.
#include "control/replies/reply_fields.h"

#include "control/pdu/hex.h"

#include <QStringList>

#include <algorithm>

namespace lonvera::control {

int CpmsField(QStringView text, int n)
{
    qsizetype comma = text.indexOf(QLatin1Char(','));
    if (comma < 0)
        return -1;
    if (n == 2) {
        comma = text.indexOf(QLatin1Char(','), comma + 1);
        if (comma < 0)
            return -1;
    }
    const qsizetype next = text.indexOf(QLatin1Char(','), comma + 1);
    if (next < 0)
        return -1;
    const QString field = pdu::StripControls(text.sliced(comma + 1, next - comma - 1));
    if (field.isEmpty() || field.size() > 9)
        return -1;
    for (const QChar c : field) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
    }
    const int value = field.toInt();
    return value > 200 ? -1 : value;
}

QString CpmsStorage(QStringView text)
{
    const qsizetype at = text.indexOf(QLatin1String("+CPMS:"), 0, Qt::CaseInsensitive);
    if (at < 0)
        return {};
    const qsizetype open = text.indexOf(QLatin1Char('"'), at);
    const qsizetype close = open < 0 ? -1 : text.indexOf(QLatin1Char('"'), open + 1);
    const qsizetype lineEnd = text.indexOf(QLatin1Char('\n'), at);
    if (close < 0 || (lineEnd >= 0 && close > lineEnd))
        return {};
    return text.sliced(open + 1, close - open - 1).trimmed().toString().toUpper();
}

namespace {

// The number field of one "+CLCC" line, empty when it has none.
QString clccLineNumber(QStringView line)
{
    for (const QStringView field : line.tokenize(QLatin1Char(','))) {
        if (field.size() > 4 && !field.contains(QLatin1String("CLCC")))
            return field.toString().remove(QLatin1Char('"'));
    }
    return {};
}

// 3GPP TS 27.007 7.18: +CLCC: <id>,<dir>,<stat>,... ; -1 when the third field is no state.
int clccLineState(QStringView line)
{
    const qsizetype colon = line.indexOf(QLatin1Char(':'));
    const QList<QStringView> fields = line.sliced(colon + 1).split(QLatin1Char(','));
    if (fields.size() < 3)
        return -1;
    bool ok = false;
    const int state = fields[2].trimmed().toInt(&ok);
    return ok ? state : -1;
}

} // namespace

QString ClccNumber(QStringView text)
{
    // With a call in progress and a second one waiting, the one that rings is the caller, not
    // the first listed.
    QString first;
    for (const QStringView line : text.tokenize(QLatin1Char('\n'))) {
        if (line.size() <= 12 || !line.contains(QLatin1String("CLCC")))
            continue;
        const QString number = clccLineNumber(line);
        if (number.isEmpty())
            continue;
        const int state = clccLineState(line);
        if (state == 4 || state == 5)
            return number;
        if (first.isEmpty() && state < 0)
            first = number;
    }
    return first.isEmpty() ? QStringLiteral("0000") : first;
}

} // namespace lonvera::control
