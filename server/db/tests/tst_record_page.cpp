// Paged reading of any query on its own connection, on SQLite and PostgreSQL.
#include "server/db/record_page.h"
#include "test_databases.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

using namespace lonvera::db;
using namespace lonvera::db::test;

class TestRecordPage : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_folder;

    void addEngines()
    {
        QTest::addColumn<TestEngine>("engine");
        for (TestEngine e : {TestEngine::Sqlite, TestEngine::PostgreSql})
            QTest::newRow(qPrintable(engineName(e))) << e;
    }

    // A fresh database (with its 16 comset rows) of the row's engine; empty when PostgreSQL is
    // not configured.
    QString fresh()
    {
        QFETCH(TestEngine, engine);
        QString reason;
        const QString s = freshDatabase(engine, m_folder, &reason);
        if (s.isEmpty() && !(engine == TestEngine::PostgreSql && reason.contains("not set")))
            qFatal("cannot prepare %s: %s", qPrintable(engineName(engine)), qPrintable(reason));
        return s;
    }

    QString sqlite()
    {
        QString reason;
        const QString s = freshDatabase(TestEngine::Sqlite, m_folder, &reason);
        if (s.isEmpty())
            qFatal("cannot prepare sqlite: %s", qPrintable(reason));
        return s;
    }

    static void exec(const QString &connectionString, const QString &sql)
    {
        Database db(QStringLiteral("tst-record-page"));
        QVERIFY(db.open(connectionString).ok());
        QSqlQuery query(db.connection());
        QVERIFY2(query.exec(sql), qPrintable(query.lastError().text()));
    }

    static PageRequest devices(const QString &s, int pageSize, int pageNumber, int limit = 16)
    {
        PageRequest r;
        r.connectionString = s;
        r.query = QStringLiteral("select * from comset where id <= %1 order by id").arg(limit);
        r.fields = {QStringLiteral("id"), QStringLiteral("SetName"), QStringLiteral("InUseing")};
        r.pageSize = pageSize;
        r.pageNumber = pageNumber;
        return r;
    }

    static QList<int> ids(const RecordPage &page)
    {
        QList<int> out;
        for (const QVariantList &row : page.rows)
            out << row.at(0).toInt();
        return out;
    }

    static QList<int> range(int from, int to)
    {
        QList<int> out;
        for (int i = from; i <= to; ++i)
            out << i;
        return out;
    }

