// Start-up: compaction of the embedded database file, and opening the shared connection from the
// configured string, in hosted mode, and for SQL Server.
#include "server/db/access_compaction.h"
#include "server/db/schema.h"
#include "server/db/startup_connection.h"

#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace lonvera::db;

namespace {

ino_t inodeOf(const QString &path)
{
    struct stat st
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

QByteArray contentOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestCompaction : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_prefix;
    QString m_home;
    QString m_db;

    QString backupFile() const { return m_prefix.filePath(QStringLiteral("drive_d/AA.mdb")); }

    // A database that has grown and shrunk, so compaction has something to give back.
    void makeGrownDatabase(const QString &file)
    {
        QVERIFY(createDefaultDatabase(file));
        Database db(QStringLiteral("grow"));
        ConnectionTarget t{QStringLiteral("QSQLITE"), file, {}, -1, {}, {}, {}, Engine::Sqlite};
        QVERIFY(db.open(t).ok());
        QSqlQuery q(db.connection());
        QVERIFY(q.exec(QStringLiteral("insert into outbox (Mbno, Msg) with recursive n(i) as "
                                      "(select 1 union all select i+1 from n where i < 5000) "
                                      "select '138', hex(randomblob(100)) from n")));
        QVERIFY(q.exec(QStringLiteral("delete from outbox")));
    }

private slots:
    void init()
    {
        QDir(m_prefix.path()).removeRecursively();
        QVERIFY(QDir().mkpath(m_prefix.filePath(QStringLiteral("drive_d"))));
        qputenv("LONVERA_PREFIX", m_prefix.path().toUtf8());
        m_home = m_prefix.filePath(QStringLiteral("home"));
        m_db = m_home + QStringLiteral("/qx.qxocx");
        makeGrownDatabase(m_db);
    }

    void missingFileDoesNothing()
    {
        QString path = m_home + QStringLiteral("\\none.mdb");
        CompactAccessDatabase(path, true);
        QVERIFY(!QFile::exists(backupFile()));
    }

    void compactsAndReplacesBackupEveryRun()
    {
        QFile old(backupFile());
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("an older backup");
        old.close();
        const QByteArray before = contentOf(m_db);
        QString path = m_home + QStringLiteral("\\qx.qxocx");
        CompactAccessDatabase(path, true);
        QCOMPARE(contentOf(backupFile()), before);
        QVERIFY(QFileInfo(m_db).size() < before.size());
        QVERIFY(!QFile::exists(TempDirectory() + QStringLiteral("temp.mdb")));
        Database db;
        QVERIFY(db.open(defaultConnectionString(m_home)).ok());
        QCOMPARE(db.connection().tables().contains(QStringLiteral("comset")), true);
    }

    void leftoverTempFileIsRemovedFirst()
    {
        QFile leftover(TempDirectory() + QStringLiteral("temp.mdb"));
        QVERIFY(leftover.open(QIODevice::WriteOnly));
        leftover.write("leftover of an earlier run"); // VACUUM INTO refuses a non-empty file
        leftover.close();
        const qint64 before = QFileInfo(m_db).size();
        QString path = m_db;
        CompactAccessDatabase(path, false);
        QVERIFY(QFileInfo(m_db).size() < before);
        QVERIFY(!leftover.exists());
    }

    void noDriveDMeansNoCompaction()
    {
        QVERIFY(QDir(m_prefix.filePath(QStringLiteral("drive_d"))).removeRecursively());
        const QByteArray before = contentOf(m_db);
        QString path = m_db;
        CompactAccessDatabase(path, true);
        QCOMPARE(contentOf(m_db), before);
    }

    void databaseHeldOpenElsewhereStaysIntact()
    {
        const ino_t inode = inodeOf(m_db);
        const QByteArray before = contentOf(m_db);
        {
            Database holder(QStringLiteral("holder"));
            QVERIFY(holder.open(defaultConnectionString(m_home)).ok());
            QString path = m_db;
            CompactAccessDatabase(path, true);
            QCOMPARE(inodeOf(m_db), inode);
            QCOMPARE(contentOf(m_db), before);
            QVERIFY(QFile::exists(backupFile()));
            // The holder's writes still land in the database file.
            QSqlQuery q(holder.connection());
            QVERIFY(q.exec(QStringLiteral("insert into syset (Mkey, Mvalue) values ('k', 'v')")));
        }
        Database reader;
        QVERIFY(reader.open(defaultConnectionString(m_home)).ok());
        QSqlQuery q(reader.connection());
        QVERIFY(q.exec(QStringLiteral("select Mvalue from syset where Mkey='k'")) && q.next());
    }

    void relativeDbqOpensFileInProgramFolder()
    {
        Database db;
        const StartupConnection s = openAtStartup(
            db,
            QStringLiteral("Driver={Microsoft Access Driver (*.mdb)};Dbq=.\\qx.qxocx;Uid=Admin;"),
            m_home, false);
        QVERIFY2(s.outcome.ok(), qPrintable(s.outcome.description));
        QCOMPARE(s.plan.kind, QStringLiteral("mdb"));
        QCOMPARE(db.engine(), Engine::Sqlite);
        QVERIFY(QFile::exists(backupFile())); // compaction ran first
    }

    void missingFileExplained()
    {
        Database db;
        const StartupConnection s = openAtStartup(
            db, QStringLiteral("Driver={Microsoft Access Driver (*.mdb)};Dbq=.\\gone.mdb;Uid=a;"),
            m_home, false);
        QCOMPARE(s.outcome.error, StartupError::MissingDatabase);
        QCOMPARE(s.explanation, QStringLiteral("说明：未找到数据库文件"));
        QVERIFY(!QFile::exists(m_home + QStringLiteral("/gone.mdb")));
    }

    void hostedModeTakesSysetButCompactsSetIniFile()
    {
        // set.ini names an Access file on drive C:; syset of the default database names another.
        const QString setIniFile = m_prefix.filePath(QStringLiteral("drive_c/sms/a.mdb"));
        makeGrownDatabase(setIniFile);
        const QString hostedFile = m_prefix.filePath(QStringLiteral("hosted.db"));
        QVERIFY(createDefaultDatabase(hostedFile));
        {
            Database defaults(QStringLiteral("defaults"));
            QVERIFY(defaults.open(defaultConnectionString(m_home)).ok());
            QSqlQuery q(defaults.connection());
            q.prepare(QStringLiteral("insert into syset (Mkey, Mvalue) values ('database1', ?)"));
            q.addBindValue(QStringLiteral("Driver={Microsoft Access Driver (*.mdb)};Dbq=%1;Uid=a;")
                               .arg(hostedFile));
            QVERIFY(q.exec());
        }
        const QByteArray before = contentOf(setIniFile);
        Database db;
        const StartupConnection s = openAtStartup(
            db,
            QStringLiteral(
                "Driver={Microsoft Access Driver (*.mdb)};Dbq=C:\\sms\\a.mdb;Uid=Admin;"),
            m_home, true);
        QVERIFY2(s.outcome.ok(), qPrintable(s.outcome.description));
        QCOMPARE(s.plan.kind, QStringLiteral("mdb"));
        QCOMPARE(s.plan.accessPath, QStringLiteral("C:\\sms\\a.mdb"));
        QCOMPARE(db.connection().databaseName(), hostedFile);
        QCOMPARE(contentOf(backupFile()), before);
        QVERIFY(QFileInfo(setIniFile).size() < before.size());
    }

    void sqlServerStringHasNoKindAndNoCompaction()
    {
        Database db;
        const StartupConnection s = openAtStartup(
            db,
            QStringLiteral("Provider=SQLOLEDB;Data Source=127.0.0.1,1;Initial Catalog=sms;"
                           "User ID=sa;Password=x"),
            m_home, false);
        QVERIFY(s.plan.kind.isEmpty());
        QVERIFY(!QFile::exists(backupFile()));
        QVERIFY(!s.outcome.ok());
        QCOMPARE(s.outcome.error, StartupError::WrongServer);
    }
};

QTEST_GUILESS_MAIN(TestCompaction)
#include "tst_compaction.moc"
