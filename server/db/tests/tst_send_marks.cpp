// The record of rows being sent, on SQLite, PostgreSQL and SQLite through unixODBC: written with
// the claim in one transaction, listed per port while the row waits, swept once the row has moved
// on, left alone when claims are handed back; and added to a default database made without it.
#include "server/db/outbox_queue.h"
#include "server/db/schema.h"
#include "server/db/send_marks.h"
#include "server/db/traffic_tables.h"
#include "test_databases.h"

#include <QSqlQuery>
#include <QTest>

using namespace lonvera::db;
using namespace lonvera::db::test;

class TstSendMarks : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;
    const QDateTime m_since = QDateTime(QDate(2024, 5, 1), QTime(12, 0, 0));

    bool openFresh(Database &db)
    {
        QFETCH(TestEngine, engine);
        QString reason;
        const QString connection = freshDatabase(engine, m_folder, &reason);
        if (connection.isEmpty()) {
            if (engine == TestEngine::PostgreSql && reason.contains(QLatin1String("not set")))
                return false;
            qFatal("cannot prepare %s: %s", qPrintable(engineName(engine)), qPrintable(reason));
        }
        if (!db.open(connection).ok())
            qFatal("cannot open %s", qPrintable(connection));
        return true;
    }

    static QList<qint64> ids(const QList<SendMark> &marks)
    {
        QList<qint64> out;
        for (const SendMark &m : marks)
            out << m.id;
        return out;
    }

    static int comPortOf(Database &db, qint64 id)
    {
        QSqlQuery q(db.connection());
        q.exec(QStringLiteral("select ComPort from outbox where id=%1").arg(id));
        return q.next() ? q.value(0).toInt() : -1;
    }

private slots:
    void markedWithTheClaim_data()
    {
        QTest::addColumn<TestEngine>("engine");
        for (TestEngine e : {TestEngine::Sqlite, TestEngine::PostgreSql, TestEngine::OdbcSqlite})
            QTest::newRow(qPrintable(engineName(e))) << e;
    }
    void markedWithTheClaim()
    {
        Database db;
        if (!openFresh(db))
            QSKIP("PostgreSQL test cluster not configured");
        QVERIFY(ensureSendMarks(db));
        const QDateTime due = QDateTime::currentDateTime().addSecs(-60);
        const qint64 a = insertOutbox(db, QStringLiteral("13800000001"), due.addSecs(-2));
        const qint64 b = insertOutbox(db, QStringLiteral("13800000002"), due.addSecs(-1));
        const qint64 c = insertOutbox(db, QStringLiteral("13800000003"), due, 4);

        const ClaimOutcome first = claimAndMark(db, 3, QStringLiteral("|不限范围|"), m_since, true);
        QCOMPARE(first.status, ClaimStatus::Claimed);
        QCOMPARE(first.row.id, a);
        QCOMPARE(comPortOf(db, a), 3);
        const QList<SendMark> marks = sendMarks(db, 3);
        QCOMPARE(ids(marks), QList<qint64>{a});
        QCOMPARE(marks[0].port, 3);
        QCOMPARE(marks[0].since, m_since);
        // Claimed again by its own port (its worker was busy): one mark, not two.
        QCOMPARE(claimAndMark(db, 3, QStringLiteral("|不限范围|"), m_since.addSecs(5), true).row.id,
                 a);
        QCOMPARE(sendMarks(db, 0).size(), 1);
        QCOMPARE(sendMarks(db, 0)[0].since, m_since.addSecs(5));

        // Moved with its result: the mark is no longer listed, and the sweep drops it.
        QCOMPARE(moveToSendedOutBox(db, a, m_since).status, MoveStatus::Moved);
        QVERIFY(sendMarks(db, 3).isEmpty());
        QVERIFY(sweepSendMarks(db));
        QSqlQuery left(db.connection());
        QVERIFY(left.exec(QStringLiteral("select count(*) from outbox_sending")));
        QVERIFY(left.next());
        QCOMPARE(left.value(0).toInt(), 0);

        // Handing claims back leaves the marked row with its port for its decision.
        QCOMPARE(claimAndMark(db, 3, QStringLiteral("|不限范围|"), m_since, true).row.id, b);
        QCOMPARE(claimedPorts(db).size(), 2);
        QCOMPARE(releaseClaims(db, 4, true), 1);
        QCOMPARE(comPortOf(db, c), 0);
        QCOMPARE(releaseClaims(db, 3, true), 0);
        QCOMPARE(comPortOf(db, b), 3);
        QVERIFY(unmarkSending(db, b));
        QCOMPARE(releaseClaims(db, 3, true), 1);
        QCOMPARE(comPortOf(db, b), 0);
        QVERIFY(claimedPorts(db).isEmpty());
    }

    void defaultDatabaseUpgraded()
    {
        // A default database made before the record existed gets it at the next start.
        const QString file = m_folder.filePath(QStringLiteral("old.qxocx"));
        QVERIFY(createDefaultDatabase(file));
        {
            Database db(QStringLiteral("old"));
            QVERIFY(db.open(QStringLiteral("Driver={Microsoft Access Driver (*.mdb)};Dbq=") + file +
                                QStringLiteral(";Uid=Admin;Pwd=x;"),
                            QStringLiteral("mdb"))
                        .ok());
            QSqlQuery drop(db.connection());
            QVERIFY(drop.exec(QStringLiteral("drop table outbox_sending")));
        }
        Database db(QStringLiteral("upgraded"));
        QVERIFY(db.open(QStringLiteral("Driver={Microsoft Access Driver (*.mdb)};Dbq=") + file +
                            QStringLiteral(";Uid=Admin;Pwd=x;"),
                        QStringLiteral("mdb"))
                    .ok());
        QVERIFY(!db.connection().tables().contains(QStringLiteral("outbox_sending")));
        QVERIFY(ensureSendMarks(db));
        QVERIFY(db.connection().tables().contains(QStringLiteral("outbox_sending")));
        const qint64 id = insertOutbox(db, QStringLiteral("13800000001"),
                                       QDateTime::currentDateTime().addSecs(-60));
        QCOMPARE(claimAndMark(db, 1, QStringLiteral("|不限范围|"), m_since, true).row.id, id);
        QCOMPARE(ids(sendMarks(db, 1)), QList<qint64>{id});
    }
};

QTEST_GUILESS_MAIN(TstSendMarks)
#include "tst_send_marks.moc"
