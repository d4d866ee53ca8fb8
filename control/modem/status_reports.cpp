// See status_reports.h.
#include "control/modem/status_reports.h"

#include "control/modem/modem_context.h"
#include "control/pdu/reply_fields.h"
#include "control/pdu/status_report.h"
#include "control/replies/report_lines.h"

#include <QScopedValueRollback>
#include <QTimer>

#include <algorithm>

namespace lonvera::control {

StatusReports::StatusReports(ModemContext &context) : m_context(context)
{
    // Direct connections: a report that arrives while an operation waits is taken out of the
    // buffer before that operation's next command empties it.
    QObject::connect(&context.exchange, &Exchange::dataReceived, &context, [this] {
        if (m_context.isBusy())
            keepForLater();
    });
    QObject::connect(&context, &ModemContext::statusChange, &context, [this] { onStatusChange(); });
}

void StatusReports::onStatusChange()
{
    if (m_context.isBusy()) {
        // A report that came just before this operation started would be lost with the
        // buffer its first command empties. Our own reads take their notices themselves.
        if (!m_handling)
            keepForLater();
        return;
    }
    if ((!m_pendingLines.isEmpty() || !m_pendingIndexes.isEmpty()) && !m_deferredQueued) {
        m_deferredQueued = true;
        QTimer::singleShot(0, &m_context, [this] { runDeferred(); });
    }
}

void StatusReports::keepForLater()
{
    Exchange &exchange = m_context.exchange;
    const QString &buffer = exchange.replyBuffer();
    if (!buffer.contains(QLatin1String("+CDS")))
        return;
    QList<ReportNotice> notices = findDirectReports(buffer);
    for (const ReportNotice &n : std::as_const(notices))
        m_pendingLines.append(n.pduLine);
    const QList<ReportNotice> stored = findStoredReports(buffer);
    for (const ReportNotice &n : stored)
        if (n.index >= 0 && !m_pendingIndexes.contains(n.index))
            m_pendingIndexes.append(n.index);
    if (notices.isEmpty() && stored.isEmpty())
        return;
    notices.append(stored);
    std::sort(notices.begin(), notices.end(),
              [](const ReportNotice &a, const ReportNotice &b) { return a.begin < b.begin; });
    exchange.setReplyBuffer(withoutNotices(buffer, notices));
}

void StatusReports::runDeferred()
{
    m_deferredQueued = false;
    if (m_context.isBusy())
        return; // the operation's end queues us again
    const QStringList lines = std::exchange(m_pendingLines, {});
    for (const QString &line : lines)
        addRecord(pdu::DecodeReportLine(line));
    if (m_pendingIndexes.isEmpty())
        return;
    const QList<int> indexes = std::exchange(m_pendingIndexes, {});
    {
        QScopedValueRollback handling(m_handling, true);
        ModemContext::BusyScope busy(m_context);
        for (int index : indexes)
            readStoredIndex(index);
    }
}

void StatusReports::readDirectReport()
{
    ModemContext &c = m_context;
    if (c.isBusy()) {
        keepForLater();
        return;
    }
    QList<ReportNotice> notices;
    {
        QScopedValueRollback handling(m_handling, true);
        ModemContext::BusyScope busy(c);
        Exchange &exchange = c.exchange;
        const bool complete = exchange.waitUntil(
            [](const QString &buffer) { return incompleteDirectReport(buffer) < 0; },
            DirectLineWaitMs);
        const QString &buffer = exchange.replyBuffer();
        notices = findDirectReports(buffer);
        QString rest = withoutNotices(buffer, notices);
        if (!complete) {
            // The rest of the report never came: drop the fragment, so that every later
            // arrival does not wait for it again.
            const qsizetype at = incompleteDirectReport(rest);
            if (at >= 0)
                rest.truncate(at);
        }
        // Decoded reports leave the buffer; a later notification must not report them again.
        exchange.setReplyBuffer(rest);
    }
    for (const ReportNotice &n : std::as_const(notices))
        addRecord(pdu::DecodeReportLine(n.pduLine));
}

void StatusReports::readStoredReport()
{
    ModemContext &c = m_context;
    if (c.isBusy()) {
        keepForLater();
        return;
    }
    {
        QScopedValueRollback handling(m_handling, true);
        ModemContext::BusyScope busy(c);
        Exchange &exchange = c.exchange;
        const bool complete = exchange.waitUntil(
            [](const QString &buffer) { return incompleteStoredReport(buffer) < 0; },
            StoredLineWaitMs);
        const QList<ReportNotice> notices = findStoredReports(exchange.replyBuffer());
        QString rest = withoutNotices(exchange.replyBuffer(), notices);
        if (!complete) {
            const qsizetype at = incompleteStoredReport(rest);
            if (at >= 0)
                rest.truncate(at);
        }
        exchange.setReplyBuffer(rest);
        exchange.discardInput();
        QList<int> done;
        for (const ReportNotice &n : notices) {
            if (n.index < 0 || done.contains(n.index))
                continue;
            done.append(n.index);
            m_pendingIndexes.removeAll(n.index);
            readStoredIndex(n.index);
        }
    }
}

void StatusReports::readStoredIndex(int index)
{
    Exchange &exchange = m_context.exchange;
    exchange.writeCommand(QStringLiteral("at+cmgr=") + QString::number(index));
    addRecordsOf(exchange.waitReply(12));
    exchange.writeCommand(QStringLiteral("at+cmgd=") + QString::number(index));
    exchange.waitReply(3);
}

void StatusReports::addRecordsOf(const QString &reply)
{
    for (QStringView piece : QStringView(reply).split(QLatin1Char('\n'))) {
        const QString line = pdu::StripControls(piece);
        if (line.size() > 33)
            addRecord(pdu::DecodeReportLine(line));
    }
}

void StatusReports::addRecord(const QString &record)
{
    ModemContext &c = m_context;
    if (record.size() <= 10)
        return;
    if (!c.reportBuffer.isEmpty())
        c.reportBuffer += QChar(2);
    c.reportBuffer += record;
    emit c.revReport();
    if (!c.timerReport.isActive())
        c.timerReport.start();
}

QVariant StatusReports::newReport()
{
    const QString records = m_context.reportBuffer;
    m_context.reportBuffer.clear();
    return records;
}

QVariant StatusReports::getReportAll(const QVariant &startIs, const QVariant &strCodeIs)
{
    return pdu::get_report_all(startIs.toInt(), strCodeIs.toString());
}

void StatusReports::onTimerReport()
{
    if (m_context.reportBuffer.size() > 10)
        emit m_context.revReport();
    else
        m_context.timerReport.stop();
}

} // namespace lonvera::control
