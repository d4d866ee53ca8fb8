// Listed PDUs -> received-message records, long-message reassembly, and round trips.
#include "lonvera_pdu.h"

#include <QTest>

using namespace lonvera::pdu;

namespace {

const QString kNow = QStringLiteral("2026-12-08 09:00:00");
const QString kDelivered = QStringLiteral("已发送至：");

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

QString partHex(const QString &sender, const QString &text, int ref, int total, int seq,
                Alphabet alphabet = Alphabet::Ucs2)
{
    const QByteArray header = concatenationHeader({ref, total, seq, false});
    return deliverHex(sender, makeUserData(text, alphabet, header),
                      alphabet == Alphabet::Ucs2 ? 0x08 : 0x00);
}

} // namespace

class TestReceivedRecord : public QObject
{
    Q_OBJECT
private slots:
    void decodeLine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("sender");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("time");

        // Public SMS-DELIVER example: centre +27381000015, 7-bit "hellohello".
        QTest::newRow("7-bit, 11-digit sender")
            << "07917283010010F5040BC87238880900F10000993092516195800AE8329BFD4697D9EC37"
            << "27838890001"
            << "hellohello"
            << "2099-03-29 15:16:59";
        QTest::newRow("centre part 00, UCS2")
            << "00040D91683119325476F8000862217001020323044F60597D"
            << "8613912345678" << QString::fromUtf8("你好") << "2026-12-07 10:20:30";
        QTest::newRow("alphanumeric sender") << "000404D04121000062217001020323"
                                                "02E834"
                                             << "AB"
                                             << "hi"
                                             << "2026-12-07 10:20:30";
        QTest::newRow("7-bit class 0 by coding group")
            << "07917283010010F5040BC87238880900F10010993092516195800AE8329BFD4697D9EC37"
            << "27838890001"
            << "hellohello"
            << "2099-03-29 15:16:59";
        QTest::newRow("UCS2 class 0 by coding group")
            << "00040D91683119325476F8001862217001020323024E2D"
            << "8613912345678" << QString::fromUtf8("中") << "2026-12-07 10:20:30";
        QTest::newRow("8-bit data arrives as its hex")
            << "00040D91683119325476F8001562217001020323020102"
            << "8613912345678"
            << "0102"
            << "2026-12-07 10:20:30";
        QTest::newRow("@ and $ arrive as themselves")
            << "00040D91683119325476F800006221700102032302"
               "0001"
            << "8613912345678"
            << "@$"
            << "2026-12-07 10:20:30";
        QTest::newRow("seven septets in seven octets, no trailing @")
            << "00040D91683119325476F800006221700102032307"
               "31D98C56B3DD00"
            << "8613912345678"
            << "1234567"
            << "2026-12-07 10:20:30";
        QTest::newRow("blanks and CR ignored")
            << "00 04 0D91683119325476F8 0008 62217001020323 02 4E2D\r"
            << "8613912345678" << QString::fromUtf8("中") << "2026-12-07 10:20:30";
        QTest::newRow("stored outgoing message takes the current time")
            << "0891683108100005F011000D91683119325476F8000001"
               "05E8329BFD06"
            << "8613912345678"
            << "hello" << kNow;
        QTest::newRow("stored status report, delivered")
            << "0891683108100005F006010D91683119325476F8622170010203236221700102532300"
            << "0" << kDelivered + "8613912345678"
            << "2026-12-07 10:20:30";
        QTest::newRow("stored status report, 02 form")
            << "00"
               "02010D91683119325476F8622170010203236221700102532300"
            << "0" << QStringLiteral("已发送：8613912345678") << "2026-12-07 10:20:30";
        QTest::newRow("stored status report, failed")
            << "00"
               "06010D91683119325476F8622170010203236221700102532346"
            << "0" << QStringLiteral("未发送至：8613912345678") << "2026-12-07 10:20:30";
        // Faulty input yields no record, never garbage.
        QTest::newRow("truncated before the time stamp")
            << "07917283010010F5040BC87238880900F100009930"
            << ""
            << ""
            << "";
        QTest::newRow("truncated user data")
            << "07917283010010F5040BC87238880900F10000993092516195800AE8329BFD"
            << ""
            << ""
            << "";
        QTest::newRow("not hex") << "07917283010010F5040BC87238880900F10000XYZ"
                                 << ""
                                 << ""
                                 << "";
        QTest::newRow("centre length beyond the line") << "0F91"
                                                       << ""
                                                       << ""
                                                       << "";
    }
    void decodeLine()
    {
        QFETCH(QString, line);
        QFETCH(QString, sender);
        QFETCH(QString, text);
        QFETCH(QString, time);
        LongParts parts;
        const ReceivedMessage m = DecodePdu(line, parts, kNow);
        QCOMPARE(m.text, text);
        if (!text.isEmpty()) {
            QCOMPARE(m.sender, sender);
            QCOMPARE(m.time, time);
        }
    }

    // Blanks and line ends are dropped wherever they stand; anything else that is not hex
    // spoils the line.
    void strippedLines_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("sender");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("time");
        QTest::newRow("odd digit count once blanks are gone")
            << "00 04 0D91683119325476F8 0008 62217001020323 02 4E2D 0"
            << ""
            << ""
            << "";
        QTest::newRow("only blanks and line ends") << " \r\n\t"
                                                   << ""
                                                   << ""
                                                   << "";
        QTest::newRow("NUL is not stripped") << QStringLiteral("00040D91683119325476F8000862217001"
                                                               "020323024E2D")
                                                    .insert(10, QChar(0))
                                             << ""
                                             << ""
                                             << "";
        // A line too long to read on the stack goes the general way with the same outcome.
        QTest::newRow("long line padded with blanks")
            << QStringLiteral("00040D91683119325476F80008622170010203230")
                   .append(QString(600, QLatin1Char(' ')))
                   .append(QStringLiteral("24E2D\r\n"))
            << "8613912345678" << QString::fromUtf8("中") << "2026-12-07 10:20:30";
    }
    void strippedLines() { decodeLine(); }

    void decodeEncodeGivesSameHex_data() { decodeLine_data(); }
    void decodeEncodeGivesSameHex()
    {
        QFETCH(QString, line);
        QFETCH(QString, text);
        const QString hex = line.remove(' ').remove('\r');
        const auto pdu = decodePduHex(hex);
        QCOMPARE(pdu.ok(), !text.isEmpty());
        if (pdu)
            QCOMPARE(toHex(encodePdu(*pdu)), hex.toUpper());
    }

    void reassembly()
    {
        LongParts parts;
        const QString p1 = partHex("+8613912345678", "one ", 0x1A, 3, 1);
        const QString p2 = partHex("+8613912345678", "two ", 0x1A, 3, 2);
        const QString p3 = partHex("+8613912345678", "three", 0x1A, 3, 3);
        QCOMPARE(DecodePdu(p2, parts, kNow).text, QString());
        QCOMPARE(DecodePdu(p3, parts, kNow).text, QString());
        // Reference 01 is another message and must not complete 1A.
        QCOMPARE(DecodePdu(partHex("+8613912345678", "ONE ", 0x01, 3, 1), parts, kNow).text,
                 QString());
        // Another sender with the same reference must not complete it either.
        QCOMPARE(DecodePdu(partHex("+8613900000000", "xxx", 0x1A, 3, 1), parts, kNow).text,
                 QString());
        const ReceivedMessage whole = DecodePdu(p1, parts, kNow);
        QCOMPARE(whole.text, QStringLiteral("one two three"));
        QCOMPARE(whole.sender, QStringLiteral("8613912345678"));
        QCOMPARE(parts.pendingMessages(), 2);
        // Its parts are forgotten: a repeat of part 1 does not deliver it again.
        QCOMPARE(DecodePdu(p1, parts, kNow).text, QString());
    }

    void sevenBitLongMessageIsNotReadAsUcs2()
    {
        LongParts parts;
        DecodePdu(partHex("+8613912345678", "Price: $5 @ shop_", 7, 2, 2, Alphabet::Gsm7), parts,
                  kNow);
        const ReceivedMessage m =
            DecodePdu(partHex("+8613912345678", "Hello. ", 7, 2, 1, Alphabet::Gsm7), parts, kNow);
        QCOMPARE(m.text, QStringLiteral("Hello. Price: $5 @ shop_"));
    }

    void record_data()
    {
        QTest::addColumn<QString>("sender");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("fields");
        QTest::newRow("plain") << "13912345678"
                               << "hi"
                               << "13912345678|hi|T";
        QTest::newRow("sender cut at 18") << QString(20, '1') << "hi" << QString(18, '1') + "|hi|T";
        // A message longer than 300 characters was cut to 300 on its way to inbox.
        QTest::newRow("long text kept whole")
            << "1" << QString(2000, 'a') << "1|" + QString(2000, 'a') + "|T";
        QTest::newRow("separators inside the text become blanks") << "1"
                                                                  << QStringLiteral("a\x01"
                                                                                    "b\x02"
                                                                                    "c")
                                                                  << "1|a b c|T";
        QTest::newRow("no half emoji at the sender's cut")
            << QString(17, '1') + QString::fromUtf8("😀") << "hi" << QString(17, '1') + "|hi|T";
    }
    void record()
    {
        QFETCH(QString, sender);
        QFETCH(QString, text);
        QFETCH(QString, fields);
        QString r = messageRecord(sender, text, "T");
        QVERIFY(!r.contains(RecordSeparator));
        QCOMPARE(r.replace(FieldSeparator, '|'), fields);
    }
};

QTEST_APPLESS_MAIN(TestReceivedRecord)
#include "tst_received_record.moc"
