// Small AT reply parsers, with replies as modems give them.
#include "reply_fields.h"

#include <QTest>

using namespace lonvera::pdu;

class TestReplyFields : public QObject
{
    Q_OBJECT
private slots:
    void cpms_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<int>("used");
        QTest::addColumn<int>("capacity");
        QTest::newRow("SIM storage") << "+CPMS: \"SM\",3,30,\"SM\",3,30\r\n\r\nOK" << 3 << 30;
        QTest::newRow("capacity above 200") << "+CPMS: \"ME\",0,250,\"ME\",0,250" << 0 << -1;
        QTest::newRow("no storage names") << "+CPMS: 5,50,5,50" << 50 << 5;
        QTest::newRow("nothing after the first field") << "+CPMS: \"SM\",3" << -1 << -1;
        QTest::newRow("not a number") << "+CPMS: \"SM\",x,1e5,\"SM\"" << -1 << -1;
        QTest::newRow("negative") << "+CPMS: \"SM\",-1,30," << -1 << 30;
        QTest::newRow("error reply") << "ERROR" << -1 << -1;
    }
    void cpms()
    {
        QFETCH(QString, reply);
        QFETCH(int, used);
        QFETCH(int, capacity);
        QCOMPARE(CpmsField(reply, 1), used);
        QCOMPARE(CpmsField(reply, 2), capacity);
    }

    void clcc_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("number");
        QTest::newRow("incoming call")
            << "at+clcc\r\r\n+CLCC: 1,1,4,0,0,\"13912345678\",129\r\n\r\nOK\r\n"
            << "13912345678";
        QTest::newRow("international") << "+CLCC: 1,1,4,0,0,\"+8613912345678\",145\r\n"
                                       << "+8613912345678";
        QTest::newRow("two-digit number not taken") << "+CLCC: 1,1,4,0,0,\"12\",129\r\n"
                                                    << "0000";
        QTest::newRow("no call") << "at+clcc\r\r\nOK\r\n"
                                 << "0000";
        QTest::newRow("short line ignored") << "+CLCC: 1,1\r\n"
                                            << "0000";
    }
    void clcc()
    {
        QFETCH(QString, reply);
        QFETCH(QString, number);
        QCOMPARE(ClccNumber(reply), number);
    }

    void stripControls()
    {
        QCOMPARE(StripControls(u"\r\n +CMGL: 1,\t2\x1E\x1F"), QStringLiteral("+CMGL:1,2\x1E\x1F"));
    }
};

QTEST_APPLESS_MAIN(TestReplyFields)
#include "tst_reply_fields.moc"
