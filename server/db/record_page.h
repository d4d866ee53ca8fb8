// One page of the rows of any query, read on a connection of its own: the database side of the
// record lists (the server's device list, the outbox writer's list). The query runs once, forward
// only, in one pass: the rows before the page are skipped, the rows after it only counted, so at
// most one page of rows is ever held in memory however long the result is.
//
// Each call opens its own connection from the connection string (every form the server takes,
// with its 30-second connection time-out) under a name of its own and closes it before it
// returns, so calls are independent of the server's shared connection and of each other; any
// thread.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace lonvera::db {

/// What to read: the query, the fields wanted from each record, and the page.
struct PageRequest
{
    QString connectionString;
    QString query; ///< any statement that returns rows, in the connected engine's dialect
    /// Field names read from each record, in this order; looked up without regard to case, as
    /// PostgreSQL folds unquoted names to lower case.
    QStringList fields;
    /// Fields that may be missing from the result without making the read fail; their values
    /// are Null then (the device list's InUseing on a query that does not return it).
    QStringList optionalFields;
    int pageSize = 0;   ///< rows per page, at least 1
    int pageNumber = 1; ///< the page wanted, from 1; a page beyond the last one reads page 1
};

/// The rows read and where they lie in the whole result.
struct RecordPage
{
    QStringList fields;       ///< as requested
    QList<QVariantList> rows; ///< one value per field; isNull() for an SQL Null
    int pageNumber = 1;       ///< the page read (1 when the one asked for lies beyond the last)
    int pageCount = 0;        ///< 0 for an empty result
    qint64 recordCount = 0;   ///< rows of the whole result
    QString error;            ///< why nothing was read; empty on success

    bool ok() const { return error.isEmpty(); }
    bool hasPreviousPage() const { return pageNumber > 1; }
    bool hasNextPage() const { return pageNumber < pageCount; }
    /// The value of a requested field in row r, the name taken without regard to case (Null when
    /// the field was not requested).
    QVariant value(qsizetype r, const QString &field) const;
};

/// Reads one page. A page number below 1 counts as 1, a page size below 1 is an error.
RecordPage readRecordPage(const PageRequest &request);

/// Reads every row (the lists without paging); pageSize and pageNumber of the request are
/// ignored, and the result counts as its one page.
RecordPage readAllRecords(const PageRequest &request);

} // namespace lonvera::db
