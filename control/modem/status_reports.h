// Status reports: reading "+CDS" (direct) and "+CDSI" (stored) reports, decoding them into
// records, collecting them for NewReport and repeating OnRevReport while they wait.
//
// A report that turns up while another operation owns the port is taken out of the reply buffer
// (so the running command neither loses it nor reads it as part of its reply) and handled as soon
// as that operation has ended: a direct report is decoded then, a stored one is read then.
// Lives on its control's thread; no locks.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace lonvera::control {

class ModemContext;

class StatusReports
{
public:
    explicit StatusReports(ModemContext &context);

    /// "+CDS" seen in ReplyBuffer (from the receive handler while not busy, or from WaitReply).
    void readDirectReport();
    /// "+CDSI" seen in ReplyBuffer (from the receive handler while not busy, or from WaitReply).
    /// Its wait for the rest of the line is bounded.
    void readStoredReport();
    QVariant newReport();
    QVariant getReportAll(const QVariant &startIs, const QVariant &strCodeIs);
    /// Timer_report tick.
    void onTimerReport();

    /// How long a report's missing lines are awaited before the rest is taken as lost.
    static constexpr int DirectLineWaitMs = 600;
    static constexpr int StoredLineWaitMs = 3000;

private:
    /// Appends a record of more than 10 characters, raises OnRevReport, starts Timer_report.
    void addRecord(const QString &record);
    void addRecordsOf(const QString &reply);
    /// Takes the complete notices out of ReplyBuffer into the pending lists (while busy).
    void keepForLater();
    void onStatusChange();
    void runDeferred();
    /// "at+cmgr=i", decode, "at+cmgd=i".
    void readStoredIndex(int index);

    ModemContext &m_context;
    QStringList m_pendingLines;  ///< report PDU lines of "+CDS" seen while busy
    QList<int> m_pendingIndexes; ///< storage indexes of "+CDSI" seen while busy
    bool m_deferredQueued = false;
    bool m_handling = false; ///< one of our own reads is taking Isbusy
};

} // namespace lonvera::control
