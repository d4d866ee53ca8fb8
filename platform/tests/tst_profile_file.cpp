// Profile files behave as Windows programs expect of them.
#include "platform/profile_file.h"
#include "platform/text_codec.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using lonvera::platform::ProfileFile;

class TestProfileFile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write test file");
        file.write(bytes);
        return path;
    }

    static QByteArray readBytes(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private Q_SLOTS:
    void readsValues_data()
    {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        QTest::newRow("exact") << "set"
                               << "Speed"
                               << "2";
        QTest::newRow("section case") << "SET"
                                      << "Speed"
                                      << "2";
        QTest::newRow("key case") << "set"
                                  << "SPEED"
                                  << "2";
        QTest::newRow("trimmed") << "set"
                                 << "Title"
                                 << "网关 一号";
        QTest::newRow("quotes stripped") << "set"
                                         << "Quoted"
                                         << " spaced ";
        QTest::newRow("empty value is not the default") << "set"
                                                        << "Empty"
                                                        << "";
        QTest::newRow("missing key gives default") << "set"
                                                   << "Nope"
                                                   << "dflt";
        QTest::newRow("missing section gives default") << "other"
                                                       << "Speed"
                                                       << "dflt";
        QTest::newRow("first duplicate wins") << "set"
                                              << "Dup"
                                              << "first";
        QTest::newRow("section header with blanks") << "spaced"
                                                    << "k"
                                                    << "v";
    }
    void readsValues()
    {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        const QString path =
            writeFile("read.ini", "; comment\r\n[set]\r\n Speed = 2 \r\nTitle=  网关 一号  \r\n"
                                  "Quoted=\" spaced \"\r\nEmpty=\r\nDup=first\r\nDup=second\r\n"
                                  "[ spaced ]\r\nk=v\r\n");
        QCOMPARE(ProfileFile(path).readString(section, key, "dflt"), expected);
    }

    void cutsLongValuesToTheBuffer()
    {
        const QString path = writeFile("long.ini", "[a]\nk=" + QByteArray(300, 'x') + "\n");
        ProfileFile file(path);
        QCOMPARE(file.readString("a", "k").size(), 127);
        QCOMPARE(file.readString("a", "k", {}, 10).size(), 10);
        QCOMPARE(file.readString("a", "k", {}, -1).size(), 300);
        QCOMPARE(file.readString("a", "missing", QString(200, u'y')).size(), 127);
    }

    void readsIntegersLikeWindows_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("expected");
        QTest::newRow("plain") << QByteArray("42") << 42;
        QTest::newRow("negative") << QByteArray("-7") << -7;
        QTest::newRow("trailing text") << QByteArray("15秒") << 15;
        QTest::newRow("no digits") << QByteArray("abc") << 0;
        QTest::newRow("empty") << QByteArray("") << 0;
    }
    void readsIntegersLikeWindows()
    {
        QFETCH(QByteArray, value);
        QFETCH(int, expected);
        const QString path = writeFile("int.ini", "[a]\nk=" + value + "\n");
        QCOMPARE(ProfileFile(path).readInt("a", "k", 99), expected);
        QCOMPARE(ProfileFile(path).readInt("a", "missing", 99), 99);
    }

    void writeChangesOneLineAndKeepsTheRest()
    {
        const QByteArray before = "; keep me\r\n[one]\r\na=1\r\nB=2\r\n\r\n[two]\r\nc=3\r\n";
        const QString path = writeFile("write.ini", before);
        ProfileFile file(path);
        QVERIFY(file.writeString("ONE", "b", "20"));
        QCOMPARE(readBytes(path),
                 QByteArray("; keep me\r\n[one]\r\na=1\r\nb=20\r\n\r\n[two]\r\nc=3\r\n"));
        QVERIFY(file.writeString("one", "new", "x"));
        QCOMPARE(readBytes(path),
                 QByteArray("; keep me\r\n[one]\r\na=1\r\nb=20\r\nnew=x\r\n\r\n[two]\r\nc=3\r\n"));
        QVERIFY(file.writeString("three", "d", "4"));
        QCOMPARE(file.readString("three", "d"), QString("4"));
        QVERIFY(file.removeKey("two", "C"));
        QCOMPARE(file.readString("two", "c", "gone"), QString("gone"));
        QCOMPARE(file.keys("one"), QStringList({"a", "b", "new"}));
    }

    void writeCreatesFileAndFolders()
    {
        const QString path = m_dir.filePath("deep/er/new.ini");
        QVERIFY(ProfileFile(path).writeString("test", "SendMethod", "wave"));
        QCOMPARE(ProfileFile(path).readString("TEST", "sendmethod"), QString("wave"));
    }

    void readsAndKeepsTheChineseCodePage()
    {
        const QByteArray gbk = lonvera::platform::toGb18030(
            QStringLiteral("[set]\r\nName=短信网关\r\nRange=|移动|联通|\r\n"));
        QVERIFY(!gbk.isEmpty());
        const QString path = writeFile("gbk.ini", gbk);
        ProfileFile file(path);
        QCOMPARE(file.readString("set", "Name"), QStringLiteral("短信网关"));
        QVERIFY(file.writeString("set", "Other", "值"));
        // The file must stay readable by the Windows programs that share it.
        QCOMPARE(readBytes(path),
                 lonvera::platform::toGb18030(QStringLiteral(
                     "[set]\r\nName=短信网关\r\nRange=|移动|联通|\r\nOther=值\r\n")));
    }
};

QTEST_GUILESS_MAIN(TestProfileFile)
#include "tst_profile_file.moc"
