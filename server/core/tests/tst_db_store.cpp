// The store on a real database through its faults: a PostgreSQL server stopped and started again
// (a private cluster of this test), another program's lock on the SQLite file, a file that cannot
// grow, and queued rows whose SendTime is no date.
#include "server/core/db_gateway_store.h"
#include "server/db/database.h"
#include "server/db/schema.h"
#include "server/db/tests/test_databases.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using namespace lonvera;
using namespace lonvera::server;
using namespace Qt::StringLiterals;

namespace {

QString script()
{
    return QStringLiteral(LONVERA_SOURCE_DIR) + u"/scripts/pg-cluster.sh"_s;
}

bool runScript(const QStringList &arguments, QString *output = nullptr)
{
    QProcess p;
    p.start(u"bash"_s, QStringList{script()} + arguments);
    if (!p.waitForFinished(120000) || p.exitCode() != 0) {
        qWarning("%s", p.readAllStandardError().constData());
        return false;
    }
    if (output)
        *output = QString::fromUtf8(p.readAllStandardOutput());
    return true;
}

int freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// A cluster of the test's own, as the shared one must keep running for the other tests.
class PrivateCluster
{
public:
    ~PrivateCluster()
    {
        if (!m_dir.isEmpty()) {
            runScript({u"stop"_s, m_dir});
            QDir(m_dir).removeRecursively();
        }
    }
    bool start()
    {
        // Under /tmp itself: the postgres user cannot enter a private temporary folder of root.
        m_dir =
            QDir::tempPath() + u"/lonvera-pg-store-%1"_s.arg(QCoreApplication::applicationPid());
        m_port = freePort();
        return runScript({u"start"_s, m_dir, QString::number(m_port)});
    }
    bool stop() { return runScript({u"stop"_s, m_dir}); }
    bool resume() { return runScript({u"resume"_s, m_dir, QString::number(m_port)}); }
    QString connectionString() const
    {
        return u"Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=%1;Database=lonvera_test;"
               u"Uid=postgres;Pwd=;"_s.arg(m_port);
    }

private:
    QString m_dir;
    int m_port = 0;
};

qint64 scalar(db::Database &db, const QString &sql)
{
    QSqlQuery q(db.connection());
    if (!q.exec(sql) || !q.next())
        return -1;
    return q.value(0).toLongLong();
}

// A fresh SQLite database in dir, opened on db; its connection string, empty (and a warning) when
// it could not be made.
QString openFreshSqlite(const QTemporaryDir &dir, db::Database &db)
{
    QString reason;
    const QString s = db::test::freshDatabase(db::test::TestEngine::Sqlite, dir, &reason);
    if (s.isEmpty() || !db.open(s, u"mdb"_s).ok()) {
        qWarning("no fresh SQLite database: %s", qPrintable(reason));
        return {};
    }
    return s;
}

// Retries moving row id to SendedOutBox until the store is back; the first success ends the wait,
// so the row is moved once.
bool movedOnceBack(DbGatewayStore &store, qint64 id, int timeoutMs)
{
    return QTest::qWaitFor(
        [&] {
            return store.moveToSent(id, QDateTime::currentDateTime()).status == MoveStatus::Moved;
        },
        timeoutMs);
}

} // namespace

class TstDbStore : public QObject
{
    Q_OBJECT
private slots:
    void postgresqlRestart();
    void sqliteLockedByAnotherProgram();
    void sqliteFileFull();
    void unreadableSendTimeReportedOnce();

private:
    QStringList m_log;
    void attachLog(DbGatewayStore &store)
    {
        m_log.clear();
        store.setLog([this](const QString &line) { m_log << line; });
    }
};

