// The short chaos run: four emulated modems, unique texts, and during the run a kill -9 (at most
// once), a SIGTERM, a device paused and started again, the PostgreSQL server stopped and started,
// the SQLite file locked by another program. Checked on the emulator's wire log:
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
    void databaseFaultsCostNoMessage_data();
    void databaseFaultsCostNoMessage();
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

void TstChaos::databaseFaultsCostNoMessage_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::newRow("PostgreSQL stopped and started") << Fault::DbStopped;
    QTest::newRow("SQLite locked by another program") << Fault::DbLocked;
}

void TstChaos::databaseFaultsCostNoMessage()
{
    // A PostgreSQL restart stopped the gateway for good (never a reconnect), and another
    // program's lock on the SQLite file froze it for 30 s per write.
    QFETCH(Fault, fault);
    ChaosOptions options;
    options.fault = fault;
    options.faults = 1;
    options.faultMs = 5000;
    options.messages = 24;
    ChaosFigures figures;
    QString error;
    QVERIFY2(runChaos(options, &figures, &error), qPrintable(error));
    QCOMPARE(figures.faults, 1);
    QCOMPARE(figures.resumed, 1);
    QCOMPARE(figures.falseFailures, 0);
    QVERIFY2(figures.clean(), qPrintable(figures.details.join(u'\n')));
}

QTEST_GUILESS_MAIN(TstChaos)
#include "tst_chaos.moc"
