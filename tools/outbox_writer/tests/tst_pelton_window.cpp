// The outbox writer's window on SQLite databases: asking for the file on showing, resizing and
// restoring, the list of outbox, writing rows, and the failures that must leave the window
// usable with nothing half-written.
#include "scripted_prompts.h"
#include "server/db/tests/test_databases.h"
#include "tools/outbox_writer/form1.h"
#include "tools/outbox_writer/outbox_rows.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QTreeWidget>

using namespace lonvera;
using namespace lonvera::outbox_writer;
using namespace lonvera::outbox_writer::test;

namespace {

const QString ask = QStringLiteral("请选择mdb数据库文件的路径：");

QString fileOf(const QString &connectionString)
{
    const qsizetype from = connectionString.indexOf(QLatin1String("Dbq=")) + 4;
    return connectionString.mid(from, connectionString.indexOf(u';', from) - from);
}

} // namespace

class TestPeltonWindow : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_folder;
    QString m_file;
    ScriptedPrompts m_prompts;
    std::unique_ptr<Form1> m_window;

    QString freshFile()
    {
        QString reason;
        const QString s = db::test::freshDatabase(db::test::TestEngine::Sqlite, m_folder, &reason);
        if (s.isEmpty())
            qFatal("cannot prepare the database: %s", qPrintable(reason));
        return fileOf(s);
    }

    QStringList column(const QString &sql, const QString &file = {})
    {
        db::Database db(QStringLiteral("tst-pelton-check"));
        if (!db.open(fileConnectionString(file.isEmpty() ? m_file : file)).ok())
            return {QStringLiteral("<no database>")};
        QSqlQuery query(db.connection());
        QStringList out;
        if (!query.exec(sql))
            return {query.lastError().text()};
        while (query.next())
            out << query.value(0).toString();
        return out;
    }

    void exec(const QString &sql)
    {
        db::Database db(QStringLiteral("tst-pelton-exec"));
        QVERIFY(db.open(fileConnectionString(m_file)).ok());
        QSqlQuery query(db.connection());
        QVERIFY2(query.exec(sql), qPrintable(query.lastError().text()));
    }

    QTreeWidget *list() const { return m_window->findChild<QTreeWidget *>("ListView1"); }
    QLineEdit *text(const char *name) const { return m_window->findChild<QLineEdit *>(name); }

    void press()
    {
        m_prompts.messages.clear();
        m_prompts.kinds.clear();
        QTest::mouseClick(m_window->findChild<QPushButton *>("Command1"), Qt::LeftButton);
    }

    QStringList headers() const
    {
        QStringList out;
        for (int c = 0; c < list()->columnCount(); ++c)
            out << list()->headerItem()->text(c);
        return out;
    }

    // Shows the window on a fresh database and waits until it is connected.
    void showConnected()
    {
        m_prompts.files = {m_file};
        m_window->show();
        QTRY_VERIFY(m_window->isConnected());
        QCOMPARE(m_prompts.opens, 1);
    }