void TstDbStore::postgresqlRestart()
{
    // A PostgreSQL restart stopped the gateway for good: the same error four times a second and
    // never a reconnect; results of rows mid-send were lost.
    if (!QFileInfo::exists(u"/usr/lib/postgresql"_s))
        QFAIL("PostgreSQL is not installed (scripts/install-deps.sh)");
    PrivateCluster cluster;
    QVERIFY(cluster.start());
    db::Database db;
    QVERIFY(db.open(cluster.connectionString()).ok());
    QVERIFY(db::createSchema(db));
    const QDateTime past = QDateTime::currentDateTime().addSecs(-60);
    const qint64 first = db::test::insertOutbox(db, u"13800000001"_s, past);
    const qint64 second = db::test::insertOutbox(db, u"13800000002"_s, past);

    DbGatewayStore store(db);
    attachLog(store);
    const Claim mid = store.claimNext(1, u"|不限范围|"_s, QDateTime::currentDateTime());
    QCOMPARE(mid.status, ClaimStatus::Claimed);
    QCOMPARE(mid.message.id, first);

    QVERIFY(cluster.stop());
    // The row was mid-send: its result and a message received meanwhile wait in the store.
    QCOMPARE(store.moveToSent(first, QDateTime::currentDateTime()).status, MoveStatus::Failed);
    QVERIFY(store.unavailable());
    QVERIFY(store.addInbox(u"13900000009"_s, u"kept"_s, u"2026-12-08 10:00:00"_s, 1, nullptr));
    QCOMPARE(store.keptRows(), 1);
    for (int i = 0; i < 20; ++i) {
        QCOMPARE(store.claimNext(1, u"|不限范围|"_s, QDateTime::currentDateTime()).status,
                 ClaimStatus::Failed);
        QCOMPARE(store.count(u"outbox"_s), -1);
    }
    QCOMPARE(m_log.size(), 1);
    QVERIFY2(m_log[0].contains(u"数据库连接中断"_s), qPrintable(m_log[0]));

    // Attempts while the server is still down fail without a further line.
    QTest::qWait(1500);
    QCOMPARE(store.count(u"outbox"_s), -1);
    QCOMPARE(m_log.size(), 1);

    QVERIFY(cluster.resume());
    QVERIFY(movedOnceBack(store, first, 30000));
    QVERIFY(!store.unavailable());
    QCOMPARE(store.keptRows(), 0);
    QCOMPARE(m_log.size(), 2);
    QCOMPARE(m_log[1], u"：数据库已恢复"_s);
    // The statements were prepared again on the new connection.
    const Claim next = store.claimNext(1, u"|不限范围|"_s, QDateTime::currentDateTime());
    QCOMPARE(next.status, ClaimStatus::Claimed);
    QCOMPARE(next.message.id, second);
    QCOMPARE(scalar(db, u"select count(*) from SendedOutBox where mbno='13800000001'"_s), 1);
    QCOMPARE(scalar(db, u"select count(*) from inbox where Msg='kept'"_s), 1);
}

void TstDbStore::sqliteLockedByAnotherProgram()
{
    // Another program's write lock on the SQLite file froze the server thread up to 30 s per
    // write, and the failure line had no reason (it was read from the wrong query).
    QTemporaryDir dir;
    db::Database db;
    const QString s = openFreshSqlite(dir, db);
    QVERIFY(!s.isEmpty());
    const qint64 id =
        db::test::insertOutbox(db, u"13800000001"_s, QDateTime::currentDateTime().addSecs(-5));
    DbGatewayStore store(db);
    attachLog(store);
    QCOMPARE(store.claimNext(1, u"|不限范围|"_s, QDateTime::currentDateTime()).status,
             ClaimStatus::Claimed);

    db::Database other(u"other-program"_s);
    QVERIFY(other.open(s).ok());
    QVERIFY(other.beginWrite());
    QElapsedTimer held;
    held.start();
    const Move locked = store.moveToSent(id, QDateTime::currentDateTime());
    QCOMPARE(locked.status, MoveStatus::Failed);
    QVERIFY2(held.elapsed() < 10000, "the write waited for the lock as long as it was held");
    QVERIFY(store.unavailable());
    QCOMPARE(store.moveToSent(id, QDateTime::currentDateTime()).status, MoveStatus::Failed);
    QCOMPARE(m_log.size(), 1);
    QVERIFY2(m_log[0].contains(u"database is locked"_s), qPrintable(m_log[0]));

    other.rollback();
    QVERIFY(movedOnceBack(store, id, 10000));
    QCOMPARE(m_log.size(), 2);
    QCOMPARE(scalar(db, u"select count(*) from SendedOutBox"_s), 1);
    QCOMPARE(scalar(db, u"select count(*) from outbox"_s), 0);
}

