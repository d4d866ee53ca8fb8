// Reply parsers of the listing, "+CPMS" and "+CLCC", with replies as modems give them.
#include "control/pdu/lonvera_pdu.h"
#include "control/replies/listing.h"
#include "control/replies/reply_fields.h"

#include <QTest>

using namespace lonvera::control;
using namespace lonvera::pdu;

namespace {

const QString kNow = QStringLiteral("2026-12-08 09:00:00");

// A received message, as the emulated network would hand it to the modem.
QString deliverHex(const QString &sender, const UserData &ud, quint8 dcs)
{
    Pdu pdu;
    pdu.centre = addressFromNumber(u"+8613800100500");
    DeliverTpdu d;
    d.originator = addressFromNumber(sender);
    d.dcs = dcs;
    d.centreTime = Timestamp::fromFields(26, 12, 7, 10, 20, 30);
    d.userData = ud;
    pdu.tpdu = d;
    return toHex(encodePdu(pdu));
}

QString partHex(const QString &sender, const QString &text, int ref, int total, int seq)
{
    const QByteArray header = concatenationHeader({ref, total, seq, false});
    return deliverHex(sender, makeUserData(text, Alphabet::Ucs2, header), 0x08);
}

} // namespace

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

    void listing()
    {
        LongParts parts;
        const QString a = partHex("+8613912345678", "A", 5, 2, 1);
        const QString b = partHex("+8613912345678", "B", 5, 2, 2);
        const QString reply = "at+cmgl= 4\r\r\n+CMGL: 1,1,,24\r\n"
                              "00040D91683119325476F8000862217001020323044F60597D\r\n"
                              "+CMGL: 2,1,,30\r\n" +
                              b + "\r\n+CMGL: 7,1,,30\r\n" + a +
                              "\r\n"
                              "+CMGL: 3,1,,10\r\n0791DEADBEEF\r\n\r\nOK\r\n";
        const Listing l = parseListing(reply, parts, 20, -1, kNow);
        QCOMPARE(l.records.size(), 2);
        QCOMPARE(l.records[0], QStringLiteral("8613912345678\x02") + QString::fromUtf8("你好") +
                                   "\x02"
                                   "2026-12-07 10:20:30");
        QVERIFY(l.records[1].contains(QStringLiteral("\x02"
                                                     "AB\x02")));
        QCOMPARE(l.maxIndex, 7);
        QCOMPARE(l.recordText(), l.records.join(QChar(1)));

        const Listing empty = parseListing(u"at+cmgl= 4\r\r\nOK\r\n", parts, 20, 4, kNow);
        QVERIFY(empty.records.isEmpty());
        QCOMPARE(empty.maxIndex, 4);
        // An index that is not a number stands for the whole storage.
        QCOMPARE(parseListing(u"+CMGL: x,1,,24\r\nOK\r\n", parts, 20, -1, kNow).maxIndex, 20);
    }

    void textToPdusToRecord_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("partCount");
        QTest::newRow("short 7-bit") << "hello" << 1;
        QTest::newRow("long 7-bit") << QString(400, 'z') + "$_@" << 3;
        QTest::newRow("long UCS2 with emoji")
            << QString(100, QChar(0x4E2D)) + QString::fromUtf8("😀😀") << 2;
        QTest::newRow("five parts") << QString(700, 'q') << 5;
    }
    void textToPdusToRecord()
    {
        QFETCH(QString, text);
        QFETCH(int, partCount);
        SubmitRequest req;
        req.text = text;
        req.destination = "13912345678";
        req.reference = 200;
        const auto parts = encodeSubmitParts(req, CentreVariant::Default);
        QVERIFY(parts.ok());
        QCOMPARE(parts->size(), partCount);
        // Deliver the parts in reverse order, copying each SUBMIT's user data unchanged.
        QString reply;
        for (qsizetype k = parts->size() - 1; k >= 0; --k) {
            const auto submit = decodePduHex((*parts)[k].pdu);
            QVERIFY(submit.ok());
            reply +=
                "+CMGL: 1,0,,99\r\n" +
                deliverHex("+8613800000000", submit->submit()->userData, submit->submit()->dcs) +
                "\r\n";
        }
        LongParts longParts;
        const Listing l = parseListing(reply + "OK\r\n", longParts, 20, -1, kNow);
        QCOMPARE(l.records.size(), 1);
        QCOMPARE(l.records[0].section(FieldSeparator, 1, 1), text);
    }
};

QTEST_APPLESS_MAIN(TestReplyFields)
#include "tst_reply_fields.moc"
