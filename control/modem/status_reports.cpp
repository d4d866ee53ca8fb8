// See status_reports.h.
#include "control/modem/status_reports.h"

#include "control/modem/modem_context.h"
#include "control/pdu/hex.h"
#include "control/pdu/status_report.h"
#include "control/replies/reply_fields.h"

#include <QTimer>

namespace lonvera::control {

StatusReports::StatusReports(ModemContext &context) : m_context(context)
{
    QObject::connect(&context, &ModemContext::portReleased, &context, [this] {
        if (!m_pending.isEmpty())
            queueStoredReads();
    });
}

void StatusReports::onDirectReport(const QString &pduLine)
{
    addReportLine(pduLine);
}

void StatusReports::onStoredReport(const QString &storage, int index)
{
    if (index < 0)
        return;
    const StoredReport report{storage, index};
    if (!m_pending.contains(report))
        m_pending.append(report);
    queueStoredReads();
}

void StatusReports::queueStoredReads()
{
    if (m_readQueued)
        return;
    // Run once the notification (or the operation that owns the port) has returned.
    m_readQueued = true;
    QTimer::singleShot(0, &m_context, [this] {
        m_readQueued = false;
        readStoredReports();
    });
}

void StatusReports::readStoredReports()
{
    ModemContext &c = m_context;
    // Busy: the operation's end brings us back. Closed: the next operation opens the port again,
    // and its end brings us back.
    if (c.isBusy() || m_pending.isEmpty() || !c.exchange.isOpen())
        return;
    ModemContext::PortClaim claim(c);
    if (!claim)
        return;
    ModemContext::BusyScope busy(c);
    while (!m_pending.isEmpty()) {
        const StoredReport report = m_pending.takeFirst();
        if (!readStored(report) && !c.exchange.isOpen()) {
            m_pending.prepend(report); // the port went: read once it is back, not lost here
            break;
        }
    }
}

bool StatusReports::readStored(const StoredReport &report)
{
    Exchange &exchange = m_context.exchange;
    if (exchange.ensureOpen() != 0)
        return false;
    exchange.discardInput();

    // The index belongs to the storage the notice names. Reading or deleting it in the message
    // storage would take an unread message instead, so the storage is selected for the read and
    // the one the modem had is put back afterwards.
    QString previous;
    if (!report.storage.isEmpty()) {
        exchange.writeCommand(QStringLiteral("at+cpms?"));
        exchange.waitReply(6);
        previous = CpmsStorage(exchange.replyText());
        if (previous.compare(report.storage, Qt::CaseInsensitive) != 0) {
            exchange.writeCommand(QStringLiteral("at+cpms=\"") + report.storage + QLatin1Char('"'));
            exchange.waitReply(6);
            if (!exchange.reply().final.isOk())
                return false;
        } else {
            previous.clear();
        }
    }

    exchange.writeCommand(QStringLiteral("at+cmgr=") + QString::number(report.index));
    exchange.waitReply(12);
    const bool read = exchange.reply().final.isOk();
    if (read) {
        for (const QString &line : exchange.reply().lines) {
            const QString clean = pdu::StripControls(line);
            if (clean.size() > 33)
                addReportLine(clean);
        }
        exchange.writeCommand(QStringLiteral("at+cmgd=") + QString::number(report.index));
        exchange.waitReply(3);
    }

    if (!previous.isEmpty()) {
        exchange.writeCommand(QStringLiteral("at+cpms=\"") + previous + QLatin1Char('"'));
        exchange.waitReply(6);
    }
    return read;
}

void StatusReports::addReportLine(const QString &line)
{
    // The centre is still trying: neither "delivered" nor "not delivered" is true yet, and the
    // final report follows.
    if (pdu::isTemporaryStatus(pdu::reportLineStatus(line)))
        return;
    addRecord(pdu::DecodeReportLine(line));
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
