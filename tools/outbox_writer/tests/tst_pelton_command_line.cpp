// Pelton's command line as a script runs it: the program itself on SQLite, PostgreSQL and ODBC,
// without a display, writing rows and printing their ids, listing outbox, reading the text from
// standard input; bad arguments and database failures with their exit statuses.
#include "server/db/tests/test_databases.h"
#include "tools/outbox_writer/command_line.h"

#include <QFile>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

using namespace lonvera;
using namespace lonvera::outbox_writer;
using db::test::TestEngine;
using namespace Qt::StringLiterals;

namespace {

struct Run
{
    int status = -1;
    QString out;
    QString err;
};

// The program without any display, so a window it opened by mistake would fail it.
Run pelton(const QStringList &arguments, const QByteArray &input = {})
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    p.setProcessEnvironment(env);
    p.start(QCoreApplication::applicationDirPath() + QStringLiteral("/Pelton"), arguments);
    if (!p.waitForStarted())
        return {};
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(60000))
        p.kill();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

} // namespace

class TestPeltonCommandLine : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_folder;
    QString m_db;

    bool fresh(TestEngine engine)
    {
        QString reason;
        m_db = db::test::freshDatabase(engine, m_folder, &reason);
        if (m_db.isEmpty() && !(engine == TestEngine::PostgreSql && reason.contains("not set")))
            qFatal("cannot prepare %s: %s", qPrintable(db::test::engineName(engine)),
                   qPrintable(reason));
        return !m_db.isEmpty();
    }

    QStringList column(const QString &sql)
    {
        db::Database db(QStringLiteral("tst-pelton-cli"));
        if (!db.open(m_db).ok())
            return {QStringLiteral("<no database>")};
        QSqlQuery query(db.connection());
        if (!query.exec(sql))
            return {query.lastError().text()};
        QStringList out;
        while (query.next())
            out << query.value(0).toString();
        return out;
    }

    void exec(const QString &sql)
    {
        db::Database db(QStringLiteral("tst-pelton-cli-exec"));
        QVERIFY(db.open(m_db).ok());
        QSqlQuery query(db.connection());
        QVERIFY2(query.exec(sql), qPrintable(query.lastError().text()));
    }

