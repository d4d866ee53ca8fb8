// See report_lines.h.
#include "control/replies/report_lines.h"

#include "control/pdu/reply_fields.h"

namespace lonvera::control {

namespace {

const QLatin1String kCds("+CDS");
const QLatin1String kCdsi("+CDSI");

// A "+CDS" at pos that is not the start of "+CDSI".
bool isDirectAt(const QString &buffer, qsizetype pos)
{
    return !QStringView(buffer).sliced(pos).startsWith(kCdsi);
}

// Where the PDU line of a "+CDS" notice at pos ends (one past its line feed), with the line;
// -1 when the notice is not complete yet.
qsizetype directEnd(const QString &buffer, qsizetype pos, QString *pduLine)
{
    const qsizetype headerEnd = buffer.indexOf(QLatin1Char('\n'), pos);
    if (headerEnd < 0)
        return -1;
    // Some modems put an empty line between the notice and its PDU.
    qsizetype lineStart = headerEnd + 1;
    for (;;) {
        const qsizetype lineEnd = buffer.indexOf(QLatin1Char('\n'), lineStart);
        if (lineEnd < 0)
            return -1;
        const QString line =
            pdu::StripControls(QStringView(buffer).sliced(lineStart, lineEnd - lineStart));
        if (!line.isEmpty()) {
            *pduLine = line;
            return lineEnd + 1;
        }
        lineStart = lineEnd + 1;
    }
}

int storedIndex(QStringView line)
{
    for (QStringView piece : line.split(QLatin1Char(','))) {
        bool ok = false;
        const int value = piece.trimmed().toInt(&ok);
        if (ok && value >= 0)
            return value;
    }
    return -1;
}

} // namespace

QList<ReportNotice> findDirectReports(const QString &buffer)
{
    QList<ReportNotice> found;
    qsizetype pos = buffer.indexOf(kCds);
    while (pos >= 0) {
        qsizetype next = pos + kCds.size();
        if (isDirectAt(buffer, pos)) {
            ReportNotice notice;
            const qsizetype end = directEnd(buffer, pos, &notice.pduLine);
            if (end > 0) {
                notice.begin = pos;
                notice.end = end;
                found.append(notice);
                next = end;
            }
        }
        pos = buffer.indexOf(kCds, next);
    }
    return found;
}

QList<ReportNotice> findStoredReports(const QString &buffer)
{
    QList<ReportNotice> found;
    qsizetype pos = buffer.indexOf(kCdsi);
    while (pos >= 0) {
        const qsizetype lineEnd = buffer.indexOf(QLatin1Char('\n'), pos);
        if (lineEnd < 0)
            break;
        ReportNotice notice;
        notice.begin = pos;
        notice.end = lineEnd + 1;
        notice.index = storedIndex(QStringView(buffer).sliced(pos, lineEnd - pos));
        found.append(notice);
        pos = buffer.indexOf(kCdsi, notice.end);
    }
    return found;
}

qsizetype incompleteDirectReport(const QString &buffer)
{
    qsizetype pos = buffer.indexOf(kCds);
    while (pos >= 0) {
        QString line;
        qsizetype next = pos + kCds.size();
        if (isDirectAt(buffer, pos)) {
            const qsizetype end = directEnd(buffer, pos, &line);
            if (end < 0)
                return pos;
            next = end;
        }
        pos = buffer.indexOf(kCds, next);
    }
    return -1;
}

qsizetype incompleteStoredReport(const QString &buffer)
{
    const qsizetype pos = buffer.lastIndexOf(kCdsi);
    if (pos < 0 || buffer.indexOf(QLatin1Char('\n'), pos) >= 0)
        return -1;
    return pos;
}

QString withoutNotices(const QString &buffer, const QList<ReportNotice> &notices)
{
    QString out;
    out.reserve(buffer.size());
    qsizetype from = 0;
    for (const ReportNotice &n : notices) {
        out += QStringView(buffer).sliced(from, n.begin - from);
        from = n.end;
    }
    out += QStringView(buffer).sliced(from);
    return out;
}

} // namespace lonvera::control
