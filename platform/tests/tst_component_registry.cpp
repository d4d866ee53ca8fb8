// Registering the control library and a local server in the prefix's registry file.
#include "platform/component_registry.h"
#include "platform/registry_file.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace lonvera::platform;

class TestComponentRegistry : public QObject
{
    Q_OBJECT

    QTemporaryDir m_prefix;

    static ServerClass sample()
    {
        return {"{CLASS-ID}", "QXGate.QXSms", "{TYPELIB}", "{IFACE}", "{EVENTS}"};
    }

private Q_SLOTS:
    void initTestCase() { qputenv("LONVERA_PREFIX", m_prefix.path().toUtf8()); }

    void libraryKeepsItsVersionWhenNoneIsGiven()
    {
        QVERIFY(registerControlLibrary("/a/libQuillon308.so", "20240101"));
        QVERIFY(registerControlLibrary("/b/libQuillon308.so"));
        QCOMPARE(registeredControlLibrary(), QString("/b/libQuillon308.so"));
        QCOMPARE(RegistryFile().value("Quillon308", "version"), QString("20240101"));
    }

    void localServerRoundTrip()
    {
        QVERIFY(registeredLocalServer(sample().classId).isEmpty());
        QVERIFY(registerLocalServer(sample(), "/opt/x/Tarvex80"));
        QCOMPARE(registeredLocalServer(sample().classId), QString("/opt/x/Tarvex80"));
        RegistryFile registry;
        QCOMPARE(registry.value("QXGate.QXSms", "CLSID"), QString("{CLASS-ID}"));
        QCOMPARE(registry.value("{CLASS-ID}", "EventInterface"), QString("{EVENTS}"));
        QVERIFY(unregisterLocalServer(sample()));
        QVERIFY(registeredLocalServer(sample().classId).isEmpty());
        QVERIFY(registry.value("QXGate.QXSms", "CLSID").isEmpty());
        // A second removal finds nothing and still reports the class gone.
        QVERIFY(unregisterLocalServer(sample()));
    }

    void copyReplacesAndKeepsPermissions()
    {
        const QString source = m_prefix.filePath("src.bin");
        const QString target = m_prefix.filePath("dst.bin");
        QFile out(source);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("new");
        out.close();
        QVERIFY(QFile::setPermissions(source, QFile::permissions(source) | QFile::ExeOwner));
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old contents");
        old.close();

        QVERIFY(copyComponent(source, target));
        QFile copied(target);
        QVERIFY(copied.open(QIODevice::ReadOnly));
        QCOMPARE(copied.readAll(), QByteArray("new"));
        QVERIFY(QFile::permissions(target) & QFile::ExeOwner);
        QVERIFY(!copyComponent(m_prefix.filePath("missing.bin"), target));
        QVERIFY(!copyComponent(m_prefix.path(), m_prefix.filePath("folder-copy")));
    }
};

QTEST_GUILESS_MAIN(TestComponentRegistry)
#include "tst_component_registry.moc"
