// What the start-up says when "set.ini" does not name a database.
#include "server/core/server_app.h"
#include "server/db/schema.h"

#include "fakes.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace lonvera;
using namespace lonvera::server;
using namespace Qt::StringLiterals;

class TstStartupErrors : public QObject
{
    Q_OBJECT
    QTemporaryDir m_prefix;
private slots:
    void initTestCase() { qputenv("LONVERA_PREFIX", m_prefix.path().toUtf8()); }
    void settingsWithoutDatabase_data();
    void settingsWithoutDatabase();
};

void TstStartupErrors::settingsWithoutDatabase_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("saying");
    QTest::newRow("missing") << false << QByteArray() << u"找不到设置文件"_s;
    QTest::newRow("empty") << true << QByteArray("\n; nothing yet\n") << u"是空的"_s;
    QTest::newRow("no database key")
        << true << QByteArray("[Ocxdb]\nuser=x\n[AUTOC]\nAUTOC=1\n") << u"中没有 [Ocxdb]"_s;
}

void TstStartupErrors::settingsWithoutDatabase()
{
    // A set.ini that was missing, empty or without [Ocxdb] database gave the driver manager's
    // "Data source name not found", naming neither the file nor the key.
    QFETCH(bool, exists);
    QFETCH(QByteArray, contents);
    QFETCH(QString, saying);
    QTemporaryDir home;
    // A folder with its database is no first start: nobody writes a set.ini for it.
    QVERIFY(db::createDefaultDatabase(home.filePath(u"qx.qxocx"_s)));
    const QString settingsFile = home.filePath(u"set.ini"_s);
    if (exists) {
        QFile file(settingsFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }
    testing::FakeFactory factory;
    ServerApp app(home.path(), &factory);
    QSignalSpy shown(app.view(), &GatewayView::messageShown);
    QCOMPARE(app.start(1, 0, 0), ServerApp::StartResult::LoadFailed);
    QVERIFY(!shown.isEmpty());
    const QString text = shown.last().at(0).toString();
    QVERIFY2(text.contains(saying), qPrintable(text));
    QVERIFY2(text.contains(settingsFile), qPrintable(text));
    QVERIFY2(text.contains(u"database="_s), qPrintable(text));
    QVERIFY2(!text.contains(u"Data source name"_s), qPrintable(text));
}

QTEST_GUILESS_MAIN(TstStartupErrors)
#include "tst_startup_errors.moc"
