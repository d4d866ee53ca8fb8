// The autostart entry: where it lives, how its command line is quoted and escaped, which program
// it starts, and that writing and removing it touch nothing else.
#include "server/ui/autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace lonvera::ui;
using namespace Qt::StringLiterals;

class TstAutostart : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { qunsetenv("XDG_CONFIG_HOME"); }

    void entryFollowsConfigHome();
    void execArgumentQuoted_data();
    void execArgumentQuoted();
    void execLineEscapesBackslashes();
    void commandPrefersProgramFoldersBrevin();
    void writeReplacesOnlyItsEntry();
};

void TstAutostart::entryFollowsConfigHome()
{
    qputenv("XDG_CONFIG_HOME", "/tmp/xdg-home");
    QCOMPARE(Autostart::entryPath(), u"/tmp/xdg-home/autostart/Lonvera.desktop"_s);
    // A relative value is not a valid base folder and is ignored.
    qputenv("XDG_CONFIG_HOME", "relative/config");
    QCOMPARE(Autostart::entryPath(), QDir::homePath() + u"/.config/autostart/Lonvera.desktop"_s);
    qunsetenv("XDG_CONFIG_HOME");
    QCOMPARE(Autostart::entryPath(), QDir::homePath() + u"/.config/autostart/Lonvera.desktop"_s);
}

void TstAutostart::execArgumentQuoted_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("quoted");
    QTest::newRow("plain") << u"/opt/lonvera/Brevin"_s << u"/opt/lonvera/Brevin"_s;
    QTest::newRow("blank") << u"/home/li ming/网关/Brevin"_s << u"\"/home/li ming/网关/Brevin\""_s;
    QTest::newRow("dollar and quote") << u"/srv/a$b\"c/Brevin"_s << u"\"/srv/a\\$b\\\"c/Brevin\""_s;
    QTest::newRow("backtick and backslash")
        << u"/srv/a`b\\c/Brevin"_s << u"\"/srv/a\\`b\\\\c/Brevin\""_s;
    QTest::newRow("apostrophe") << u"/srv/it's/Brevin"_s << u"\"/srv/it's/Brevin\""_s;
    QTest::newRow("percent") << u"/srv/100%/Brevin"_s << u"/srv/100%%/Brevin"_s;
    QTest::newRow("empty") << QString() << u"\"\""_s;
}

void TstAutostart::execArgumentQuoted()
{
    QFETCH(QString, argument);
    QFETCH(QString, quoted);
    QCOMPARE(Autostart::execArgument(argument), quoted);
}

void TstAutostart::execLineEscapesBackslashes()
{
    // The quoting's backslash is itself escaped in the string value: \$ is written \\$.
    QCOMPARE(Autostart::execLine({u"/srv/a$b/Brevin"_s, u"--home"_s, u"/srv/a b"_s}),
             u"\"/srv/a\\\\$b/Brevin\" --home \"/srv/a b\""_s);
}

void TstAutostart::commandPrefersProgramFoldersBrevin()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(u"program folder"_s);
    QDir().mkpath(folder);
    QCOMPARE(Autostart::commandFor(folder, u"/usr/bin/Brevin"_s),
             (QStringList{u"/usr/bin/Brevin"_s, u"--home"_s, folder}));
    QFile brevin(folder + u"/Brevin"_s);
    QVERIFY(brevin.open(QIODevice::WriteOnly));
    brevin.close();
    brevin.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QCOMPARE(Autostart::commandFor(folder, u"/usr/bin/Brevin"_s),
             QStringList{folder + u"/Brevin"_s});
}

void TstAutostart::writeReplacesOnlyItsEntry()
{
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    QVERIFY(!Autostart::isSet());
    QVERIFY(Autostart::remove());
    QVERIFY(Autostart::write(u"/opt/my gateway/Brevin"_s));
    QVERIFY(Autostart::isSet());
    QVERIFY(Autostart::write(u"/opt/gateway/Brevin"_s));
    QFile entry(Autostart::entryPath());
    QVERIFY(entry.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(entry.readAll()).split(u'\n');
    QVERIFY(lines.contains(u"[Desktop Entry]"_s));
    QVERIFY(lines.contains(u"Type=Application"_s));
    QVERIFY(lines.contains(u"Name=Lonvera"_s));
    QCOMPARE(lines.filter(u"Exec="_s), QStringList{u"Exec=/opt/gateway/Brevin"_s});
    QCOMPARE(QDir(dir.path() + u"/autostart"_s).entryList(QDir::Files),
             QStringList{u"Lonvera.desktop"_s});
    QVERIFY(Autostart::remove());
    QVERIFY(!Autostart::isSet());
    QVERIFY(QFileInfo(dir.path() + u"/autostart"_s).isDir());
}

QTEST_MAIN(TstAutostart)
#include "tst_autostart.moc"
