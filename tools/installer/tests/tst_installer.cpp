// Stavro: the switch, the runtime components, the library copy and registration, and what the
// operator is shown, with a fake package manager so the machine's packages are never touched.
#include "platform/component_registry.h"
#include "tools/installer/installer.h"
#include "tools/installer/installer_window.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <set>

using namespace lonvera;
using namespace lonvera::installer;
using namespace Qt::StringLiterals;

namespace {

class FakePackages : public PackageManager
{
public:
    bool isInstalled(const QString &package) override
    {
        asked.append(package);
        return installed.contains(package);
    }
    bool canInstall() const override { return root; }
    bool install(const QStringList &packages) override
    {
        installCalls.append(packages);
        for (const QString &package : packages)
            installed.insert(package);
        return true;
    }

    std::set<QString> installed;
    bool root = true;
    QStringList asked;
    QList<QStringList> installCalls;
};

QStringList allPackages()
{
    QStringList packages;
    for (const RuntimeComponent &component : runtimeComponents())
        packages += component.packages;
    return packages;
}

bool writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TstInstaller : public QObject
{
    Q_OBJECT

    QTemporaryDir m_prefix;
    QTemporaryDir m_installerFolder;

    QString systemLibrary() const
    {
        return m_prefix.filePath(u"drive_c/windows/system32/libQuillon308.so"_s);
    }
    QString shippedLibrary() const { return m_installerFolder.filePath(u"libQuillon308.so"_s); }

private slots:
    void initTestCase() { qputenv("LONVERA_PREFIX", m_prefix.path().toUtf8()); }
    void init() { QFile::remove(shippedLibrary()); }

    void silentSwitch_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("silent");
        QTest::newRow("none") << QStringList{} << false;
        QTest::newRow("alone") << QStringList{u"/s"_s} << true;
        QTest::newRow("after another") << QStringList{u"x"_s, u"/s"_s} << true;
        QTest::newRow("longer switch") << QStringList{u"/silent"_s} << true;
        QTest::newRow("switch with value") << QStringList{u"/s:quiet"_s} << true;
        // A path that holds "/s" asks for nothing.
        QTest::newRow("path under /srv") << QStringList{u"/srv/lonvera"_s} << false;
        QTest::newRow("path holding /s") << QStringList{u"/home/s/x"_s} << false;
        QTest::newRow("option with a path") << QStringList{u"--dir=/srv"_s} << false;
        QTest::newRow("other case") << QStringList{u"/S"_s} << false;
        QTest::newRow("no slash") << QStringList{u"s"_s} << false;
    }
    void silentSwitch()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, silent);
        QCOMPARE(isSilent(arguments), silent);
    }

    void componentTable()
    {
        const QList<RuntimeComponent> components = runtimeComponents();
        QCOMPARE(components.size(), 3);
        QCOMPARE(components[0].packages, QStringList{u"libqt6serialport6"_s});
        QVERIFY(allPackages().contains(u"libqt6sql6-psql"_s));
        QVERIFY(allPackages().contains(u"libqt6sql6-odbc"_s));
        QVERIFY(allPackages().contains(u"libqt6widgets6"_s));
        const QList<RuntimeComponent> parsed =
            parseRuntimeComponents(u"# comment\n\n a  p1 p2 # trailing\nlonely\nb p3\n"_s);
        QCOMPARE(parsed.size(), 2);
        QCOMPARE(parsed[0].packages, (QStringList{u"p1"_s, u"p2"_s}));
        QCOMPARE(parsed[1].name, u"b"_s);
    }

    void runningTwiceLeavesTheRuntimeAloneAndCopiesAgain()
    {
        FakePackages packages;
        for (const QString &package : allPackages())
            packages.installed.insert(package);
        packages.installed.erase(u"libqt6sql6-odbc"_s);
        Installer installer({u"/s"_s}, m_installerFolder.path(), &packages);

        QVERIFY(writeFile(shippedLibrary(), "first build"));
        Outcome first = installer.install();
        QVERIFY(first.libraryCopied);
        QVERIFY(first.missingPackages.isEmpty());
        QCOMPARE(packages.installCalls, QList<QStringList>{{u"libqt6sql6-odbc"_s}});
        // The components are checked in their order: serial runtime first, the rest last.
        QCOMPARE(packages.asked.first(), u"libqt6serialport6"_s);
        QCOMPARE(packages.asked.mid(0, allPackages().size()), allPackages());

        QVERIFY(writeFile(shippedLibrary(), "second build"));
        Outcome second = installer.install();
        QVERIFY(second.libraryCopied);
        QCOMPARE(packages.installCalls.size(), 1);
        QCOMPARE(readFile(systemLibrary()), QByteArray("second build"));
        QCOMPARE(platform::registeredControlLibrary(), systemLibrary());
    }

    void withoutRootTheCommandIsNamed()
    {
        FakePackages packages;
        packages.root = false;
        packages.installed.insert(u"libqt6serialport6"_s);
        Installer installer({}, m_installerFolder.path(), &packages);
        QVERIFY(writeFile(shippedLibrary(), "library"));
        const Outcome outcome = installer.install();
        QVERIFY(packages.installCalls.isEmpty());
        QVERIFY(!outcome.missingPackages.contains(u"libqt6serialport6"_s));
        QCOMPARE(outcome.missingPackages.size(), allPackages().size() - 1);
        const QStringList messages = installer.finalMessages(outcome);
        QCOMPARE(messages.size(), 2);
        QVERIFY(messages[0].contains(u"sudo apt-get install -y libqt6widgets6 "_s));
        QCOMPARE(messages[1], doneMessage());
    }

    void missingLibraryIsReportedInTheWindow()
    {
        FakePackages packages;
        for (const QString &package : allPackages())
            packages.installed.insert(package);
        Installer installer({}, m_installerFolder.path(), &packages);
        InstallerWindow window(&installer);
        QStringList shown;
        QString captionWhileShown;
        window.setMessageSeam([&](QWidget *, const QString &text) {
            shown.append(text);
            captionWhileShown = window.button()->text();
        });
        QSignalSpy finished(&window, &InstallerWindow::finished);
        window.start();
        QVERIFY(window.isVisible());
        QVERIFY(shown.isEmpty());
        window.button()->click();
        QCOMPARE(shown, QStringList{copyFailedMessage()});
        QCOMPARE(captionWhileShown, u"正在安装..."_s);
        QVERIFY(!window.isVisible());
        QCOMPARE(finished.count(), 1);
    }

    void silentModeShowsNothing_data()
    {
        QTest::addColumn<bool>("libraryShipped");
        QTest::newRow("library beside the installer") << true;
        QTest::newRow("library missing") << false;
    }
    void silentModeShowsNothing()
    {
        QFETCH(bool, libraryShipped);
        FakePackages packages;
        packages.root = false;
        if (libraryShipped)
            QVERIFY(writeFile(shippedLibrary(), "library"));
        Installer installer({u"/silent"_s}, m_installerFolder.path(), &packages);
        InstallerWindow window(&installer);
        int shown = 0;
        window.setMessageSeam([&](QWidget *, const QString &) { ++shown; });
        QSignalSpy finished(&window, &InstallerWindow::finished);
        window.start();
        QVERIFY(!window.isVisible());
        QVERIFY(finished.wait(10000));
        QCOMPARE(shown, 0);
        QVERIFY(!window.isVisible());
    }

    void dpkgKnowsWhatIsInstalled()
    {
        DpkgPackageManager dpkg;
        QVERIFY(dpkg.isInstalled(u"dpkg"_s));
        QVERIFY(!dpkg.isInstalled(u"lonvera-no-such-package"_s));
    }
};

QTEST_MAIN(TstInstaller)
#include "tst_installer.moc"
