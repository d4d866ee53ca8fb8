// The worker's status texts and their kinds: every text the worker writes reads back as the kind
// it was raised with (for the fakes that hold only texts), a connection's model and port come
// back whole, also for models that hold "COM" or brackets of their own.
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
    QTest::newRow("waiting") << fixedReport(ReportKind::Waiting).text << ReportKind::Waiting;
    QTest::newRow("sending") << sendingReport(1).text << ReportKind::Sending;
    QTest::newRow("second attempt") << sendingReport(2).text << ReportKind::Sending;
    QTest::newRow("not found") << fixedReport(ReportKind::NotFound).text << ReportKind::NotFound;
    QTest::newRow("connecting") << fixedReport(ReportKind::Connecting).text
                                << ReportKind::Connecting;
    QTest::newRow("closing") << QString::fromUtf16(reports::kClosingPort) << ReportKind::Other;
    QTest::newRow("port closed") << QString::fromUtf16(reports::kPortClosed) << ReportKind::Other;
    QTest::newRow("received") << QStringLiteral("收到 3 条新信息(COM2)") << ReportKind::Other;
    QTest::newRow("connected") << connectedReport(QStringLiteral("SIM900"), 1).text
                               << ReportKind::Connected;
}

void TstWorkerReports::kindOfEveryText()
{
    QFETCH(QString, text);
    QFETCH(ReportKind, kind);
    QCOMPARE(readStatusReport(text).kind, kind);
    QCOMPARE(readStatusReport(text).isProgress(),
             kind == ReportKind::Waiting || kind == ReportKind::Sending);
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
    const RaisedReport raised = connectedReport(model, port);
    const QString text = raised.text;
    QVERIFY(text.startsWith(QStringLiteral("成功连接设备")));
    QVERIFY(text.endsWith(QStringLiteral("(COM%1)").arg(port)));
    const StatusReport expected{ReportKind::Connected, model, port};
    QCOMPARE(raised.report, expected);
    QCOMPARE(readStatusReport(text), expected);
}

QTEST_GUILESS_MAIN(TstWorkerReports)
#include "tst_worker_reports.moc"
