// Traffic table writes. See traffic_tables.h.
#include "server/db/traffic_tables.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

namespace lonvera::db {

namespace {

enum class ResultTable { Sent, Bad };

bool run(QSqlQuery *query, QString *error)
{
    if (!query)
        return false;
    const bool ok = query->exec();
    if (!ok && error && error->isEmpty())
        *error = query->lastError().text();
    return ok;
}

QSqlQuery *prepare(Database &db, const QString &sql, QString *error)
{
    QSqlError prepareError;
    QSqlQuery *query = db.prepared(sql, &prepareError);
    if (!query && error)
        *error = prepareError.text();
    return query;
}

MoveOutcome moveRow(Database &db, qint64 id, const QDateTime &resultTime, ResultTable table,
                    const QString &badWhy)
{
    MoveOutcome outcome;
    const QString time = timeParameter(db.dialect());
    const QString timeValue = timeText(resultTime);
    if (!db.beginWrite(&outcome.error))
        return outcome;
    auto fail = [&]() {
        db.rollback();
        outcome.status = MoveStatus::Failed;
        return outcome;
    };

    QSqlQuery *read = prepare(
        db, QStringLiteral("select Mbno,Msg,ComPort,username,report from outbox where id=?"),
        &outcome.error);
    if (!read)
        return fail();
    read->addBindValue(id);
    if (!run(read, &outcome.error))
        return fail();
    const bool found = read->next();
    if (found) {
        outcome.row.id = id;
        outcome.row.mbno = read->value(0).toString();
        outcome.row.msg = read->value(1).toString();
        outcome.row.comPort = read->value(2).toInt();
        outcome.row.username = read->value(3).toString();
        outcome.row.report = read->value(4).toInt();
    }
    read->finish();

    QSqlQuery *write = nullptr;
    if (found) {
        // Copy in the database, so the free columns V1 ... V5 keep their values and types.
        const QString sql =
            table == ResultTable::Sent
                ? QStringLiteral("insert into SendedOutBox (mbno,Msg,username,SendTime,comport,"
                                 "Total,V1,V2,V3,V4,V5) select Mbno,Msg,username,%1,ComPort,?,"
                                 "V1,V2,V3,V4,V5 from outbox where id=?")
                      .arg(time)
                : QStringLiteral("insert into badoutbox (mbno,Msg,username,SendTime,comport,"
                                 "bad_why,V1,V2,V3,V4,V5) select Mbno,Msg,username,%1,ComPort,?,"
                                 "V1,V2,V3,V4,V5 from outbox where id=?")
                      .arg(time);
        write = prepare(db, sql, &outcome.error);
        if (!write)
            return fail();
        write->addBindValue(timeValue);
        if (table == ResultTable::Sent)
            write->addBindValue(partCount(outcome.row.msg));
        else
            write->addBindValue(badWhy);
        write->addBindValue(id);
    } else {
        // The row is gone (deleted by hand, or moved already): the result is still recorded.
        const QString sql =
            table == ResultTable::Sent
                ? QStringLiteral("insert into SendedOutBox (SendTime) values (%1)").arg(time)
                : QStringLiteral("insert into badoutbox (SendTime,bad_why) values (%1,?)")
                      .arg(time);
        write = prepare(db, sql, &outcome.error);
        if (!write)
            return fail();
        write->addBindValue(timeValue);
        if (table == ResultTable::Bad)
            write->addBindValue(badWhy);
    }
    if (!run(write, &outcome.error) || write->numRowsAffected() != 1) {
        if (outcome.error.isEmpty())
            outcome.error = QStringLiteral("result row not written");
        return fail();
    }
    write->finish();

    if (found) {
        QSqlQuery *remove =
            prepare(db, QStringLiteral("delete from outbox where id=?"), &outcome.error);
        if (!remove)
            return fail();
        remove->addBindValue(id);
        if (!run(remove, &outcome.error))
            return fail();
        remove->finish();
    }
    if (!db.commit()) {
        outcome.error = db.connection().lastError().text();
        return fail();
    }
    outcome.status = found ? MoveStatus::Moved : MoveStatus::RowMissing;
    return outcome;
}

} // namespace

int partCount(const QString &text)
{
    const qsizetype length = text.size();
    if (length <= 70)
        return 1;
    return int((length + 65) / 66);
}

MoveOutcome moveToSendedOutBox(Database &db, qint64 id, const QDateTime &resultTime)
{
    return moveRow(db, id, resultTime, ResultTable::Sent, {});
}

MoveOutcome moveToBadOutbox(Database &db, qint64 id, const QDateTime &resultTime,
                            const QString &badWhy)
{
    return moveRow(db, id, resultTime, ResultTable::Bad, badWhy);
}

bool addInboxRow(Database &db, const QString &mbno, const QString &msg, const QString &arriveTime,
                 int comPort, QString *error)
{
    QSqlQuery *query = prepare(
        db, QStringLiteral("insert into inbox (mbno,Msg,ArriveTime,comport) values (?,?,?,?)"),
        error);
    if (!query)
        return false;
    query->addBindValue(mbno);
    query->addBindValue(msg);
    query->addBindValue(arriveTime);
    query->addBindValue(comPort);
    const bool ok = run(query, error);
    query->finish();
    return ok;
}

bool addReportRow(Database &db, const QString &rpMsg, const QString &sendTime,
                  const QString &arrivedTime, QString *error)
{
    QSqlQuery *query = prepare(
        db, QStringLiteral("insert into report (RpMsg,SendTime,ArrivedTime) values (?,?,?)"),
        error);
    if (!query)
        return false;
    query->addBindValue(rpMsg);
    query->addBindValue(sendTime);
    query->addBindValue(arrivedTime);
    const bool ok = run(query, error);
    query->finish();
    return ok;
}

bool addCallRow(Database &db, const QString &mbno, const QDateTime &arriveTime, int comPort,
                QString *error)
{
    QSqlQuery *query = prepare(db,
                               QStringLiteral("insert into OnCall (mbno,ArriveTime,comport) "
                                              "values (?,%1,?)")
                                   .arg(timeParameter(db.dialect())),
                               error);
    if (!query)
        return false;
    query->addBindValue(mbno);
    query->addBindValue(timeText(arriveTime));
    query->addBindValue(comPort);
    const bool ok = run(query, error);
    query->finish();
    return ok;
}

qint64 countRows(Database &db, const QString &table)
{
    static const QStringList counted{QStringLiteral("outbox"),    QStringLiteral("SendedOutBox"),
                                     QStringLiteral("badoutbox"), QStringLiteral("inbox"),
                                     QStringLiteral("OnCall"),    QStringLiteral("report"),
                                     QStringLiteral("comset")};
    if (!counted.contains(table, Qt::CaseInsensitive))
        return -1;
    QSqlQuery *query =
        prepare(db, QStringLiteral("select  count(*)  as  c  from  ") + table, nullptr);
    if (!query || !query->exec() || !query->next())
        return -1;
    const qint64 count = query->value(QStringLiteral("c")).toLongLong();
    query->finish();
    return count;
}

} // namespace lonvera::db
