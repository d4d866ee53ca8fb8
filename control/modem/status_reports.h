// Status reports: "+CDS" (the report comes with the notice) and "+CDSI" (the report is stored and
// the notice names its storage and index), decoded into records, collected for NewReport, with
// OnRevReport repeated while they wait.
//
// A direct report needs no command, so it is decoded when its notice arrives, also in the middle
// of another operation. A stored report needs commands: it is read as soon as no operation owns
// the port, from the storage its notice names, and deleted there only once it has been read.
// Lives on its control's thread; no locks.
#pragma once

#include <QList>
#include <QString>
#include <QVariant>

namespace lonvera::control {

class ModemContext;

class StatusReports
{
public:
    explicit StatusReports(ModemContext &context);

    /// A "+CDS" notice with its PDU line.
    void onDirectReport(const QString &pduLine);
    /// A "+CDSI" notice: storage ("SR", "SM"; empty when unnamed) and index.
    void onStoredReport(const QString &storage, int index);
    QVariant newReport();
    QVariant getReportAll(const QVariant &startIs, const QVariant &strCodeIs);
    /// Timer_report tick.
    void onTimerReport();

private:
    struct StoredReport
    {
        QString storage;
        int index = -1;
        bool operator==(const StoredReport &) const = default;
    };

    /// Appends a record of more than 10 characters, raises OnRevReport, starts Timer_report.
    void addRecord(const QString &record);
    /// A report PDU line: a temporary status (the centre still tries) gives no record.
    void addReportLine(const QString &line);
    void queueStoredReads();
    void readStoredReports();
    /// Reads and deletes one stored report, in its own storage; false when it could not be read.
    bool readStored(const StoredReport &report);

    ModemContext &m_context;
    QList<StoredReport> m_pending; ///< stored reports waiting for the port
    bool m_readQueued = false;
};

} // namespace lonvera::control
