// The short chaos run: four emulated modems, unique texts, and during the run a kill -9 (at most
// once), a SIGTERM and a device paused and started again. Checked on the emulator's wire log:
// nothing lost, nothing sent twice, nothing recorded as sent that did not go, nothing stuck.
#include "chaos_run.h"

#include <QTest>

using namespace lonvera::server::test;
using namespace Qt::StringLiterals;

class TstChaos : public QObject
{
    Q_OBJECT
private slots:
    void exactlyOnceThroughFaults_data();
    void exactlyOnceThroughFaults();
};

void TstChaos::exactlyOnceThroughFaults_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<bool>("atMostOnce");
    QTest::newRow("kill -9, at most once") << Fault::Kill << true;
    QTest::newRow("SIGTERM") << Fault::Terminate << false;
    QTest::newRow("pause and start") << Fault::PauseStart << false;
}

void TstChaos::exactlyOnceThroughFaults()
{
    QFETCH(Fault, fault);
    QFETCH(bool, atMostOnce);
    ChaosOptions options;
    options.fault = fault;
    options.atMostOnce = atMostOnce;
    options.faults = 1;
    options.messages = 24;
    ChaosFigures figures;
    QString error;
    QVERIFY2(runChaos(options, &figures, &error), qPrintable(error));
    QCOMPARE(figures.faults, 1);
    QVERIFY2(figures.clean(), qPrintable(figures.details.join(u'\n')));
}

QTEST_GUILESS_MAIN(TstChaos)
#include "tst_chaos.moc"
