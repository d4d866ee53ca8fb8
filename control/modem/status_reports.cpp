// See status_reports.h. Reading reports from the modem comes with the next step.
#include "control/modem/status_reports.h"

#include "control/modem/modem_context.h"
#include "control/pdu/status_report.h"

namespace lonvera::control {

void StatusReports::readDirectReport() {}

void StatusReports::readStoredReport() {}

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
