// Status reports: reading "+CDS" (direct) and "+CDSI" (stored) reports, decoding them into
// records, collecting them for NewReport and repeating OnRevReport while they wait.
// Lives on its control's thread; no locks.
#pragma once

#include <QString>
#include <QVariant>

namespace lonvera::control {

class ModemContext;

class StatusReports
{
public:
    explicit StatusReports(ModemContext &context) : m_context(context) {}

    /// "+CDS" seen in ReplyBuffer (from the receive handler while not busy, or from WaitReply).
    void readDirectReport();
    /// "+CDSI" seen in ReplyBuffer (from the receive handler while not busy, or from WaitReply).
    /// Its wait for the rest of the line is bounded.
    void readStoredReport();
    QVariant newReport();
    QVariant getReportAll(const QVariant &startIs, const QVariant &strCodeIs);
    /// Timer_report tick.
    void onTimerReport();

private:
    ModemContext &m_context;
};

} // namespace lonvera::control
