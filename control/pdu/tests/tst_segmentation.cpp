// Text -> SMS-SUBMIT PDUs as written to the modem, and back.
#include "lonvera_pdu.h"

#include <QTest>

using namespace lonvera::pdu;

namespace {

SubmitRequest request(const QString &text, const QString &to = QStringLiteral("+8613912345678"))
{
    SubmitRequest r;
    r.text = text;
    r.destination = to;
    r.centre = QStringLiteral("+8613800100500");
    r.reference = 0x42;
    return r;
}

QList<SubmitPart> encode(const SubmitRequest &r, CentreVariant v = CentreVariant::Explicit)
{
    const auto parts = encodeSubmitParts(r, v);
    if (!parts)
        qWarning() << parts.error();
    return parts ? *parts : QList<SubmitPart>();
}

// The TPDU of a part (after the centre part), decoded.
SubmitTpdu submitOf(const SubmitPart &part)
{
    const auto pdu = decodePduHex(part.pdu);
    if (!pdu || !pdu->submit())
        qFatal("part does not decode: %s", qPrintable(part.pdu));
    return *pdu->submit();
}

QString chinese(int n)
{
    return QString(n, QChar(0x4E2D));
}

} // namespace

Q_DECLARE_METATYPE(SubmitRequest)

class TestSegmentation : public QObject
{
    Q_OBJECT
private slots:
    void exactPdus_data()
    {
        QTest::addColumn<SubmitRequest>("req");
        QTest::addColumn<int>("variant");
        QTest::addColumn<QString>("pdu");
        QTest::addColumn<int>("tpduOctets");

        QTest::newRow("7-bit, explicit centre, international destination")
            << request("hello") << 0
            << "0891683108100005f011000D91683119325476f8000001"
               "05E8329BFD06"
            << 20;
        SubmitRequest national = request("hello", "13912345678");
        QTest::newRow("national destination keeps type 81")
            << national << 0
            << "0891683108100005f011000B813119325476f8000001"
               "05E8329BFD06"
            << 19;
        // "+27821231234" went out as type 81 without its "+": a centre read it as national.
        QTest::newRow("a + makes any country international")
            << request("hello", "+27821231234") << 1
            << "0011000B917228211332f4000001"
               "05e8329bfd06"
            << 19;
        QTest::newRow("default centre puts 86 in front, lower-case user data")
            << national << 1
            << "0011000D91683119325476f8000001"
               "05e8329bfd06"
            << 20;
        SubmitRequest reported = request(QString::fromUtf8("中"));
        reported.statusReport = true;
        reported.validity = 0xC5;
        QTest::newRow("UCS2 with report and long validity")
            << reported << 0 << "0891683108100005f031000D91683119325476f80008C5024E2D" << 17;
        SubmitRequest shortCentre = request("hi");
        shortCentre.centre = "+447785016005";
        QTest::newRow("explicit centre part from the centre's own length")
            << shortCentre << 0
            << "0791447758100650"
               "11000D91683119325476f8000001"
               "02E834"
            << 17;
    }
    void exactPdus()
    {
        QFETCH(SubmitRequest, req);
        QFETCH(int, variant);
        QFETCH(QString, pdu);
        QFETCH(int, tpduOctets);
        const auto parts = encode(req, CentreVariant(variant));
        QCOMPARE(parts.size(), 1);
        QCOMPARE(parts[0].pdu, pdu);
        QCOMPARE(parts[0].tpduOctets, tpduOctets);
    }

