// Windows-shaped names map into the machine prefix.
#include "platform/paths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace lonvera::platform;

class TestPaths : public QObject
{
    Q_OBJECT

    QTemporaryDir m_prefix;

private Q_SLOTS:
    void initTestCase() { qputenv("LONVERA_PREFIX", m_prefix.path().toUtf8()); }

    void mapsDrives_data()
    {
        QTest::addColumn<QString>("windows");
        QTest::addColumn<QString>("relative");
        QTest::newRow("backslashes") << "c:\\wintic.ini"
                                     << "drive_c/wintic.ini";
        QTest::newRow("upper drive") << "C:\\wintic.ini"
                                     << "drive_c/wintic.ini";
        QTest::newRow("forward slash") << "C:/20261208.txt"
                                       << "drive_c/20261208.txt";
        QTest::newRow("other drive") << "D:\\AA.mdb"
                                     << "drive_d/AA.mdb";
        QTest::newRow("dot dot") << "c:\\a\\..\\b.ini"
                                 << "drive_c/b.ini";
        QTest::newRow("system folder") << "C:\\WINDOWS\\system32\\x.dll"
                                       << "drive_c/windows/system32/x.dll";
    }
    void mapsDrives()
    {
        QFETCH(QString, windows);
        QFETCH(QString, relative);
        QVERIFY(QDir().mkpath(m_prefix.filePath("drive_c/windows/system32")));
        QCOMPARE(mapWindowsPath(windows), m_prefix.filePath(relative));
    }

    void matchesExistingNamesWithoutCase()
    {
        QVERIFY(QDir().mkpath(m_prefix.filePath("drive_c")));
        QFile file(m_prefix.filePath("drive_c/SmsInKf.ini"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(mapWindowsPath("c:\\smsinkf.INI"), m_prefix.filePath("drive_c/SmsInKf.ini"));
    }

    void leavesPathsWithoutDriveAlone()
    {
        QCOMPARE(mapWindowsPath(".\\qx.qxocx"), QString("./qx.qxocx"));
        QCOMPARE(mapWindowsPath("report/a.txt"), QString("report/a.txt"));
    }

    void mapsComPorts()
    {
        QCOMPARE(comPortDevice(1), QString("/dev/ttyS0"));
        QVERIFY(QDir().mkpath(dosDevicesFolder()));
        // A dangling link still names the port: the modem is merely unplugged.
        QVERIFY(QFile::link("/nonexistent/ttyUSB3", dosDevicesFolder() + "/com3"));
        QCOMPARE(comPortDevice(3), m_prefix.filePath("dosdevices/com3"));
        QCOMPARE(systemFolder(), m_prefix.filePath("drive_c/windows/system32"));
    }

    void programFolderFollowsOverride()
    {
        qputenv("LONVERA_HOME", "/tmp/from-env");
        QCOMPARE(programFolder(), QString("/tmp/from-env"));
        setProgramFolder(m_prefix.path());
        QCOMPARE(programFolder(), m_prefix.path());
        setProgramFolder({});
        qunsetenv("LONVERA_HOME");
        QCOMPARE(programFolder(), QCoreApplication::applicationDirPath());
    }

    void installedProgramKeepsItsFolderWithTheUser()
    {
        const QByteArray savedData = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", m_prefix.filePath("data").toUtf8());
        QCOMPARE(userDataFolder(), m_prefix.filePath("data/lonvera"));
        QCOMPARE(defaultProgramFolder("/usr/lib/lonvera"), m_prefix.filePath("data/lonvera"));
        QCOMPARE(defaultProgramFolder("/nonexistent/bin"), m_prefix.filePath("data/lonvera"));
        QCOMPARE(defaultProgramFolder(m_prefix.path() + "/"), m_prefix.path());
        // A relative XDG_DATA_HOME is invalid and ignored.
        qputenv("XDG_DATA_HOME", "relative/data");
        QCOMPARE(userDataFolder(), QDir::homePath() + "/.local/share/lonvera");
        qunsetenv("XDG_DATA_HOME");
        QCOMPARE(userDataFolder(), QDir::homePath() + "/.local/share/lonvera");
        // --home and $LONVERA_HOME still win over the default.
        qputenv("LONVERA_HOME", "/tmp/from-env");
        QCOMPARE(programFolder(), QString("/tmp/from-env"));
        qunsetenv("LONVERA_HOME");
        if (!savedData.isNull())
            qputenv("XDG_DATA_HOME", savedData);
    }
};

QTEST_GUILESS_MAIN(TestPaths)
#include "tst_paths.moc"
