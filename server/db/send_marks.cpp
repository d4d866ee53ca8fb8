// See send_marks.h.
#include "server/db/send_marks.h"

#include "server/db/schema.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace lonvera::db {

namespace {

const QString kTable = QStringLiteral("outbox_sending");

QSqlQuery *prepare(Database &db, const QString &sql, QString *error)
{
    QSqlError prepareError;
    QSqlQuery *query = db.prepared(sql, &prepareError);
    if (!query && error)
        *error = prepareError.text();
    return query;
}

bool run(QSqlQuery *query, QString *error)
{
    if (!query)
        return false;
    const bool ok = query->exec();
    if (!ok && error)
        *error = query->lastError().text();
    return ok;
}

bool execute(Database &db, const QString &sql, const QVariantList &values, QString *error,
             int *affected = nullptr)
{
    QSqlQuery *query = prepare(db, sql, error);
    if (!query)
        return false;
    for (const QVariant &v : values)
        query->addBindValue(v);
    const bool ok = run(query, error);
    if (ok && affected)
        *affected = query->numRowsAffected();
    query->finish();
    return ok;
}

bool writeMark(Database &db, qint64 id, int port, const QDateTime &since, QString *error)
{
    const QString time = timeParameter(db.dialect());
    // A mark left from an earlier hand-over of the same row is replaced.
    switch (db.dialect()) {
    case Dialect::Sqlite:
        return execute(
            db,
            QStringLiteral("insert or replace into outbox_sending (id,ComPort,SinceTime) "
                           "values (?,?,%1)")
                .arg(time),
            {id, port, timeText(since)}, error);
    case Dialect::PostgreSql:
        return execute(db,
                       QStringLiteral("insert into outbox_sending (id,ComPort,SinceTime) values "
                                      "(?,?,%1) on conflict (id) do update set "
                                      "ComPort=excluded.ComPort,SinceTime=excluded.SinceTime")
                           .arg(time),
                       {id, port, timeText(since)}, error);
    case Dialect::TSql:
        break;
    }
    if (!execute(db, QStringLiteral("delete from outbox_sending where id=?"), {id}, error))
        return false;
    return execute(db,
                   QStringLiteral("insert into outbox_sending (id,ComPort,SinceTime) values "
                                  "(?,?,%1)")
                       .arg(time),
                   {id, port, timeText(since)}, error);
}

// PostgreSQL takes the claim and the mark in one statement, so one round trip commits both: the
// mark is written only when this port's claim won.
ClaimStatus claimAndMarkAtOnce(Database &db, qint64 id, int port, const QDateTime &since,
                               QString *error)
{
    int affected = 0;
    const bool ok = execute(
        db,
        QStringLiteral("with c as (update outbox set ComPort=? where id=? and ComPort=0 "
                       "returning id) insert into outbox_sending (id,ComPort,SinceTime) select "
                       "id,?,%1 from c on conflict (id) do update set "
                       "ComPort=excluded.ComPort,SinceTime=excluded.SinceTime")
            .arg(timeParameter(db.dialect())),
        {port, id, port, timeText(since)}, error, &affected);
    if (!ok)
        return ClaimStatus::Failed;
    return affected == 1 ? ClaimStatus::Claimed : ClaimStatus::NoRow;
}

} // namespace

bool ensureSendMarks(Database &db, QString *error)
{
    if (db.connection().tables().contains(kTable, Qt::CaseInsensitive))
        return true;
    if (db.dialect() != Dialect::Sqlite)
        return false;
    // The table's statement comes from the shipped schema, the one place that describes it.
    for (const QString &statement : splitSqlScript(schemaScript(db.dialect()))) {
        if (!statement.contains(kTable))
            continue;
        QSqlQuery query(db.connection());
        if (!query.exec(statement)) {
            if (error)
                *error = query.lastError().text();
            return false;
        }
    }
    return db.connection().tables().contains(kTable, Qt::CaseInsensitive);
}

