// Select and claim. See outbox_queue.h.
#include "server/db/outbox_queue.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace lonvera::db {

namespace {

// How often a lost claim race is answered by selecting again before the slot waits for the next
// tick; each loss means another server took a row, so the queue is moving anyway.
constexpr int claimAttempts = 4;

QDateTime dateTimeOf(const QVariant &value)
{
    if (value.metaType().id() == QMetaType::QDateTime)
        return value.toDateTime();
    const QString text = value.toString();
    QDateTime parsed = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!parsed.isValid())
        parsed = QDateTime::fromString(text, Qt::ISODateWithMs);
    return parsed;
}

// Runs a conditional update of one row; true when it changed exactly that row (false when the
// condition no longer held, or with the error when the statement failed).
bool changesOneRow(Database &db, const QString &sql, const QVariantList &values, QString *error)
{
    QSqlError prepareError;
    QSqlQuery *query = db.prepared(sql, &prepareError);
    if (!query) {
        if (error)
            *error = prepareError.text();
        return false;
    }
    for (const QVariant &value : values)
        query->addBindValue(value);
    const bool ok = query->exec();
    if (!ok && error)
        *error = query->lastError().text();
    const bool changed = ok && query->numRowsAffected() == 1;
    query->finish();
    return changed;
}

} // namespace

std::optional<OutboxRow> selectNextRow(Database &db, int port, const QString &ranges,
                                       const QDateTime &now, QString *error)
{
    const RangeFilter filter = rangeFilter(ranges, db.dialect());
    if (filter.matchesNothing)
        return std::nullopt;
    QDateTime at = now;
    if (!at.isValid() && db.kind() == QLatin1String("mdb"))
        at = QDateTime::currentDateTime();
    const DueClock clock = at.isValid() ? DueClock::Bound : DueClock::Database;

    QSqlError prepareError;
    QSqlQuery *query = db.prepared(selectionStatement(db.dialect(), filter, clock), &prepareError);
    if (!query) {
        if (error)
            *error = prepareError.text();
        return std::nullopt;
    }
    if (clock == DueClock::Bound) {
        const QString text = timeText(at);
        query->addBindValue(text);
        query->addBindValue(port);
        query->addBindValue(text);
    } else {
        query->addBindValue(port);
    }
    if (!query->exec()) {
        if (error)
            *error = query->lastError().text();
        return std::nullopt;
    }
    std::optional<OutboxRow> row;
    if (query->next()) {
        row.emplace();
        row->id = query->value(0).toLongLong();
        row->mbno = query->value(1).toString();
        row->msg = query->value(2).toString();
        row->sendTime = dateTimeOf(query->value(3));
        row->comPort = query->value(4).toInt();
        row->report = query->value(5).toInt();
        row->username = query->value(6).toString();
    }
    // A statement left open keeps SQLite's read lock and a server-side portal.
    query->finish();
    return row;
}

bool claimRow(Database &db, qint64 id, int port, QString *error)
{
    return changesOneRow(db, claimStatement(), {port, id}, error);
}

std::optional<OutboxRow> oldestDueRow(Database &db, const QDateTime &now, QString *error)
{
    const Dialect dialect = db.dialect();
    const QString columns =
        QStringLiteral(" id, Mbno, SendTime, ComPort from outbox where SendTime < ") +
        timeParameter(dialect) + QStringLiteral(" order by SendTime, id");
    const QString sql = dialect == Dialect::TSql
                            ? QStringLiteral("select top 1") + columns
                            : QStringLiteral("select") + columns + QStringLiteral(" limit 1");
    QSqlError prepareError;
    QSqlQuery *query = db.prepared(sql, &prepareError);
    if (!query) {
        if (error)
            *error = prepareError.text();
        return std::nullopt;
    }
    query->addBindValue(timeText(now));
    if (!query->exec()) {
        if (error)
            *error = query->lastError().text();
        return std::nullopt;
    }
    std::optional<OutboxRow> row;
    if (query->next()) {
        row.emplace();
        row->id = query->value(0).toLongLong();
        row->mbno = query->value(1).toString();
        row->sendTime = dateTimeOf(query->value(2));
        row->comPort = query->value(3).toInt();
    }
    query->finish();
    return row;
}

bool returnClaim(Database &db, qint64 id, int port, QString *error)
{
    return changesOneRow(db, QStringLiteral("update outbox set ComPort=0 where id=? and ComPort=?"),
                         {id, port}, error);
}

ClaimOutcome selectAndClaim(Database &db, int port, const QString &ranges, const QDateTime &now)
{
    ClaimOutcome outcome;
    for (int attempt = 0; attempt < claimAttempts; ++attempt) {
        QString error;
        std::optional<OutboxRow> row = selectNextRow(db, port, ranges, now, &error);
        if (!row) {
            outcome.status = error.isEmpty() ? ClaimStatus::NoRow : ClaimStatus::Failed;
            outcome.error = error;
            return outcome;
        }
        if (row->comPort == port) {
            outcome.status = ClaimStatus::Claimed;
            outcome.row = *row;
            return outcome;
        }
        if (claimRow(db, row->id, port, &error)) {
            row->comPort = port;
            row->claimedNow = true;
            outcome.status = ClaimStatus::Claimed;
            outcome.row = *row;
            return outcome;
        }
        if (!error.isEmpty()) {
            outcome.status = ClaimStatus::Failed;
            outcome.error = error;
            return outcome;
        }
    }
    outcome.status = ClaimStatus::NoRow;
    return outcome;
}

QList<UnreadableSendTime> unreadableSendTimes(Database &db, int limit, QString *error)
{
    QList<UnreadableSendTime> rows;
    if (db.dialect() != Dialect::Sqlite)
        return rows;
    QSqlError prepareError;
    QSqlQuery *query = db.prepared(QStringLiteral("select id,SendTime from outbox where "
                                                  "datetime(SendTime) is null order by id limit ?"),
                                   &prepareError);
    if (!query) {
        if (error)
            *error = prepareError.text();
        return rows;
    }
    query->addBindValue(limit);
    if (!query->exec()) {
        if (error)
            *error = query->lastError().text();
        return rows;
    }
    while (query->next())
        rows.append({query->value(0).toLongLong(), query->value(1).toString()});
    query->finish();
    return rows;
}

} // namespace lonvera::db
