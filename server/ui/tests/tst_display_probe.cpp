// Brevin without --headless where no window can be shown: one line that suggests --headless and
// exit status 2, never a crash inside the platform plugin.
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TstDisplayProbe : public QObject
{
    Q_OBJECT
private slots:
    void withoutDisplay_data();
    void withoutDisplay();
};

void TstDisplayProbe::withoutDisplay_data()
{
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("says");
    QTest::newRow("none set") << QString() << u"no display"_s;
    // Display 97 has no X server listening on this machine.
    QTest::newRow("display not answering") << u":97"_s << u"does not answer"_s;
}

void TstDisplayProbe::withoutDisplay()
{
    QFETCH(QString, display);
    QFETCH(QString, says);
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    if (!display.isEmpty())
        env.insert(u"DISPLAY"_s, display);
    env.insert(u"LONVERA_PREFIX"_s, home.filePath(u"prefix"_s));
    QProcess brevin;
    brevin.setProcessEnvironment(env);
    brevin.start(QStringLiteral(BREVIN_PATH), {u"--home"_s, home.path()});
    QVERIFY(brevin.waitForFinished(60000));
    QCOMPARE(brevin.exitStatus(), QProcess::NormalExit);
    QCOMPARE(brevin.exitCode(), 2);
    const QString err = QString::fromLocal8Bit(brevin.readAllStandardError());
    QCOMPARE(err.count(u'\n'), 1);
    QVERIFY2(err.contains(says) && err.contains(u"--headless"_s), qPrintable(err));
}

QTEST_GUILESS_MAIN(TstDisplayProbe)
#include "tst_display_probe.moc"