ClaimOutcome claimAndMark(Database &db, int port, const QString &ranges, const QDateTime &since,
                          bool markSends)
{
    if (!markSends)
        return selectAndClaim(db, port, ranges);
    ClaimOutcome outcome;
    QString error;
    // Looking costs no transaction: most requests find nothing.
    std::optional<OutboxRow> row = selectNextRow(db, port, ranges, QDateTime(), &error);
    for (int attempt = 0; row && attempt < 4; ++attempt) {
        if (db.dialect() == Dialect::PostgreSql) {
            const ClaimStatus status =
                row->comPort == port
                    ? (writeMark(db, row->id, port, since, &error) ? ClaimStatus::Claimed
                                                                   : ClaimStatus::Failed)
                    : claimAndMarkAtOnce(db, row->id, port, since, &error);
            if (status == ClaimStatus::Claimed) {
                row->claimedNow = row->comPort != port;
                row->comPort = port;
                outcome.status = status;
                outcome.row = *row;
                return outcome;
            }
            if (status == ClaimStatus::Failed) {
                outcome.status = status;
                outcome.error = error;
                return outcome;
            }
            row = selectNextRow(db, port, ranges, QDateTime(), &error);
            continue;
        }
        if (!db.beginWrite()) {
            outcome.status = ClaimStatus::Failed;
            outcome.error = db.connection().lastError().text();
            return outcome;
        }
        const bool ours = row->comPort == port;
        const bool claimed = ours || claimRow(db, row->id, port, &error);
        if (claimed && writeMark(db, row->id, port, since, &error) && db.commit()) {
            row->claimedNow = !ours;
            row->comPort = port;
            outcome.status = ClaimStatus::Claimed;
            outcome.row = *row;
            return outcome;
        }
        db.rollback();
        if (!error.isEmpty() || claimed) {
            outcome.status = ClaimStatus::Failed;
            outcome.error = error.isEmpty() ? db.connection().lastError().text() : error;
            return outcome;
        }
        // Another server took the row first: look again.
        row = selectNextRow(db, port, ranges, QDateTime(), &error);
    }
    outcome.status = error.isEmpty() ? ClaimStatus::NoRow : ClaimStatus::Failed;
    outcome.error = error;
    return outcome;
}

bool unmarkSending(Database &db, qint64 id, QString *error)
{
    return execute(db, QStringLiteral("delete from outbox_sending where id=?"), {id}, error);
}

QList<SendMark> sendMarks(Database &db, int port, QString *error)
{
    QList<SendMark> marks;
    const QString sql =
        QStringLiteral("select m.id,m.ComPort,m.SinceTime from outbox_sending m join outbox o on "
                       "o.id=m.id%1 order by m.SinceTime,m.id")
            .arg(port > 0 ? QStringLiteral(" where m.ComPort=?") : QString());
    QSqlQuery *query = prepare(db, sql, error);
    if (!query)
        return marks;
    if (port > 0)
        query->addBindValue(port);
    if (!run(query, error))
        return marks;
    while (query->next()) {
        SendMark m;
        m.id = query->value(0).toLongLong();
        m.port = query->value(1).toInt();
        const QVariant since = query->value(2);
        m.since =
            since.metaType().id() == QMetaType::QDateTime
                ? since.toDateTime()
                : QDateTime::fromString(since.toString(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        marks.append(m);
    }
    query->finish();
    return marks;
}

bool sweepSendMarks(Database &db, QString *error)
{
    return execute(db,
                   QStringLiteral("delete from outbox_sending where not exists (select 1 from "
                                  "outbox where outbox.id=outbox_sending.id)"),
                   {}, error);
}

QList<int> claimedPorts(Database &db, QString *error)
{
    QList<int> ports;
    QSqlQuery *query =
        prepare(db, QStringLiteral("select distinct ComPort from outbox where ComPort<>0"), error);
    if (!query || !run(query, error))
        return ports;
    while (query->next())
        ports.append(query->value(0).toInt());
    query->finish();
    return ports;
}

int releaseClaims(Database &db, int port, bool withMarks, QString *error)
{
    int affected = 0;
    const QString unmarked =
        withMarks ? QStringLiteral(" and not exists (select 1 from outbox_sending m where "
                                   "m.id=outbox.id)")
                  : QString();
    if (!execute(db, QStringLiteral("update outbox set ComPort=0 where ComPort=?") + unmarked,
                 {port}, error, &affected))
        return -1;
    return affected;
}

} // namespace lonvera::db