private slots:
    void init()
    {
        m_file = freshFile();
        m_prompts = ScriptedPrompts();
        m_window = std::make_unique<Form1>(&m_prompts);
    }

    void cleanup() { m_window.reset(); }

    void firstShowingAsksAndListsAnEmptyOutbox()
    {
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Pelton"));
        QCOMPARE(text("Text1")->text(), QStringLiteral("10086"));
        QCOMPARE(text("Text2")->text(), QStringLiteral("测试内容"));
        QCOMPARE(text("Text3")->text(), QStringLiteral("100"));
        QCOMPARE(m_window->findChild<QPushButton *>("Command1")->text(),
                 QStringLiteral("插入记录"));
        QCOMPARE(m_prompts.opens, 0);
        showConnected();
        QCOMPARE(m_prompts.messages, QStringList{ask});
        QVERIFY(m_window->connectionString().startsWith(
            QLatin1String("Driver={Microsoft Access Driver (*.mdb)};Dbq=")));
        QVERIFY(m_window->connectionString().endsWith(QLatin1String(";Uid=Admin;Pwd=;")));
        QCOMPARE(headers(), (QStringList{"id", "ID", "手机号", "内容"}));
        QCOMPARE(list()->topLevelItemCount(), 0);
        QCOMPARE(list()->columnWidth(0), 0);
    }

    void defaultsWriteAHundredNumberedRows()
    {
        showConnected();
        press();
        QCOMPARE(m_prompts.messages, QStringList{"ok"});
        QStringList expected;
        for (int i = 1; i <= 100; ++i)
            expected << QStringLiteral("测试内容%1").arg(i);
        QCOMPARE(column(QStringLiteral("select Msg from outbox order by id")), expected);
        QCOMPARE(column(QStringLiteral("select distinct Mbno from outbox")), QStringList{"10086"});
        // Only the number and the text are written; the rest are the table's defaults.
        QCOMPARE(column(QStringLiteral("select distinct ComPort || report || username from "
                                       "outbox")),
                 QStringList{"00"});
        QCOMPARE(list()->topLevelItemCount(), 100);
        QCOMPARE(list()->topLevelItem(99)->text(3), QStringLiteral("测试内容100"));
        QCOMPARE(list()->topLevelItem(99)->text(2), QStringLiteral("10086"));
    }

    void zeroRowsStillSaysOkAndRefreshes()
    {
        showConnected();
        exec(QStringLiteral("insert into outbox (Mbno, Msg) values ('123', 'from elsewhere')"));
        QCOMPARE(list()->topLevelItemCount(), 0);
        text("Text3")->setText(QStringLiteral("0"));
        press();
        QCOMPARE(m_prompts.messages, QStringList{"ok"});
        QCOMPARE(column(QStringLiteral("select count(*) from outbox")), QStringList{"1"});
        QCOMPARE(list()->topLevelItemCount(), 1); // the refresh shows the other row
    }

    void badRowCountIsToldAndWritesNothing_data()
    {
        QTest::addColumn<QString>("count");
        QTest::newRow("negative") << "-3";
        QTest::newRow("not a number") << "abc";
        QTest::newRow("fraction") << "2.5";
        QTest::newRow("empty") << "";
        QTest::newRow("too large") << "99999999999";
    }
    void badRowCountIsToldAndWritesNothing()
    {
        QFETCH(QString, count);
        showConnected();
        text("Text3")->setText(count);
        press();
        QCOMPARE(m_prompts.messages.size(), 1);
        QVERIFY(m_prompts.messages.first().contains(count));
        QCOMPARE(m_prompts.kinds.first(), Prompts::Kind::Warning);
        QCOMPARE(column(QStringLiteral("select count(*) from outbox")), QStringList{"0"});
        // Still usable: a good count writes.
        text("Text3")->setText(QStringLiteral(" 2 "));
        press();
        QCOMPARE(m_prompts.messages, QStringList{"ok"});
        QCOMPARE(list()->topLevelItemCount(), 2);
    }

    void failingInsertWritesNoneOfItsRows()
    {
        showConnected();
        exec(
            QStringLiteral("create trigger refuse_third before insert on outbox "
                           "when new.Msg = '测试内容3' begin select raise(abort, 'refused'); end"));
        text("Text3")->setText(QStringLiteral("5"));
        press();
        QCOMPARE(m_prompts.messages.size(), 1);
        QVERIFY2(m_prompts.messages.first().contains(QLatin1String("refused")),
                 qPrintable(m_prompts.messages.first()));
        QCOMPARE(m_prompts.kinds.first(), Prompts::Kind::Warning);
        QCOMPARE(column(QStringLiteral("select count(*) from outbox")), QStringList{"0"});
        QCOMPARE(list()->topLevelItemCount(), 0);

        exec(QStringLiteral("drop trigger refuse_third"));
        press();
        QCOMPARE(m_prompts.messages, QStringList{"ok"});
        QCOMPARE(column(QStringLiteral("select count(*) from outbox")), QStringList{"5"});
    }

    void fileThatIsNoDatabaseOfOursIsTold_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("text file") << QByteArray("not a database at all\n");
        QTest::newRow("empty file") << QByteArray();
    }
    void fileThatIsNoDatabaseOfOursIsTold()
    {
        QFETCH(QByteArray, content);
        const QString bad = m_folder.filePath(QStringLiteral("notes.mdb"));
        QFile f(bad);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
        f.close();

        m_prompts.files = {bad};
        m_window->show();
        QTRY_COMPARE(m_prompts.messages.size(), 2);
        QCOMPARE(m_prompts.messages.at(0), ask);
        QVERIFY(m_prompts.messages.at(1).contains(bad));
        QCOMPARE(m_prompts.kinds.at(1), Prompts::Kind::Warning);
        QVERIFY(!m_window->isConnected());
        QCOMPARE(headers(), (QStringList{"id", "ID", "手机号", "内容"}));

        press();
        QCOMPARE(m_prompts.messages.size(), 1);
        QCOMPARE(m_prompts.kinds.first(), Prompts::Kind::Warning);
        QCOMPARE(QFileInfo(bad).size(), content.size()); // nothing was written into it

        // Resizing asks again, and a good file connects.
        m_prompts.files = {m_file};
        m_window->resize(m_window->width() + 40, m_window->height());
        QTRY_VERIFY(m_window->isConnected());
    }

    void resizeAsksAgainAndReconnects()
    {
        showConnected();
        const QString second = freshFile();
        m_prompts.files = {second};
        m_window->resize(m_window->width() + 50, m_window->height() + 20);
        QTRY_COMPARE(m_prompts.opens, 2);
        QTRY_VERIFY(m_window->connectionString().contains(second));
        text("Text3")->setText(QStringLiteral("3"));
        press();
        QCOMPARE(column(QStringLiteral("select count(*) from outbox"), second), QStringList{"3"});
        QCOMPARE(column(QStringLiteral("select count(*) from outbox")), QStringList{"0"});
    }

    // Resizes while the dialog is open make one more ask after it, never a dialog in a dialog.
    void resizesDuringTheDialogAreNotNested()
    {
        showConnected();
        int depth = 0;
        int deepest = 0;
        m_prompts.files = {m_file, m_file};
        m_prompts.whileOpen = [&] {
            ++depth;
            deepest = qMax(deepest, depth);
            for (int i = 1; i <= 5; ++i)
                m_window->resize(m_window->width() + i, m_window->height());
            QCoreApplication::processEvents();
            --depth;
        };
        m_window->resize(m_window->width() + 30, m_window->height());
        QTRY_COMPARE(m_prompts.opens, 3);
        QCoreApplication::processEvents(); // no further ask is queued
        QCOMPARE(m_prompts.opens, 3);
        QCOMPARE(deepest, 1);
        QVERIFY(m_window->isConnected());
    }

    void restoringFromMinimisedAsksAgain()
    {
        showConnected();
        m_prompts.files = {m_file};
        m_window->setWindowState(Qt::WindowMinimized);
        QCoreApplication::processEvents();
        const int asked = m_prompts.opens;
        m_window->setWindowState(Qt::WindowNoState);
        QTRY_COMPARE(m_prompts.opens, asked + 1);
        QVERIFY(m_window->isConnected());
    }

    void noFileChosenEndsTheProgram()
    {
        QSignalSpy ended(m_window.get(), &Form1::programEndRequested);
        m_window->show();
        QTRY_COMPARE(ended.size(), 1);
        QCOMPARE(m_prompts.messages, QStringList{ask});
        m_window->resize(m_window->width() + 10, m_window->height());
        QCoreApplication::processEvents();
        QCOMPARE(m_prompts.opens, 1); // an ending program asks nothing more
        QCOMPARE(ended.size(), 1);
    }
};

QTEST_MAIN(TestPeltonWindow)
#include "tst_pelton_window.moc"