private slots:
    void paging_data()
    {
        QTest::addColumn<TestEngine>("engine");
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("pageSize");
        QTest::addColumn<int>("asked");
        QTest::addColumn<int>("shown");
        QTest::addColumn<int>("pages");
        QTest::addColumn<int>("firstId");
        QTest::addColumn<int>("lastId");
        for (TestEngine e : {TestEngine::Sqlite, TestEngine::PostgreSql}) {
            const QByteArray n = engineName(e).toLatin1() + ": ";
            QTest::newRow(n + "16 devices fit page size 21")
                << e << 16 << 21 << 1 << 1 << 1 << 1 << 16;
            QTest::newRow(n + "middle page") << e << 16 << 5 << 2 << 2 << 4 << 6 << 10;
            QTest::newRow(n + "short last page") << e << 16 << 5 << 4 << 4 << 4 << 16 << 16;
            QTest::newRow(n + "exact multiple has no empty page")
                << e << 16 << 8 << 2 << 2 << 2 << 9 << 16;
            QTest::newRow(n + "page 3 of 2 shows page 1") << e << 16 << 8 << 3 << 1 << 2 << 1 << 8;
            QTest::newRow(n + "far beyond the last page")
                << e << 16 << 8 << 32000 << 1 << 2 << 1 << 8;
            QTest::newRow(n + "page 0 counts as page 1") << e << 16 << 8 << 0 << 1 << 2 << 1 << 8;
            QTest::newRow(n + "empty result") << e << 0 << 21 << 1 << 1 << 0 << 0 << 0;
            QTest::newRow(n + "empty result, page 3") << e << 0 << 21 << 3 << 1 << 0 << 0 << 0;
        }
    }
    void paging()
    {
        const QString s = fresh();
        if (s.isEmpty())
            QSKIP("PostgreSQL test cluster not configured");
        QFETCH(int, limit);
        QFETCH(int, pageSize);
        QFETCH(int, asked);
        QFETCH(int, shown);
        QFETCH(int, pages);
        QFETCH(int, firstId);
        QFETCH(int, lastId);

        const RecordPage page = readRecordPage(devices(s, pageSize, asked, limit));
        QVERIFY2(page.ok(), qPrintable(page.error));
        QCOMPARE(page.pageNumber, shown);
        QCOMPARE(page.pageCount, pages);
        QCOMPARE(page.recordCount, qint64(limit));
        QCOMPARE(ids(page), firstId ? range(firstId, lastId) : QList<int>());
        QCOMPARE(page.hasPreviousPage(), shown > 1);
        QCOMPARE(page.hasNextPage(), shown < pages);
    }

    void nullStaysApartFromEmptyText_data() { addEngines(); }
    void nullStaysApartFromEmptyText()
    {
        const QString s = fresh();
        if (s.isEmpty())
            QSKIP("PostgreSQL test cluster not configured");
        exec(s, QStringLiteral("update comset set SetName=NULL where id=1"));
        exec(s, QStringLiteral("update comset set SetName='' where id=2"));
        const RecordPage page = readRecordPage(devices(s, 21, 1));
        QVERIFY(page.ok());
        QVERIFY(page.value(0, QStringLiteral("SetName")).isNull());
        QCOMPARE(page.value(2, QStringLiteral("SETNAME")).toString(), QStringLiteral("COM3"));
        QVERIFY(!page.value(1, QStringLiteral("SetName")).isNull());
        QCOMPARE(page.value(1, QStringLiteral("SetName")).toString(), QString());
        QCOMPARE(page.value(0, QStringLiteral("InUseing")).toString(), QStringLiteral("停用"));
    }

    // PostgreSQL folds unquoted names to lower case; the fields are named as the schema spells
    // them.
    void fieldsFoundWithoutRegardToCase_data() { addEngines(); }
    void fieldsFoundWithoutRegardToCase()
    {
        const QString s = fresh();
        if (s.isEmpty())
            QSKIP("PostgreSQL test cluster not configured");
        PageRequest r = devices(s, 21, 1);
        r.fields = {QStringLiteral("ID"), QStringLiteral("msgMax"), QStringLiteral("FOR_NO")};
        const RecordPage page = readRecordPage(r);
        QVERIFY2(page.ok(), qPrintable(page.error));
        QCOMPARE(page.rows.at(0).at(1).toLongLong(), 88888888);
        QCOMPARE(page.rows.at(0).at(2).toString(), QStringLiteral("|不限范围|"));
    }

    void failuresGiveTheirReason()
    {
        const QString s = sqlite();
        PageRequest missingField = devices(s, 21, 1);
        missingField.fields << QStringLiteral("NoSuchField");
        PageRequest badQuery = devices(s, 21, 1);
        badQuery.query = QStringLiteral("select * from no_such_table");
        PageRequest missingFile = devices(s, 21, 1);
        missingFile.connectionString =
            QStringLiteral("Driver={Microsoft Access Driver (*.mdb)};Dbq=%1;Uid=Admin;Pwd=;")
                .arg(m_folder.filePath(QStringLiteral("missing.mdb")));
        PageRequest noPageSize = devices(s, 0, 1);

        for (const PageRequest &r : {missingField, badQuery, missingFile, noPageSize}) {
            const RecordPage page = readRecordPage(r);
            QVERIFY(!page.ok());
            QVERIFY(page.rows.isEmpty());
            QVERIFY(!page.hasPreviousPage());
            QVERIFY(!page.hasNextPage());
        }
        QVERIFY(readRecordPage(missingField).error.contains(QLatin1String("NoSuchField")));
    }

    void optionalFieldMayBeMissing()
    {
        const QString s = sqlite();
        PageRequest r = devices(s, 21, 1);
        r.query = QStringLiteral("select id, SetName from comset order by id");
        r.optionalFields = {QStringLiteral("inuseing")};
        const RecordPage page = readRecordPage(r);
        QVERIFY2(page.ok(), qPrintable(page.error));
        QCOMPARE(page.rows.size(), 16);
        QVERIFY(page.value(0, QStringLiteral("InUseing")).isNull());
    }

    void allRecordsWithoutPaging_data() { addEngines(); }
    void allRecordsWithoutPaging()
    {
        const QString s = fresh();
        if (s.isEmpty())
            QSKIP("PostgreSQL test cluster not configured");
        for (int i = 0; i < 30; ++i)
            exec(s, QStringLiteral("insert into outbox (Mbno,Msg) values ('10086','m%1')").arg(i));
        PageRequest r;
        r.connectionString = s;
        r.query = QStringLiteral("select * from outbox order by id");
        r.fields = {QStringLiteral("id"), QStringLiteral("mbno"), QStringLiteral("msg")};
        r.pageSize = 5; // ignored
        r.pageNumber = 3;
        const RecordPage all = readAllRecords(r);
        QVERIFY2(all.ok(), qPrintable(all.error));
        QCOMPARE(all.rows.size(), 30);
        QCOMPARE(all.rows.last().at(2).toString(), QStringLiteral("m29"));
        QCOMPARE(all.pageNumber, 1);
        QVERIFY(!all.hasNextPage());

        exec(s, QStringLiteral("delete from outbox"));
        const RecordPage none = readAllRecords(r);
        QVERIFY(none.ok());
        QCOMPARE(none.pageCount, 0);
        QVERIFY(none.rows.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestRecordPage)
#include "tst_record_page.moc"
