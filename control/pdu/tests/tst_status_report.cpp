// Status-report PDUs -> report records.
#include "lonvera_pdu.h"

#include <QTest>

using namespace lonvera::pdu;

namespace {
const QString kBody = QStringLiteral("06010D91683119325476F86221700102032362217001025323");
const QString kRecordTail = QStringLiteral("8613912345678\x01"
                                           "2026-12-07 10:20:30\x01"
                                           "2026-12-07 10:20:35");
} // namespace

class TestStatusReport : public QObject
{
    Q_OBJECT
private slots:
    void records_data()
    {
        QTest::addColumn<int>("startIs");
        QTest::addColumn<QString>("pdu");
        QTest::addColumn<QString>("record");
        QTest::newRow("centre 00, delivered") << 0 << "00" + kBody + "00"
                                              << "已发送至：" + kRecordTail;
        QTest::newRow("centre 00, permanent error") << 0 << "00" + kBody + "46"
                                                    << "未发送至：" + kRecordTail;
        QTest::newRow("centre 0891") << 16 << "0891683108100005F0" + kBody + "00"
                                     << "已发送至：" + kRecordTail;
        QTest::newRow("centre 0791 read by its length") << 14 << "07914477581006F5" + kBody + "00"
                                                        << "已发送至：" + kRecordTail;
        QTest::newRow("trailing parameter indicator ignored") << 0 << "00" + kBody + "00" + "00"
                                                              << "已发送至：" + kRecordTail;
        QTest::newRow("truncated status") << 0 << "00" + kBody << "";
        QTest::newRow("a DELIVER is no report")
            << 0 << "00040D91683119325476F8000862217001020323024E2D"
            << "";
        QTest::newRow("not hex") << 0 << "00" + kBody + "0G"
                                 << "";
        QTest::newRow("empty") << 0 << ""
                               << "";
    }
    void records()
    {
        QFETCH(int, startIs);
        QFETCH(QString, pdu);
        QFETCH(QString, record);
        QCOMPARE(get_report_all(startIs, pdu), record);
        QCOMPARE(DecodeReportLine("  " + pdu + "\r\n"), record);
    }

    void headerLinesAreNoReports()
    {
        QCOMPARE(DecodeReportLine(u"+CDS: 25\r"), QString());
        QCOMPARE(DecodeReportLine(u"OK"), QString());
    }

    void encodeDecode()
    {
        StatusReportTpdu r;
        r.messageReference = 9;
        r.recipient = addressFromNumber(u"+8613912345678");
        r.centreTime = Timestamp::fromFields(26, 12, 7, 10, 20, 30);
        r.dischargeTime = Timestamp::fromFields(26, 12, 7, 10, 20, 35);
        r.status = 0;
        const QString hex = toHex(encodeStatusReport(r));
        QCOMPARE(hex, QStringLiteral("06090D91683119325476F86221700102032362217001025323") + "00");
        QCOMPARE(get_report_all(0, "00" + hex), "已发送至：" + kRecordTail);
        QCOMPARE(Timestamp::fromFields(26, 1, 2, 3, 4, 5, -20).quarterHours(), -20);
    }
};

QTEST_APPLESS_MAIN(TestStatusReport)
#include "tst_status_report.moc"
