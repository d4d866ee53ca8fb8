// The worker's status texts read back by kind: every text the worker writes is read as what it
// says, a connection's model and port come back whole, also for models that hold "COM" or
// brackets of their own.
#include "worker/protocol/reports.h"

#include <QTest>

using namespace lonvera::worker::protocol;

class TstWorkerReports : public QObject
{
    Q_OBJECT
private slots:
    void kindOfEveryText_data();
    void kindOfEveryText();
    void connectionRoundTrip_data();
    void connectionRoundTrip();
};

void TstWorkerReports::kindOfEveryText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<ReportKind>("kind");
    QTest::newRow("waiting") << QString::fromUtf16(reports::kWaiting) << ReportKind::Progress;
    QTest::newRow("sending") << sendingReport(1) << ReportKind::Progress;
    QTest::newRow("second attempt") << sendingReport(2) << ReportKind::Progress;
    QTest::newRow("not found") << QString::fromUtf16(reports::kNotFound) << ReportKind::NotFound;
    QTest::newRow("connecting") << QString::fromUtf16(reports::kConnecting) << ReportKind::Other;
    QTest::newRow("closing") << QString::fromUtf16(reports::kClosingPort) << ReportKind::Other;
    QTest::newRow("port closed") << QString::fromUtf16(reports::kPortClosed) << ReportKind::Other;
    QTest::newRow("received") << QStringLiteral("收到 3 条新信息(COM2)") << ReportKind::Other;
    QTest::newRow("connected") << connectedReport(QStringLiteral("SIM900"), 1)
                               << ReportKind::Connected;
}

void TstWorkerReports::kindOfEveryText()
{
    QFETCH(QString, text);
    QFETCH(ReportKind, kind);
    QCOMPARE(readStatusReport(text).kind, kind);
}

void TstWorkerReports::connectionRoundTrip_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("port");
    QTest::newRow("plain") << QStringLiteral("SIM900") << 3;
    QTest::newRow("blanks") << QStringLiteral("MULTIBAND  900E  1800") << 16;
    QTest::newRow("COM in the model") << QStringLiteral("COMPAQ (COM) 2") << 12;
    QTest::newRow("empty model") << QString() << 1;
}

void TstWorkerReports::connectionRoundTrip()
{
    QFETCH(QString, model);
    QFETCH(int, port);
    const QString text = connectedReport(model, port);
    QVERIFY(text.startsWith(QStringLiteral("成功连接设备")));
    QVERIFY(text.endsWith(QStringLiteral("(COM%1)").arg(port)));
    const StatusReport r = readStatusReport(text);
    QCOMPARE(r.kind, ReportKind::Connected);
    QCOMPARE(r.model, model);
    QCOMPARE(r.port, port);
}

QTEST_GUILESS_MAIN(TstWorkerReports)
#include "tst_worker_reports.moc"
