// The dispatcher's selection and claim, and the row move, on SQLite, PostgreSQL and SQLite
// through unixODBC.
#include "server/db/device_table.h"
#include "server/db/outbox_queue.h"
#include "server/db/schema.h"
#include "server/db/traffic_tables.h"
#include "test_databases.h"

#include <QSqlQuery>
#include <QTest>

using namespace lonvera::db;
using namespace lonvera::db::test;

class TestOutboxQueue : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_folder;
    QString m_connectionString;
    // A fixed "now" keeps the tests away from second boundaries.
    const QDateTime m_now = QDateTime(QDate(2024, 5, 1), QTime(12, 0, 0));

    void addEngines()
    {
        QTest::addColumn<TestEngine>("engine");
        for (TestEngine e : {TestEngine::Sqlite, TestEngine::PostgreSql, TestEngine::OdbcSqlite})
            QTest::newRow(qPrintable(engineName(e))) << e;
    }

    // Opens a fresh database of the row's engine as `db`; skips when the engine is not at hand.
    bool openFresh(Database &db)
    {
        QFETCH(TestEngine, engine);
        QString reason;
        m_connectionString = freshDatabase(engine, m_folder, &reason);
        if (m_connectionString.isEmpty()) {
            if (engine == TestEngine::PostgreSql && reason.contains(QLatin1String("not set")))
                return false;
            qFatal("cannot prepare %s: %s", qPrintable(engineName(engine)), qPrintable(reason));
        }
        const OpenOutcome opened = db.open(m_connectionString);
        if (!opened.ok())
            qFatal("cannot open: %s", qPrintable(opened.description));
        return true;
    }

    qint64 claimId(Database &db, int port, const QString &ranges, const QDateTime &at)
    {
        const ClaimOutcome c = selectAndClaim(db, port, ranges, at);
        if (c.status == ClaimStatus::Failed)
            qWarning() << c.error;
        return c.status == ClaimStatus::Claimed ? c.row.id : 0;
    }

