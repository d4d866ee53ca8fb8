// Unsolicited status-report results as they stand in the reply buffer: "+CDS" with the report
// PDU on the next line (direct), and "+CDSI" naming a storage index (stored).
// Pure functions; any thread.
#pragma once

#include <QList>
#include <QString>

namespace lonvera::control {

/// One complete unsolicited result found in a buffer: where it stands and what it carries.
struct ReportNotice
{
    qsizetype begin = 0; ///< position of its "+CDS" / "+CDSI"
    qsizetype end = 0;   ///< one past its last line feed
    QString pduLine;     ///< "+CDS": the report PDU line, control characters removed
    int index = -1;      ///< "+CDSI": the storage index, -1 when the line names none
};

/// Every complete "+CDS" result (the notice line and a non-empty PDU line, each ended by a line
/// feed) in buffer order; "+CDSI" lines are not taken.
QList<ReportNotice> findDirectReports(const QString &buffer);

/// Every complete "+CDSI" line (ended by a line feed) in buffer order. The index is the first
/// comma field that reads as a whole number, blanks around it allowed ("+CDSI: "SR",3" gives 3).
QList<ReportNotice> findStoredReports(const QString &buffer);

/// Where a "+CDS" result whose lines have not all arrived yet starts; -1 when there is none.
qsizetype incompleteDirectReport(const QString &buffer);
/// Where a "+CDSI" line without its line feed starts; -1 when there is none.
qsizetype incompleteStoredReport(const QString &buffer);

/// The buffer without the spans of the notices (which must be in buffer order and not overlap).
QString withoutNotices(const QString &buffer, const QList<ReportNotice> &notices);

} // namespace lonvera::control