    void splitting_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("partSizes");
        QTest::addColumn<int>("firstUdl");
        QTest::newRow("70 UCS2 is one part") << chinese(70) << QList<int>{70} << 0x8C;
        QTest::newRow("71 UCS2 is 67+4") << chinese(71) << QList<int>{67, 4} << 0x8C;
        QTest::newRow("160 7-bit is one part") << QString(160, 'a') << QList<int>{160} << 0xA0;
        QTest::newRow("161 7-bit is 153+8") << QString(161, 'a') << QList<int>{153, 8} << 0xA0;
        QTest::newRow("an emoji is not cut in half")
            << chinese(66) + QString::fromUtf8("😀") + chinese(10) << QList<int>{66, 12} << 0x8A;
    }
    void splitting()
    {
        QFETCH(QString, text);
        QFETCH(QList<int>, partSizes);
        QFETCH(int, firstUdl);
        const auto parts = encode(request(text));
        QCOMPARE(parts.size(), partSizes.size());
        QString joined;
        for (qsizetype k = 0; k < parts.size(); ++k) {
            QCOMPARE(parts[k].text.size(), partSizes[k]);
            const SubmitTpdu s = submitOf(parts[k]);
            joined += s.userData.text;
            if (parts.size() > 1) {
                QCOMPARE(s.userData.concatenation->reference, 0x42);
                QCOMPARE(s.userData.concatenation->total, int(parts.size()));
                QCOMPARE(s.userData.concatenation->sequence, int(k + 1));
                // First octet 51: header present, no report; header 050003 + ref + n + k.
                QCOMPARE(parts[k].pdu.mid(18, 2), QStringLiteral("51"));
                QVERIFY(parts[k].pdu.contains(
                    QStringLiteral("050003%1%2").arg(HexByte(0x42), HexByte(parts.size())) +
                    HexByte(int(k + 1))));
            } else {
                QCOMPARE(parts[k].pdu.mid(18, 2), QStringLiteral("11"));
            }
        }
        QCOMPARE(submitOf(parts[0]).userData.length, firstUdl);
        QCOMPARE(joined, text);
    }

    void thirtyParts()
    {
        const auto parts = encode(request(chinese(2000)));
        QCOMPARE(parts.size(), 30);
        for (const SubmitPart &p : parts)
            QVERIFY(p.pdu.contains(QStringLiteral("050003421E")));
    }

    void sevenBitHeaderFillBit()
    {
        // The second part is "helloyyy": 7 header septets + 8, and "hello" packed after one fill
        // bit.
        const auto parts = encode(request(QString(153, 'x') + "helloyyy"));
        QCOMPARE(parts.size(), 2);
        QVERIFY(parts[1].pdu.contains(QStringLiteral("0F050003420202D06536FB")));
    }

    void gsmTextMapping_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("dcs");
        QTest::newRow("dollar goes as GSM code, still 7-bit") << "cost $5_x" << 0x00;
        QTest::newRow("brace makes UCS2") << "{json}" << 0x08;
        QTest::newRow("euro makes UCS2") << QString::fromUtf8("5€") << 0x08;
    }
    void gsmTextMapping()
    {
        QFETCH(QString, text);
        QFETCH(int, dcs);
        const SubmitTpdu s = submitOf(encode(request(text))[0]);
        QCOMPARE(int(s.dcs), dcs);
        QCOMPARE(s.userData.text, text);
    }

    void blanksAroundUcs2PartsGo()
    {
        const QString text = QStringLiteral("  ") + QString::fromUtf8("中文") + "  ";
        QCOMPARE(submitOf(encode(request(text))[0]).userData.text, QString::fromUtf8("中文"));
        QCOMPARE(submitOf(encode(request("  hi  "))[0]).userData.text, QStringLiteral("  hi  "));
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("centre");
        QTest::addColumn<int>("variant");
        QTest::newRow("empty destination") << "hi"
                                           << ""
                                           << "+8613800100500" << 0;
        QTest::newRow("letters in destination") << "hi"
                                                << "1391234abcd"
                                                << "+86138" << 1;
        QTest::newRow("exponent is not a number") << "hi"
                                                  << "1e5"
                                                  << "+86138" << 1;
        QTest::newRow("comma is not a number") << "hi"
                                               << "12,3"
                                               << "+86138" << 1;
        QTest::newRow("empty text") << ""
                                    << "139"
                                    << "+86138" << 1;
        QTest::newRow("explicit centre missing") << "hi"
                                                 << "139"
                                                 << "" << 0;
    }
    void refusals()
    {
        QFETCH(QString, text);
        QFETCH(QString, to);
        QFETCH(QString, centre);
        QFETCH(int, variant);
        SubmitRequest r = request(text, to);
        r.centre = centre;
        const auto parts = encodeSubmitParts(r, CentreVariant(variant));
        QVERIFY(!parts.ok());
        QVERIFY(!parts.error().isEmpty());
    }

    void numbers()
    {
        QString digits = QStringLiteral("8613912345678");
        QCOMPARE(SwapDigitPairs(digits), QStringLiteral("683119325476f8"));
        QCOMPARE(digits, QStringLiteral("8613912345678f"));
        QCOMPARE(UnswapDigits(u"683119325476F8"), QStringLiteral("8613912345678"));
        QVERIFY(isNumeric(u"+8613912345678"));
        QVERIFY(!isNumeric(u"+"));
    }
};

QTEST_APPLESS_MAIN(TestSegmentation)
#include "tst_segmentation.moc"
