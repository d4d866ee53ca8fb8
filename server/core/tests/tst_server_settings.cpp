// The settings the core reads from "set.ini": values kept between changes of the file give the
// same answers as reading the file each time, also for a change of the same size made at once.
#include "server/core/server_settings.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace lonvera::server;
using namespace Qt::StringLiterals;

namespace {

bool writeFile(const QString &path, const QByteArray &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size();
}

} // namespace

class TstServerSettings : public QObject
{
    Q_OBJECT
private slots:
    void followsEveryChange();
};

void TstServerSettings::followsEveryChange()
{
    QTemporaryDir dir;
    const QString ini = dir.filePath(u"set.ini"_s);
    ServerSettings settings(dir.path());
    QCOMPARE(settings.serviceMode(), 0); // no file yet
    QVERIFY(writeFile(ini, "[ocx]\nmyserver=2\n"));
    QCOMPARE(settings.serviceMode(), 2);
    // Rewritten at once with a value of the same length: the file's time may not have moved.
    QVERIFY(writeFile(ini, "[ocx]\nmyserver=1\n"));
    QCOMPARE(settings.serviceMode(), 1);
    QTest::qWait(120); // settled: now the value is kept
    QCOMPARE(settings.serviceMode(), 1);
    QCOMPARE(settings.value(u"OCX"_s, u"MyServer"_s), u"1"_s);
    QVERIFY(writeFile(ini, "[ocx]\nmyserver=3\n"));
    QCOMPARE(settings.serviceMode(), 3);
    QVERIFY(settings.setValue(u"AUTOC"_s, u"AutoOpenSet"_s, u"1"_s));
    QVERIFY(settings.isOn(u"autoc"_s, u"autoopenset"_s));
    QVERIFY(QFile::remove(ini));
    QCOMPARE(settings.serviceMode(), 0);
}

QTEST_GUILESS_MAIN(TstServerSettings)
#include "tst_server_settings.moc"