private slots:
    void engineDetected_data() { addEngines(); }
    void engineDetected()
    {
        Database db;
        if (!openFresh(db))
            QSKIP("PostgreSQL test cluster not configured");
        QFETCH(TestEngine, engine);
        QCOMPARE(db.engine(),
                 engine == TestEngine::PostgreSql ? Engine::PostgreSql : Engine::Sqlite);
    }

    void freeRowBelongsToFirstPort_data() { addEngines(); }
    void freeRowBelongsToFirstPort()
    {
        Database db;
        if (!openFresh(db))
            QSKIP("PostgreSQL test cluster not configured");
        const QString all = QStringLiteral("|不限范围|");
        const qint64 id = insertOutbox(db, QStringLiteral("13800138000"), m_now.addSecs(-5));
        QCOMPARE(claimId(db, 2, all, m_now), id);
        // From now on only port 2 selects it.
        QVERIFY(!selectNextRow(db, 3, all, m_now));
        const auto again = selectNextRow(db, 2, all, m_now);
        QVERIFY(again);
        QCOMPARE(again->comPort, 2);
        QCOMPARE(again->mbno, QStringLiteral("13800138000"));
    }

    void rowOfAnotherPortNeverSelected_data() { addEngines(); }
    void rowOfAnotherPortNeverSelected()
    {
        Database db;
        if (!openFresh(db))
            QSKIP("PostgreSQL test cluster not configured");
        const QString all = QStringLiteral("|不限范围|");
        const qint64 id = insertOutbox(db, QStringLiteral("13800138000"), m_now.addSecs(-5), 5);
        for (int port : {1, 2, 3, 4, 6, 16})
            QCOMPARE(claimId(db, port, all, m_now), 0);
        QCOMPARE(claimId(db, 5, all, m_now), id);
    }

    void futureRowWaitsForItsTime_data() { addEngines(); }
    void futureRowWaitsForItsTime()
    {
        Database db;
        if (!openFresh(db))
            QSKIP("PostgreSQL test cluster not configured");
        const QString all = QStringLiteral("|不限范围|");
        const qint64 id = insertOutbox(db, QStringLiteral("13800138000"), m_now.addSecs(60));
        QCOMPARE(claimId(db, 1, all, m_now), 0);
        QCOMPARE(claimId(db, 1, all, m_now.addSecs(60)), 0); // due once its second has passed
        QCOMPARE(claimId(db, 1, all, m_now.addSecs(61)), id);
    }

    void databaseClockSelectsDueRows_data() { addEngines(); }
    void databaseClockSelectsDueRows()
    {
        Database db;
        if (!openFresh(db))
            QSKIP("PostgreSQL test cluster not configured");
        const QDateTime now = QDateTime::currentDateTime();
        const qint64 due = insertOutbox(db, QStringLiteral("13800138000"), now.addSecs(-120));
        insertOutbox(db, QStringLiteral("13800138001"), now.addSecs(3600));
        const auto row = selectNextRow(db, 1, QStringLiteral("|不限范围|"), QDateTime());
        QVERIFY(row);
        QCOMPARE(row->id, due);
    }

    // The numbers each range takes, in queue order. "1591234567" and "8615" are shorter than
    // their prefixes' bounds: the engines compare the prefixes as text.
    static QStringList rangeNumbers()
    {
        return {"13800138000", "8613800138000", "13300133000", "10655",
                "10086",       "8613300133000", "1591234567",  "8615"};
    }
    void rangeFilters_data()
    {
        QTest::addColumn<TestEngine>("engine");
        QTest::addColumn<QString>("ranges");
        QTest::addColumn<QStringList>("taken");
        for (TestEngine e : {TestEngine::Sqlite, TestEngine::PostgreSql, TestEngine::OdbcSqlite}) {
            const QByteArray n = engineName(e).toLatin1();
            QTest::newRow(n + " mobile")
                << e << QStringLiteral("|移动|")
                << QStringList{"13800138000", "8613800138000", "1591234567", "8615"};
            QTest::newRow(n + " unicom")
                << e << QStringLiteral("|联通|") << QStringList{"13300133000", "8613300133000"};
            QTest::newRow(n + " other") << e << QStringLiteral("|其它|")
                                        << QStringList{"10655", "10086", "1591234567", "8615"};
            QTest::newRow(n + " phs and other")
                << e << QStringLiteral("|小灵通|其它|")
                << QStringList{"10655", "10086", "1591234567", "8615"};
            QTest::newRow(n + " unknown name") << e << QStringLiteral("|x|") << QStringList{};
            QTest::newRow(n + " all") << e << QStringLiteral("|不限范围|") << rangeNumbers();
        }
    }
    // The selection takes what the ranges cover, and the gateway's own reading of a range
    // (rangeCovers, used to say why a row waits) agrees with every engine.
    void rangeFilters()
    {
        QFETCH(QString, ranges);
        QFETCH(QStringList, taken);
        Database db;
        if (!openFresh(db))
            QSKIP("PostgreSQL test cluster not configured");
        for (const QString &n : rangeNumbers())
            insertOutbox(db, n, m_now.addSecs(-10));
        QStringList got;
        for (;;) {
            const ClaimOutcome c = selectAndClaim(db, 7, ranges, m_now);
            QVERIFY2(c.status != ClaimStatus::Failed, qPrintable(c.error));
            if (c.status == ClaimStatus::NoRow)
                break;
            got << c.row.mbno;
            QCOMPARE(moveToSendedOutBox(db, c.row.id, m_now).status, MoveStatus::Moved);
        }
        QCOMPARE(got, taken);
        for (const QString &n : rangeNumbers())
            QVERIFY2(rangeCovers(ranges, n) == taken.contains(n), qPrintable(n));
    }

    void equalTimesGoInIdOrder_data() { addEngines(); }
    void equalTimesGoInIdOrder()
    {
        Database db;
        if (!openFresh(db))
            QSKIP("PostgreSQL test cluster not configured");
        const QDateTime t = m_now.addSecs(-30);
        const qint64 a = insertOutbox(db, QStringLiteral("13800000001"), t);
        const qint64 b = insertOutbox(db, QStringLiteral("13800000002"), t);
        const qint64 early = insertOutbox(db, QStringLiteral("13800000003"), t.addSecs(-1));
        QList<qint64> order;
        for (int i = 0; i < 3; ++i) {
            const qint64 id = claimId(db, 1, QStringLiteral("|不限范围|"), m_now);
            order << id;
            moveToBadOutbox(db, id, m_now, QStringLiteral("n"));
        }
        QCOMPARE(order, (QList<qint64>{early, a, b}));
    }

    void twoServersRaceForOneRow_data() { addEngines(); }
    void twoServersRaceForOneRow()
    {
        Database first(QStringLiteral("first"));
        if (!openFresh(first))
            QSKIP("PostgreSQL test cluster not configured");
        Database second(QStringLiteral("second"));
        QVERIFY(second.open(m_connectionString).ok());
        const QString all = QStringLiteral("|不限范围|");
        const qint64 id = insertOutbox(first, QStringLiteral("13800138000"), m_now.addSecs(-5));
        // Both have selected the same row before either claims it.
        const auto seenByFirst = selectNextRow(first, 1, all, m_now);
        const auto seenBySecond = selectNextRow(second, 2, all, m_now);
        QVERIFY(seenByFirst && seenBySecond);
        QCOMPARE(seenByFirst->id, id);
        QCOMPARE(seenBySecond->id, id);
        const bool firstWon = claimRow(first, id, 1);
        const bool secondWon = claimRow(second, id, 2);
        QVERIFY(firstWon != secondWon);
        // The loser's full request moves on to nothing rather than to the taken row.
        QCOMPARE(selectAndClaim(second, 2, all, m_now).status, ClaimStatus::NoRow);
    }

    void moveKeepsColumnsAndDeletes_data() { addEngines(); }
    void moveKeepsColumnsAndDeletes()
    {
        Database db;
        if (!openFresh(db))
            QSKIP("PostgreSQL test cluster not configured");
        const QString longText(133, QChar(u'好'));
        const qint64 id =
            insertOutbox(db, QStringLiteral("13800138000"), m_now.addSecs(-5), 0, longText);
        QCOMPARE(claimId(db, 3, QStringLiteral("|不限范围|"), m_now), id);
        const MoveOutcome moved = moveToSendedOutBox(db, id, m_now);
        QCOMPARE(moved.status, MoveStatus::Moved);
        QCOMPARE(moved.row.mbno, QStringLiteral("13800138000"));
        QCOMPARE(moved.row.comPort, 3);
        QCOMPARE(countRows(db, QStringLiteral("outbox")), 0);
        QSqlQuery q(db.connection());
        QVERIFY(q.exec(QStringLiteral("select mbno, Msg, comport, Total, V1, SendTime from "
                                      "SendedOutBox")));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("13800138000"));
        QCOMPARE(q.value(1).toString(), longText);
        QCOMPARE(q.value(2).toInt(), 3);
        QCOMPARE(q.value(3).toInt(), 3);
        QCOMPARE(q.value(4).toString(), QStringLiteral("v1-13800138000"));
        QVERIFY(q.value(5).toString().startsWith(QLatin1String("2024-05-01")));
        q.finish();

        // A result for a row that is gone still leaves its trace, and fails nothing.
        const MoveOutcome missing = moveToBadOutbox(db, id, m_now, QStringLiteral("超时"));
        QCOMPARE(missing.status, MoveStatus::RowMissing);
        QCOMPARE(countRows(db, QStringLiteral("badoutbox")), 1);
    }

    void failedResultWriteKeepsOutboxRow_data() { addEngines(); }
    void failedResultWriteKeepsOutboxRow()
    {
        Database db;
        if (!openFresh(db))
            QSKIP("PostgreSQL test cluster not configured");
        const qint64 id = insertOutbox(db, QStringLiteral("13800138000"), m_now.addSecs(-5));
        QSqlQuery q(db.connection());
        QVERIFY(q.exec(QStringLiteral("drop table badoutbox")));
        QCOMPARE(moveToBadOutbox(db, id, m_now, QStringLiteral("n")).status, MoveStatus::Failed);
        QCOMPARE(countRows(db, QStringLiteral("outbox")), 1);
    }

    void sendTimeFormsOfEveryEngine_data() { addEngines(); }
    void sendTimeFormsOfEveryEngine()
    {
        // On SQLite "2025/1/5 10:00:00" and one-digit fields were compared as text and were not
        // due when they should be; the other engines read them as dates.
        Database db;
        if (!openFresh(db))
            QSKIP("PostgreSQL not configured");
        const struct
        {
            const char *written;
            QTime due;
        } forms[] = {
            {"2025/1/5 10:00:00", QTime(10, 0, 0)},   {"2025-1-5 9:5:7", QTime(9, 5, 7)},
            {"2025-01-05T10:00:00", QTime(10, 0, 0)}, {"2025-01-05 10:00:00.500", QTime(10, 0, 0)},
            {"2025-01-05", QTime(0, 0, 0)},           {"2025/01/05 10:00", QTime(10, 0, 0)},
            {"2025-01-05 10:00:00", QTime(10, 0, 0)},
        };
        QSqlQuery q(db.connection());
        for (const auto &form : forms) {
            QVERIFY(q.exec(QStringLiteral("delete from outbox")));
            QVERIFY(q.exec(QStringLiteral("insert into outbox (Mbno, Msg, SendTime) values "
                                          "('13800000000', 'x', '%1')")
                               .arg(QLatin1String(form.written))));
            const QDateTime due(QDate(2025, 1, 5), form.due);
            QVERIFY2(!selectNextRow(db, 1, QStringLiteral("|不限范围|"), due.addSecs(-1)),
                     form.written);
            QVERIFY2(selectNextRow(db, 1, QStringLiteral("|不限范围|"), due.addSecs(1)),
                     form.written);
            // An update by an application is read the same way.
            QVERIFY(q.exec(QStringLiteral("update outbox set SendTime='%1'")
                               .arg(QLatin1String(form.written))));
            QVERIFY2(!selectNextRow(db, 1, QStringLiteral("|不限范围|"), due.addSecs(-1)),
                     form.written);
        }
        if (db.dialect() == Dialect::Sqlite) {
            QVERIFY(q.exec(QStringLiteral("select SendTime from outbox")) && q.next());
            QCOMPARE(q.value(0).toString(), QStringLiteral("2025-01-05 10:00:00"));
            // A text that is no date stays as written and is listed for the run log.
            QVERIFY(q.exec(QStringLiteral("insert into outbox (Mbno, Msg, SendTime) values "
                                          "('13800000000', 'y', 'abc')")));
            const QList<UnreadableSendTime> bad = unreadableSendTimes(db, 10);
            QCOMPARE(bad.size(), 1);
            QCOMPARE(bad[0].sendTime, QStringLiteral("abc"));
        }
    }

    void sqliteUpgradeNormalisesQueuedRows()
    {
        // An existing default database kept the old triggers, which left "2025/1/5" rows as text.
        QString reason;
        const QString s = freshDatabase(TestEngine::Sqlite, m_folder, &reason);
        QVERIFY2(!s.isEmpty(), qPrintable(reason));
        Database db;
        QVERIFY(db.open(s).ok());
        QSqlQuery q(db.connection());
        QVERIFY(q.exec(QStringLiteral("drop trigger outbox_sendtime_insert")));
        QVERIFY(q.exec(QStringLiteral("drop trigger outbox_sendtime_update")));
        QVERIFY(q.exec(QStringLiteral("insert into outbox (Mbno, Msg, SendTime) values "
                                      "('13800000000', 'old', '2025/1/5 8:00:00')")));
        QVERIFY(q.exec(QStringLiteral(
            "CREATE TRIGGER outbox_sendtime_update AFTER UPDATE OF SendTime ON outbox "
            "WHEN datetime(NEW.SendTime) <> NEW.SendTime BEGIN UPDATE outbox SET SendTime = "
            "datetime(NEW.SendTime) WHERE id = NEW.id; END")));
        // The server brings the triggers up to date at its start, as the set-up does.
        QString error;
        QVERIFY2(upgradeSendTimeTriggers(db, &error), qPrintable(error));
        QVERIFY(q.exec(QStringLiteral("select SendTime from outbox")) && q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("2025-01-05 08:00:00"));
        QVERIFY(q.exec(QStringLiteral("insert into outbox (Mbno, Msg, SendTime) values "
                                      "('13800000000', 'new', '2025/1/5 9:00:00')")));
        QVERIFY(q.exec(QStringLiteral("select SendTime from outbox where Msg='new'")) && q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("2025-01-05 09:00:00"));
    }

    void devicesAndReceivedTraffic_data() { addEngines(); }
    void devicesAndReceivedTraffic()
    {
        Database db;
        if (!openFresh(db))
            QSKIP("PostgreSQL test cluster not configured");
        QList<DeviceRow> devices = readDevices(db);
        QCOMPARE(devices.size(), 16);
        QCOMPARE(devices[2].id, 3);
        QCOMPARE(devices[2].com, QStringLiteral("COM3"));
        QCOMPARE(devices[2].inUseing, QStringLiteral("停用"));
        QCOMPARE(devices[2].forNo, QStringLiteral("|不限范围|"));
        QCOMPARE(devices[2].msgMax, 88888888);
        QVERIFY(saveSentCounters(db, {{3, 120}, {17, 5}}));
        DeviceRow third = *readDevice(db, 3);
        QCOMPARE(third.msgSendedCount, 120);
        third.forNo = QStringLiteral("|移动|联通|");
        third.rate = QStringLiteral("115200");
        QVERIFY(writeDevice(db, third));
        QCOMPARE(readDevice(db, 3)->forNo, QStringLiteral("|移动|联通|"));
        QCOMPARE(readDevice(db, 3)->rate, QStringLiteral("115200"));
        QVERIFY(!readDevice(db, 17));

        QVERIFY(addInboxRow(db, QStringLiteral("+8613800138000"), QStringLiteral("你好"),
                            QStringLiteral("2024-5-1 9:03:04"), 3));
        QVERIFY(addReportRow(db, QStringLiteral("已发送至：13800138000"),
                             QStringLiteral("24/05/01 09:03:04"),
                             QStringLiteral("24/05/01 09:03:09")));
        QVERIFY(addCallRow(db, QStringLiteral("13800138000"), m_now, 3));
        QCOMPARE(countRows(db, QStringLiteral("inbox")), 1);
        QCOMPARE(countRows(db, QStringLiteral("report")), 1);
        QCOMPARE(countRows(db, QStringLiteral("OnCall")), 1);
        QCOMPARE(countRows(db, QStringLiteral("outbox; drop table comset")), -1);
        QSqlQuery q(db.connection());
        QVERIFY(q.exec(QStringLiteral("select ArriveTime, Msg from inbox")) && q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("2024-5-1 9:03:04")); // as the modem said
        QCOMPARE(q.value(1).toString(), QStringLiteral("你好"));
    }
};

QTEST_GUILESS_MAIN(TestOutboxQueue)
#include "tst_outbox_queue.moc"
