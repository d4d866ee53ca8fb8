// The GSM alphabet, septet packing and the hex helpers.
#include "gsm7_alphabet.h"
#include "hex.h"
#include "ucs2.h"

#include <QTest>

using namespace lonvera::pdu;

class TestGsm7Alphabet : public QObject
{
    Q_OBJECT
private slots:
    void pack_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("hex");
        QTest::newRow("hello") << "hello"
                               << "E8329BFD06";
        QTest::newRow("hellohello") << "hellohello"
                                    << "E8329BFD4697D9EC37";
        // Characters whose GSM codes differ from ASCII.
        QTest::newRow("dollar") << "$"
                                << "02";
        QTest::newRow("underscore") << "_"
                                    << "11";
        QTest::newRow("at") << "@"
                            << "00";
        QTest::newRow("eight septets fill an octet exactly") << "12345678"
                                                             << "31D98C56B3DD70";
    }
    void pack()
    {
        QFETCH(QString, text);
        QFETCH(QString, hex);
        QCOMPARE(Pack7Bit(text), hex);
        QCOMPARE(Unpack7Bit(hex).left(text.size()), text);
    }

    void headerFillBit()
    {
        // After a 6-octet header the first septet starts one bit into the next octet.
        QCOMPARE(toHex(packSeptets(textToSeptets(u"hello"), 1)), QStringLiteral("D06536FB0D"));
        QCOMPARE(septetsToText(unpackSeptets(*parseHex(u"D06536FB0D"), 5, 1)), u"hello");
    }

    void alphabetMembership_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("gsm7");
        QTest::newRow("letters and punctuation") << "Hi, 5 > 3? (yes!)" << true;
        QTest::newRow("gsm specials") << QString::fromUtf8("£¥èéÅΔ_ΦΓΩ§¿äöüà@$") << true;
        QTest::newRow("extension brace") << "{x}" << false;
        QTest::newRow("extension euro") << QString::fromUtf8("5€") << false;
        QTest::newRow("backtick not in any table") << "`" << false;
        QTest::newRow("chinese") << QString::fromUtf8("你好") << false;
        QTest::newRow("ideographic space") << QString::fromUtf8("a　") << false;
    }
    void alphabetMembership()
    {
        QFETCH(QString, text);
        QFETCH(bool, gsm7);
        QCOMPARE(isGsm7Text(text), gsm7);
    }

    void extensionDecoding_data()
    {
        QTest::addColumn<QByteArray>("septets");
        QTest::addColumn<QString>("text");
        QTest::newRow("euro and braces")
            << QByteArray("\x1B\x65\x1B\x28\x1B\x29", 6) << QString::fromUtf8("€{}");
        QTest::newRow("unknown extension shows default char") << QByteArray("\x1B\x41", 2) << "A";
        QTest::newRow("lone escape at end dropped") << QByteArray("a\x1B", 2) << "a";
        QTest::newRow("septet zero is @, never NUL") << QByteArray("\x00\x02\x11", 3) << "@$_";
    }
    void extensionDecoding()
    {
        QFETCH(QByteArray, septets);
        QFETCH(QString, text);
        QCOMPARE(septetsToText(septets), text);
    }

    // Whole groups of eight septets are packed at once and the rest one by one; every length
    // and fill must agree bit for bit with packing one bit at a time.
    void packingAgreesWithBitByBit()
    {
        QByteArray septets;
        for (int len = 0; len <= 27; ++len) {
            septets.resize(len);
            for (int i = 0; i < len; ++i)
                septets[i] = char((i * 37 + len * 11 + 0x55) & 0x7F);
            for (int fill = 0; fill <= 6; ++fill) {
                const qsizetype bits = fill + 7 * len;
                QByteArray expected((bits + 7) / 8, '\0');
                for (qsizetype bit = fill; bit < bits; ++bit) {
                    const int septetBit = int((bit - fill) % 7);
                    if ((quint8(septets[(bit - fill) / 7]) >> septetBit) & 1)
                        expected[bit / 8] = char(quint8(expected[bit / 8]) | 1 << (bit % 8));
                }
                const QByteArray packed = packSeptets(septets, fill);
                QVERIFY2(packed == expected,
                         qPrintable(QStringLiteral("length %1 fill %2").arg(len).arg(fill)));
                QCOMPARE(unpackSeptets(packed, len, fill), septets);
                // Asking for one septet more than was packed only ever gives the packed ones
                // plus what the spare bits hold.
                QVERIFY(unpackSeptets(packed, len + 1, fill).startsWith(septets));
            }
        }
    }

    void unpackLimits()
    {
        QCOMPARE(Unpack7Bit(QString(322, QLatin1Char('0'))), QString());
        QCOMPARE(Unpack7Bit(u"E8329BFD0"), QString()); // odd length
        QCOMPARE(Unpack7Bit(u"ZZ"), QString());
        // Asking for more septets than the octets hold stops at the end.
        QCOMPARE(unpackSeptets(QByteArray(1, '\x41'), 5).size(), 1);
    }

    void hex_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::newRow("upper") << "0A1B" << true;
        QTest::newRow("lower") << "0a1b" << true;
        QTest::newRow("odd") << "0A1" << false;
        QTest::newRow("non-hex") << "0G" << false;
        QTest::newRow("blank inside") << "0A 1B" << false;
    }
    void hex()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        const auto r = parseHex(text);
        QCOMPARE(r.ok(), ok);
        if (ok)
            QCOMPARE(toHex(*r), text.toUpper());
        else
            QVERIFY(!r.error().isEmpty());
        QCOMPARE(HexByte(10), QStringLiteral("0A"));
        QCOMPARE(HexByte(255), QStringLiteral("FF"));
    }

    void ucs2()
    {
        QCOMPARE(Ucs2HexToText(u"4E2D"), QString::fromUtf8("中"));
        QCOMPARE(Ucs2HexToText(u"4E2"), QString(QChar(0x4E20))); // padded with "0"
        QCOMPARE(Ucs2HexToText(u"D83DDE00"), QString::fromUtf8("😀"));
        QCOMPARE(toHex(textToUcs2(QString::fromUtf8("中😀"))), QStringLiteral("4E2DD83DDE00"));
    }
};

QTEST_APPLESS_MAIN(TestGsm7Alphabet)
#include "tst_gsm7_alphabet.moc"
