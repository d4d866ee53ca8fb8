// Statement texts: the T-SQL the gateway sends to SQL Server (no server here to run them on), the
// range filters of every dialect, and the splitting of the schema scripts.
#include "server/db/dispatch_statements.h"
#include "server/db/schema.h"

#include <QRegularExpression>
#include <QSet>
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

    void tsqlSelection_data()
    {
        QTest::addColumn<QString>("ranges");
        QTest::addColumn<int>("clock");
        QTest::addColumn<QString>("due");
        QTest::addColumn<QStringList>("boundValues");
        const QString bound = QStringLiteral("convert(datetime,SendTime)<convert(datetime,?,120)");
        const QString server = QStringLiteral(
            "convert(datetime,SendTime)<convert(datetime,convert(char(19),getdate(),120),120)");
        QTest::newRow("one range, time bound")
            << "|小灵通|" << int(DueClock::Bound) << bound
            << QStringList{QStringLiteral("time"), QStringLiteral("port"), QStringLiteral("time")};
        QTest::newRow("two ranges, server clock") << "|移动|联通|" << int(DueClock::Database)
                                                  << server << QStringList{QStringLiteral("port")};
        QTest::newRow("no range, time bound")
            << "|不限范围|" << int(DueClock::Bound) << bound
            << QStringList{QStringLiteral("time"), QStringLiteral("port"), QStringLiteral("time")};
    }
    // Checked by its parts rather than as one text, so that a harmless change of spacing or of
    // the order of conditions does not fail it, while a lost condition, a lost "top 1" or a
    // placeholder out of order does.
    void tsqlSelection()
    {
        QFETCH(QString, ranges);
        QFETCH(int, clock);
        QFETCH(QString, due);
        QFETCH(QStringList, boundValues);
        const RangeFilter filter = rangeFilter(ranges, Dialect::TSql);
        const QString statement =
            selectionStatement(Dialect::TSql, filter, static_cast<DueClock>(clock));

        // One row of the two branches together, the earliest.
        static const QRegularExpression outer(QStringLiteral(
            R"(^select top 1 \* from \(select \* from \((.*)\) a union all select \* from )"
            R"(\((.*)\) b\) c order by SendTime,id$)"));
        const QRegularExpressionMatch parts = outer.match(statement);
        QVERIFY2(parts.hasMatch(), qPrintable(statement));

        // Each branch: one row by itself, in the same order, with its port condition.
        static const QRegularExpression branch(
            QStringLiteral(R"(^select top 1 id,Mbno,Msg,SendTime,ComPort,report,username )"
                           R"(from outbox where (.*) order by SendTime,id$)"));
        const QString filterCondition = filter.sql.mid(QStringLiteral(" and ").size());
        QStringList placeholders;
        const QStringList ports{QStringLiteral("ComPort=0"), QStringLiteral("ComPort=?")};
        for (int i = 0; i < 2; ++i) {
            const QRegularExpressionMatch b = branch.match(parts.captured(i + 1));
            QVERIFY2(b.hasMatch(), qPrintable(parts.captured(i + 1)));
            const QStringList conditions = b.captured(1).split(QStringLiteral(" and "));
            QStringList expected{ports[i], due};
            if (!filter.sql.isEmpty())
                expected << filterCondition;
            QCOMPARE(QSet<QString>(conditions.begin(), conditions.end()),
                     QSet<QString>(expected.begin(), expected.end()));
            QCOMPARE(conditions.size(), expected.size());
            for (const QString &condition : conditions) {
                for (qsizetype n = condition.count(u'?'); n > 0; --n)
                    placeholders << (condition == ports[i] ? QStringLiteral("port")
                                                           : QStringLiteral("time"));
            }
        }
        QCOMPARE(placeholders, boundValues);
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
        // Each engine's script is complete: the eight tables of the applications and the record of
        // rows being sent, the two outbox indexes, the 16 devices.
        for (Dialect d : {Dialect::Sqlite, Dialect::PostgreSql, Dialect::TSql}) {
            const QStringList parts = splitSqlScript(schemaScript(d));
            QCOMPARE(parts.filter(QRegularExpression(QStringLiteral("CREATE TABLE"))).size(), 9);
            QCOMPARE(parts.filter(QRegularExpression(QStringLiteral("CREATE INDEX"))).size(), 2);
            QCOMPARE(parts.filter(QRegularExpression(QStringLiteral("INSERT INTO comset"))).size(),
                     1);
        }
    }
};

QTEST_GUILESS_MAIN(TestDispatchStatements)
#include "tst_dispatch_statements.moc"
