// The first start of a gateway in a new program folder, and folders that are not new.
#include "platform/profile_file.h"
#include "server/core/first_start.h"
#include "server/core/server_app.h"
#include "server/core/startup.h"

#include "fakes.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace lonvera;
using namespace lonvera::server;
using namespace Qt::StringLiterals;

namespace {

void writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(contents);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TstFirstStart : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;

private slots:
    void initTestCase() { qputenv("LONVERA_PREFIX", m_root.filePath(u"prefix"_s).toUtf8()); }

    void emptyFolderGetsDatabaseAndSettings()
    {
        const QString home = m_root.filePath(u"new/lonvera"_s);
        QString reason;
        QCOMPARE(prepareProgramFolder(home, u"1.2.3"_s, &reason), FirstStart::Prepared);
        platform::ProfileFile set(home + u"/set.ini"_s);
        QCOMPARE(set.readString(u"ocx"_s, u"Ver"_s), u"1.2.3"_s);
        QCOMPARE(set.readString(u"AUTOC"_s, u"AutoOpenSet"_s), u"0"_s);
        QVERIFY(set.readString(u"Ocxdb"_s, u"database"_s).contains(u"qx.qxocx"_s));
        // The commented PostgreSQL example is no second database setting.
        QVERIFY(set.readString(u"Ocxdb"_s, u"database"_s).startsWith(u"Driver={Microsoft"_s));
        QVERIFY(QFileInfo(home + u"/report"_s).isDir());

        {
            QSqlDatabase sqlite = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"first-start"_s);
            sqlite.setDatabaseName(home + u"/qx.qxocx"_s);
            QVERIFY(sqlite.open());
            QSqlQuery count(u"SELECT count(*) FROM comset"_s, sqlite);
            QVERIFY(count.next());
            QCOMPARE(count.value(0).toInt(), 16);
        }
        QSqlDatabase::removeDatabase(u"first-start"_s);
    }

    void existingFolderIsLeftAlone_data()
    {
        QTest::addColumn<QString>("present");
        QTest::newRow("broken settings only") << u"set.ini"_s;
        QTest::newRow("database without settings") << u"qx.qxocx"_s;
    }
    void existingFolderIsLeftAlone()
    {
        QFETCH(QString, present);
        QTemporaryDir home;
        writeFile(home.filePath(present), "[Ocxdb\ngarbage");
        QCOMPARE(prepareProgramFolder(home.path(), u"1.0.0"_s), FirstStart::NotNeeded);
        QCOMPARE(QDir(home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{present});
        QCOMPARE(readFile(home.filePath(present)), QByteArray("[Ocxdb\ngarbage"));
    }

    void unwritableFolderIsReported()
    {
        const QString blocker = m_root.filePath(u"blocker"_s);
        writeFile(blocker, "a file where a folder should be");
        QString reason;
        QCOMPARE(prepareProgramFolder(blocker + u"/lonvera"_s, u"1.0.0"_s, &reason),
                 FirstStart::Failed);
        QVERIFY(reason.contains(blocker));
    }

    void installedGatewayRegistersTheComponentsBesideIt()
    {
        // The program folder of an installed gateway holds no components; the ones shipped
        // beside the executable are registered instead of "not found" at every start.
        QTemporaryDir home;
        QTemporaryDir prefix;
        qputenv("LONVERA_PREFIX", prefix.path().toUtf8());
        ServerSettings settings(home.path());
        settings.setValue(u"ocx"_s, u"Ver"_s, u"7"_s);
        QStringList shown;
        QStringList regServer;
        QVERIFY(registerComponents(
            settings, [&](const QString &text) { shown.append(text); },
            [&](const QString &path) { regServer.append(path); }));
        qputenv("LONVERA_PREFIX", m_root.filePath(u"prefix"_s).toUtf8());
        QCOMPARE(shown, QStringList{});
        const QString system = prefix.filePath(u"drive_c/windows/system32/"_s);
        QVERIFY(QFileInfo::exists(system + u"libQuillon308.so"_s));
        QCOMPARE(regServer, QStringList{system + u"Tarvex80"_s});
    }

    void serverStartsInAnEmptyFolder()
    {
        const QString home = m_root.filePath(u"installed"_s);
        testing::FakeFactory factory;
        ServerApp app(home, &factory);
        QCOMPARE(app.start(1, 0, 0), ServerApp::StartResult::Running);
        QVERIFY(QFileInfo::exists(home + u"/qx.qxocx"_s));
        QVERIFY(app.gateway()->requestClose());
    }
};

QTEST_GUILESS_MAIN(TstFirstStart)
#include "tst_first_start.moc"