private slots:
    void badArgumentsAreOneUsageLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        const QString db = QStringLiteral("x.db");
        QTest::newRow("no database") << QStringList{"--to", "1", "--text", "a"};
        QTest::newRow("both databases")
            << QStringList{"--db", db, "--connection", "Driver=x", "--to", "1", "--text", "a"};
        QTest::newRow("no number") << QStringList{"--db", db, "--text", "a"};
        QTest::newRow("empty number") << QStringList{"--db", db, "--to", " ", "--text", "a"};
        QTest::newRow("no text") << QStringList{"--db", db, "--to", "1"};
        QTest::newRow("negative count")
            << QStringList{"--db", db, "--to", "1", "--text", "a", "--count", "-1"};
        QTest::newRow("count not a number")
            << QStringList{"--db", db, "--to", "1", "--text", "a", "--count", "x"};
        QTest::newRow("bad time") << QStringList{"--db",   db,  "--to", "1",
                                                 "--text", "a", "--at", "tomorrow"};
        QTest::newRow("time without seconds")
            << QStringList{"--db", db, "--to", "1", "--text", "a", "--at", "2026-12-08 10:00"};
        QTest::newRow("unknown option") << QStringList{"--db", db, "--colour"};
        QTest::newRow("option without value") << QStringList{"--db"};
        QTest::newRow("stray argument") << QStringList{"--db", db, "--list", "extra"};
        QTest::newRow("list and write") << QStringList{"--db", db, "--list", "--to", "1"};
        QTest::newRow("text twice")
            << QStringList{"--db", db, "--to", "1", "--text", "a", "--text", "b"};
    }
    void badArgumentsAreOneUsageLine()
    {
        QFETCH(QStringList, arguments);
        QVERIFY(std::holds_alternative<ArgumentError>(parseArguments(arguments)));
        const Run run = pelton(arguments);
        QCOMPARE(run.status, 2);
        QCOMPARE(run.out, QString());
        QCOMPARE(run.err.count(u'\n'), 1);
        QVERIFY(run.err.endsWith(usageLine() + u'\n'));
    }

    void argumentsMakeTheRequest()
    {
        const Command c = parseArguments({"--connection", "Driver={PostgreSQL Unicode};Server=h;",
                                          "--to", "13800138000", "--text", "hi", "--count", "3",
                                          "--at", "2026-12-24 18:30:00", "--report"});
        const auto *write = std::get_if<WriteCommand>(&c);
        QVERIFY(write);
        QCOMPARE(write->connectionString, QStringLiteral("Driver={PostgreSQL Unicode};Server=h;"));
        QCOMPARE(write->request.mbno, QStringLiteral("13800138000"));
        QCOMPARE(rowTexts(write->request), (QStringList{"hi1", "hi2", "hi3"}));
        QCOMPARE(write->request.sendAt, QDateTime(QDate(2026, 12, 24), QTime(18, 30)));
        QVERIFY(write->request.report);

        const Command single = parseArguments({"--db", "a.db", "--to", "1", "--text", "-"});
        QVERIFY(std::get<WriteCommand>(single).textFromInput);
        QVERIFY(!std::get<WriteCommand>(single).request.count);
        QVERIFY(std::get<WriteCommand>(single).connectionString.contains("Microsoft Access"));
        QVERIFY(std::holds_alternative<ListCommand>(parseArguments({"--db", "a.db", "--list"})));
    }

    void writesRowsAndPrintsTheirIds_data()
    {
        QTest::addColumn<TestEngine>("engine");
        QTest::newRow("sqlite") << TestEngine::Sqlite;
        QTest::newRow("postgresql") << TestEngine::PostgreSql;
        QTest::newRow("odbc-sqlite") << TestEngine::OdbcSqlite;
    }
    void writesRowsAndPrintsTheirIds()
    {
        QFETCH(TestEngine, engine);
        if (!fresh(engine))
            QSKIP("PostgreSQL test cluster not configured");
        Run run =
            pelton({"--connection", m_db, "--to", "10086", "--text", "测试内容", "--count", "3"});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.err, QString());
        QCOMPARE(run.out.split(u'\n', Qt::SkipEmptyParts),
                 column(QStringLiteral("select id from outbox order by id")));
        QCOMPARE(column(QStringLiteral("select Msg from outbox order by id")),
                 (QStringList{"测试内容1", "测试内容2", "测试内容3"}));

        run = pelton({"--connection", m_db, "--to", "13800138000", "--text", "later", "--at",
                      "2030-01-02 03:04:05", "--report"});
        QCOMPARE(run.status, 0);
        const QString id = run.out.trimmed();
        QCOMPARE(column(QStringLiteral("select Msg from outbox where id=%1").arg(id)),
                 QStringList{"later"}); // one row of the text as it stands
        QCOMPARE(column(QStringLiteral("select report from outbox where id=%1").arg(id)),
                 QStringList{"1"});
        QVERIFY(column(QStringLiteral("select SendTime from outbox where id=%1").arg(id))
                    .value(0)
                    .startsWith(QLatin1String("2030-01-02")));

        run = pelton({"--connection", m_db, "--list"});
        QCOMPARE(run.status, 0);
        const QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 4);
        QVERIFY(lines.at(0).endsWith(u"\t测试内容1"_s));
        QVERIFY(
            lines.at(3).startsWith(id + QStringLiteral("\t13800138000\t2030-01-02 03:04:05\t")));
    }

    void textFromStandardInputKeepsEveryCharacter()
    {
        QVERIFY(fresh(TestEngine::Sqlite));
        QString text = QStringLiteral("第一行\twith a tab\n");
        while (text.size() < 2000)
            text += QStringLiteral("长消息的内容 long message text\n");
        text = text.left(2000);
        const Run run = pelton({"--db", QString(m_db).section(u'=', 2).section(u';', 0, 0), "--to",
                                "10086", "--text", "-"},
                               (text + u'\n').toUtf8());
        QCOMPARE(run.status, 0);
        const QStringList stored = column(QStringLiteral("select Msg from outbox"));
        QCOMPARE(stored.size(), 1);
        QCOMPARE(stored.first().size(), 2000); // only the final line break is dropped
        QCOMPARE(stored.first(), text);

        const Run listed = pelton({"--connection", m_db, "--list"});
        QCOMPARE(listed.out.count(u'\n'), 1); // line breaks of the text come escaped
        QVERIFY(listed.out.contains(u"第一行\\twith a tab\\n"_s));
    }

    void databaseFailuresGiveTheReason()
    {
        QVERIFY(fresh(TestEngine::Sqlite));
        const QString missing = m_folder.filePath(QStringLiteral("missing.mdb"));
        Run run = pelton({"--db", missing, "--to", "1", "--text", "a"});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(missing), qPrintable(run.err));
        QVERIFY(!QFile::exists(missing)); // no empty database made in its place

        const QString notes = m_folder.filePath(QStringLiteral("notes.txt"));
        QFile f(notes);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("just some notes\n");
        f.close();
        run = pelton({"--db", notes, "--list"});
        QCOMPARE(run.status, 1);
        QVERIFY(!run.err.isEmpty());
        QCOMPARE(run.out, QString());
    }

    void failingInsertWritesNothing()
    {
        QVERIFY(fresh(TestEngine::Sqlite));
        exec(QStringLiteral("create trigger refuse_third before insert on outbox "
                            "when new.Msg = 'm3' begin select raise(abort, 'refused'); end"));
        const Run run = pelton({"--connection", m_db, "--to", "1", "--text", "m", "--count", "5"});
        QCOMPARE(run.status, 1);
        QVERIFY(run.err.contains(QLatin1String("refused")));
        QCOMPARE(run.out, QString()); // no ids: none of them stayed
        QCOMPARE(column(QStringLiteral("select count(*) from outbox")), QStringList{"0"});
    }
};

QTEST_GUILESS_MAIN(TestPeltonCommandLine)
#include "tst_pelton_command_line.moc"