void TstDbStore::sqliteFileFull()
{
    // A full disk lost every message received meanwhile and logged four lines a second.
    QTemporaryDir dir;
    db::Database db;
    const QString s = openFreshSqlite(dir, db);
    QVERIFY(!s.isEmpty());
    DbGatewayStore store(db);
    attachLog(store);
    // The file may not grow by a page: the engine answers as it does on a full disk.
    QSqlQuery q(db.connection());
    QVERIFY(q.exec(u"PRAGMA wal_checkpoint(TRUNCATE)"_s));
    const qint64 pages = scalar(db, u"PRAGMA page_count"_s);
    QVERIFY(q.exec(u"PRAGMA max_page_count=%1"_s.arg(pages)));
    const QString big(3000, u'长');
    for (int i = 0; i < 5; ++i)
        QVERIFY(
            store.addInbox(u"1390000000%1"_s.arg(i), big, u"2026-12-08 10:00:00"_s, 1, nullptr));
    QVERIFY(store.unavailable());
    QCOMPARE(store.keptRows(), 5);
    QCOMPARE(m_log.size(), 1);
    QVERIFY2(m_log[0].contains(u"数据库无法写入"_s), qPrintable(m_log[0]));

    QVERIFY(q.exec(u"PRAGMA max_page_count=1073741823"_s));
    QTRY_VERIFY_WITH_TIMEOUT(store.count(u"inbox"_s) == 5, 10000);
    QCOMPARE(store.keptRows(), 0);
    QCOMPARE(m_log.size(), 2);
    // In the order they came, each whole.
    QSqlQuery rows(db.connection());
    QVERIFY(rows.exec(u"select mbno, length(Msg) from inbox order by id"_s));
    for (int i = 0; i < 5; ++i) {
        QVERIFY(rows.next());
        QCOMPARE(rows.value(0).toString(), u"1390000000%1"_s.arg(i));
        QCOMPARE(rows.value(1).toInt(), big.size());
    }
}

void TstDbStore::unreadableSendTimeReportedOnce()
{
    // A SendTime that is no date ("abc") waited for ever without a word.
    QTemporaryDir dir;
    db::Database db;
    const QString s = openFreshSqlite(dir, db);
    QVERIFY(!s.isEmpty());
    QSqlQuery q(db.connection());
    QVERIFY(q.exec(u"insert into outbox (Mbno, Msg, SendTime) values ('138', 'x', 'abc')"_s));
    QVERIFY(q.exec(u"insert into outbox (Mbno, Msg, SendTime) values ('138', 'y', "
                   u"'2025/1/5 10:00:00')"_s));
    DbGatewayStore store(db);
    attachLog(store);
    const Claim c = store.claimNext(1, u"|不限范围|"_s, QDateTime::currentDateTime());
    QCOMPARE(c.status, ClaimStatus::Claimed);
    QCOMPARE(c.message.msg, u"y"_s);
    QCOMPARE(m_log.size(), 1);
    QVERIFY2(m_log[0].contains(u"“abc”"_s), qPrintable(m_log[0]));
    QCOMPARE(store.claimNext(1, u"|不限范围|"_s, QDateTime::currentDateTime()).status,
             ClaimStatus::Claimed); // y again
    QCOMPARE(m_log.size(), 1);
}

QTEST_GUILESS_MAIN(TstDbStore)
#include "tst_db_store.moc"
