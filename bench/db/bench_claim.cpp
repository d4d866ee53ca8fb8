// Select-and-claim time per dispatcher request with outbox holding 1,000, 100,000 and 1,000,000
// rows, on SQLite and (when LONVERA_TEST_PG_* name a cluster) PostgreSQL. Prints the median and
// the 90th percentile. Each request claims the next due row for a port and the row is then
// deleted (untimed), as the send result would move it.
#include "server/db/outbox_queue.h"
#include "server/db/schema.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace lonvera::db;

namespace {

constexpr int requests = 500;

bool fill(Database &db, qint64 rows)
{
    QSqlQuery q(db.connection());
    // Start from a clean table: dead rows of an earlier size would sit at the head of the index.
    q.exec(db.dialect() == Dialect::Sqlite ? QStringLiteral("delete from outbox")
                                           : QStringLiteral("truncate outbox"));
    // One statement per load: a recursive CTE on SQLite, generate_series on PostgreSQL. Numbers
    // and send times vary so the ranges and the order have work to do; a tenth of the rows wait
    // for other ports.
    const QString sql =
        db.dialect() == Dialect::Sqlite
            ? QStringLiteral(
                  "insert into outbox (Mbno, Msg, SendTime, ComPort) "
                  "with recursive n(i) as (select 1 union all select i+1 from n where i < %1) "
                  "select (case i % 3 when 0 then '138' when 1 then '86138' else '133' end) || "
                  "substr('0000000' || i, -8), 'benchmark message', "
                  "datetime('2024-01-01', '+' || (i / 7) || ' seconds'), "
                  "case when i % 10 = 0 then 1 + i % 16 else 0 end from n")
                  .arg(rows)
            : QStringLiteral("insert into outbox (Mbno, Msg, SendTime, ComPort) "
                             "select (case i % 3 when 0 then '138' when 1 then '86138' else '133' "
                             "end) || lpad(i::text, 8, '0'), 'benchmark message', "
                             "timestamp '2024-01-01' + (i / 7) * interval '1 second', "
                             "case when i % 10 = 0 then 1 + i % 16 else 0 end "
                             "from generate_series(1, %1) as i")
                  .arg(rows);
    if (!db.beginWrite() || !q.exec(sql) || !db.commit()) {
        std::fprintf(stderr, "fill: %s\n%s\n", qPrintable(q.lastError().text()), qPrintable(sql));
        return false;
    }
    q.exec(db.dialect() == Dialect::Sqlite ? QStringLiteral("analyze")
                                           : QStringLiteral("vacuum analyze outbox"));
    return true;
}

void measure(Database &db, const char *engine, qint64 rows)
{
    if (!fill(db, rows))
        return;
    QSqlQuery remove(db.connection());
    remove.prepare(QStringLiteral("delete from outbox where id=?"));
    const QDateTime now = QDateTime(QDate(2030, 1, 1), QTime(0, 0));
    std::vector<double> micros;
    micros.reserve(requests);
    for (int i = 0; i < requests; ++i) {
        const int port = 1 + i % 16;
        const QString ranges = i % 2 ? QStringLiteral("|移动|") : QStringLiteral("|不限范围|");
        QElapsedTimer timer;
        timer.start();
        const ClaimOutcome c = selectAndClaim(db, port, ranges, now);
        micros.push_back(double(timer.nsecsElapsed()) / 1000.0);
        if (c.status != ClaimStatus::Claimed) {
            std::fprintf(stderr, "%s: no row claimed (%s)\n", engine, qPrintable(c.error));
            return;
        }
        remove.addBindValue(c.row.id);
        remove.exec();
    }
    std::sort(micros.begin(), micros.end());
    std::printf("%-10s %9lld rows: median %8.1f us, p90 %8.1f us\n", engine,
                static_cast<long long>(rows), micros[micros.size() / 2],
                micros[micros.size() * 9 / 10]);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const std::vector<qint64> sizes{1000, 100000, 1000000};

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("bench.qxocx"));
    if (!createDefaultDatabase(file))
        return 1;
    {
        Database db;
        if (!db.open(QStringLiteral("Driver={Microsoft Access Driver (*.mdb)};Dbq=%1;Uid=a;")
                         .arg(file))
                 .ok())
            return 1;
        for (qint64 rows : sizes)
            measure(db, "SQLite", rows);
    }

    if (qEnvironmentVariableIsEmpty("LONVERA_TEST_PG_HOST")) {
        std::printf("PostgreSQL: LONVERA_TEST_PG_* not set, skipped\n");
        return 0;
    }
    Database db;
    const OpenOutcome opened = db.open(
        QStringLiteral("Driver={PostgreSQL Unicode};Server=%1;Port=%2;Database=%3;Uid=%4;Pwd=;")
            .arg(qEnvironmentVariable("LONVERA_TEST_PG_HOST"),
                 qEnvironmentVariable("LONVERA_TEST_PG_PORT"),
                 qEnvironmentVariable("LONVERA_TEST_PG_DB"),
                 qEnvironmentVariable("LONVERA_TEST_PG_USER")));
    if (!opened.ok()) {
        std::fprintf(stderr, "PostgreSQL: %s\n", qPrintable(opened.description));
        return 1;
    }
    QString error;
    if (!createSchema(db, &error)) {
        std::fprintf(stderr, "PostgreSQL schema: %s\n", qPrintable(error));
        return 1;
    }
    for (qint64 rows : sizes)
        measure(db, "PostgreSQL", rows);
    return 0;
}
