// Statement texts: the T-SQL the gateway sends to SQL Server (no server here to run them on), the
// range filters of every dialect, and the splitting of the schema scripts.
#include "server/db/dispatch_statements.h"
#include "server/db/schema.h"

#include <QTest>

using namespace lonvera::db;

class TestDispatchStatements : public QObject
{
    Q_OBJECT

private slots:
    void tsqlRangeFilter_data()
    {
        QTest::addColumn<QString>("ranges");
        QTest::addColumn<QString>("filter");
        QTest::newRow("all") << "|不限范围|"
                             << "";
        QTest::newRow("mobile and unicom")
            << "|移动|联通|"
            << " and ( LEFT(Mbno, 3)  Between '134' AND '159' OR LEFT(Mbno, 5)  Between '86134' "
               "AND '86159' or  LEFT(Mbno, 3)  Between '130' AND '133' OR LEFT(Mbno, 5)  Between "
               "'86130' AND '86133')";
        QTest::newRow("table order whatever the text order")
            << "|其它|小灵通|"
            << " and ( LEFT(Mbno, 3)='106' or  len(Mbno)<11)";
        QTest::newRow("no known name selects nothing") << "|abc|"
                                                       << " and (1=0)";
    }
    void tsqlRangeFilter()
    {
        QFETCH(QString, ranges);
        QTEST(rangeFilter(ranges, Dialect::TSql).sql, "filter");
    }

    void otherDialectsKeepTheConditions()
    {
        QCOMPARE(rangeFilter(QStringLiteral("|其它|"), Dialect::Sqlite).sql,
                 QStringLiteral(" and ( length(Mbno)<11)"));
        QCOMPARE(rangeFilter(QStringLiteral("|小灵通|"), Dialect::PostgreSql).sql,
                 QStringLiteral(" and ( left(Mbno, 3)='106')"));
        QVERIFY(rangeFilter(QStringLiteral(""), Dialect::Sqlite).matchesNothing);
    }

    void tsqlSelection()
    {
        const RangeFilter filter = rangeFilter(QStringLiteral("|小灵通|"), Dialect::TSql);
        QCOMPARE(selectionStatement(Dialect::TSql, filter, DueClock::Bound),
                 QStringLiteral(
                     "select top 1 * from (select * from (select top 1 "
                     "id,Mbno,Msg,SendTime,ComPort,report,username from outbox where ComPort=0 "
                     "and convert(datetime,SendTime)<convert(datetime,?,120) and ( LEFT(Mbno, "
                     "3)='106') order by SendTime,id) a union all select * from (select top 1 "
                     "id,Mbno,Msg,SendTime,ComPort,report,username from outbox where ComPort=? "
                     "and convert(datetime,SendTime)<convert(datetime,?,120) and ( LEFT(Mbno, "
                     "3)='106') order by SendTime,id) b) c order by SendTime,id"));
        const QString serverClock = selectionStatement(Dialect::TSql, {}, DueClock::Database);
        QVERIFY(serverClock.contains(QLatin1String(
            "convert(datetime,SendTime)<convert(datetime,convert(char(19),getdate(),120),120)")));
        QCOMPARE(serverClock.count(u'?'), 1);
        QCOMPARE(claimStatement(),
                 QStringLiteral("update outbox set ComPort=? where id=? and ComPort=0"));
    }

    void scriptSplitting()
    {
        const QString script = QStringLiteral(
            "-- head\nCREATE TABLE a (x TEXT DEFAULT '--', -- note's\n y INT);\n"
            "CREATE TRIGGER t AFTER INSERT ON a\nBEGIN\n  UPDATE a SET y = 1;\nEND;\n"
            "IF 1=1\nCREATE TABLE b (z int)\nGO\n");
        const QStringList statements = splitSqlScript(script);
        QCOMPARE(statements.size(), 3);
        QCOMPARE(statements[0], QStringLiteral("CREATE TABLE a (x TEXT DEFAULT '--',\ny INT)"));
        QVERIFY(statements[1].endsWith(QLatin1String("UPDATE a SET y = 1;\nEND;")));
        QCOMPARE(statements[2], QStringLiteral("IF 1=1\nCREATE TABLE b (z int)"));
        // Each engine's script is complete: eight tables, the two outbox indexes, the 16 devices.
        for (Dialect d : {Dialect::Sqlite, Dialect::PostgreSql, Dialect::TSql}) {
            const QStringList parts = splitSqlScript(schemaScript(d));
            QCOMPARE(parts.filter(QRegularExpression(QStringLiteral("CREATE TABLE"))).size(), 8);
            QCOMPARE(parts.filter(QRegularExpression(QStringLiteral("CREATE INDEX"))).size(), 2);
            QCOMPARE(parts.filter(QRegularExpression(QStringLiteral("INSERT INTO comset"))).size(),
                     1);
        }
    }
};

QTEST_GUILESS_MAIN(TestDispatchStatements)
#include "tst_dispatch_statements.moc"
