// Paged reading. See record_page.h.
#include "server/db/record_page.h"

#include "server/db/database.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <atomic>
#include <limits>
#include <vector>

namespace lonvera::db {

namespace {

QString connectionName()
{
    static std::atomic<quint64> counter{0};
    return QStringLiteral("lonvera-record-page-%1").arg(++counter);
}

// Where each requested field sits in the result, or -1 for an optional field it lacks.
std::vector<int> fieldIndexes(const QSqlRecord &record, const PageRequest &request, QString *error)
{
    std::vector<int> indexes;
    indexes.reserve(std::size_t(request.fields.size()));
    for (const QString &field : request.fields) {
        const int index = record.indexOf(field);
        if (index < 0 && !request.optionalFields.contains(field, Qt::CaseInsensitive)) {
            *error = QStringLiteral("the query returns no field \"%1\"").arg(field);
            return {};
        }
        indexes.push_back(index);
    }
    return indexes;
}

QVariantList rowOf(const QSqlQuery &query, const std::vector<int> &indexes)
{
    QVariantList row;
    row.reserve(qsizetype(indexes.size()));
    for (int index : indexes)
        row << (index < 0 ? QVariant() : query.value(index));
    return row;
}

// The one pass over the result. pageSize 0 keeps every row. While the wanted page is not yet
// reached the rows of page 1 are kept, since the wanted page may turn out not to exist; they
// are dropped as soon as the first row of the wanted page proves that it does.
RecordPage readPass(const PageRequest &request, int pageSize, int wanted)
{
    RecordPage page;
    page.fields = request.fields;

    Database db(connectionName());
    const OpenOutcome opened = db.open(request.connectionString);
    if (!opened.ok()) {
        page.error = opened.description;
        return page;
    }
    QSqlQuery query(db.connection());
    query.setForwardOnly(true);
    if (!query.exec(request.query)) {
        page.error = query.lastError().text();
        return page;
    }
    const std::vector<int> indexes = fieldIndexes(query.record(), request, &page.error);
    if (!page.ok())
        return page;

    const qint64 first = pageSize > 0 ? qint64(wanted - 1) * pageSize : 0;
    const qint64 end = pageSize > 0 ? first + pageSize : std::numeric_limits<qint64>::max();
    qint64 r = 0;
    for (; query.next(); ++r) {
        if (r == first && first > 0)
            page.rows.clear();
        const bool onWantedPage = r >= first && r < end;
        const bool onFirstPage = pageSize > 0 && r < pageSize;
        if (onWantedPage || onFirstPage)
            page.rows << rowOf(query, indexes);
    }
    if (query.lastError().isValid()) {
        // A fetch that failed half-way must not pass for the end of the result.
        page.error = query.lastError().text();
        page.rows.clear();
        return page;
    }
    query.finish();

    page.recordCount = r;
    if (pageSize > 0) {
        const qint64 pages = (r + pageSize - 1) / pageSize;
        page.pageCount = int(qMin<qint64>(pages, std::numeric_limits<int>::max()));
        page.pageNumber = wanted > page.pageCount ? 1 : wanted; // page 1 is what we kept then
    } else {
        page.pageCount = r > 0 ? 1 : 0;
        page.pageNumber = 1;
    }
    return page;
}

} // namespace

QVariant RecordPage::value(qsizetype r, const QString &field) const
{
    if (r < 0 || r >= rows.size())
        return {};
    for (qsizetype column = 0; column < fields.size(); ++column)
        if (fields.at(column).compare(field, Qt::CaseInsensitive) == 0)
            return rows.at(r).at(column);
    return {};
}

RecordPage readRecordPage(const PageRequest &request)
{
    if (request.pageSize < 1) {
        RecordPage page;
        page.fields = request.fields;
        page.error = QStringLiteral("page size %1 is not a positive number").arg(request.pageSize);
        return page;
    }
    return readPass(request, request.pageSize, qMax(1, request.pageNumber));
}

RecordPage readAllRecords(const PageRequest &request)
{
    return readPass(request, 0, 1);
}

} // namespace lonvera::db
