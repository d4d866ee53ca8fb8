// The pure parts of sending and modem information: the reductions of information replies, the
// phonebook listing, and the small rules of the send exchange.
#include "control/modem/send_run.h"
#include "control/modem/sending.h"
#include "control/replies/modem_info_replies.h"

#include <QTest>

using namespace lonvera::control;

class TestModemReplies : public QObject
{
    Q_OBJECT
private slots:
    void infoReductions_data();
    void infoReductions();
    void phonebook();
    void sendRules();
};

void TestModemReplies::infoReductions_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("result");
    QTest::newRow("model with echo and blanks")
        << "cgmm" << QStringLiteral("at+cgmm\r\r\nMULTIBAND 900E 1800\r\n\r\nOK\r\n")
        << QStringLiteral("MULTIBAND900E1800");
    QTest::newRow("model, no reply") << "cgmm" << QString() << QString();
    QTest::newRow("model before a notice in the same read")
        << "cgmm" << QStringLiteral("at+cgmm\r\r\nSIM800\r\n\r\nOK\r\n\r\n+CMTI: \"ME\",1\r\n")
        << QStringLiteral("SIM800");
    QTest::newRow("model with its own prefix")
        << "cgmm" << QStringLiteral("\r\n+CGMM: SIM800\r\n\r\nOK\r\n") << QStringLiteral("SIM800");
    QTest::newRow("maker holding the letters of an echo")
        << "cgmi" << QStringLiteral("at+cgmi\r\r\nZTE INCORPORATED\r\n\r\nOK\r\n")
        << QStringLiteral("ZTEINCORPORATED");
    QTest::newRow("maker holding the letters of a result")
        << "cgmi" << QStringLiteral("at+cgmi\r\r\nNokia\r\n\r\nOK\r\n") << QStringLiteral("Nokia");
    QTest::newRow("revision refused")
        << "cgmr" << QStringLiteral("at+cgmr\r\r\nERROR\r\n") << QString();
    QTest::newRow("revision not supported")
        << "cgmr" << QStringLiteral("\r\nCOMMAND NOT SUPPORT\r\n") << QString();
    QTest::newRow("maker") << "cgmi" << QStringLiteral("at+cgmi\r\r\nACME MODEM\r\n\r\nOK\r\n")
                           << QStringLiteral("ACMEMODEM");
    QTest::newRow("revision") << "cgmr" << QStringLiteral("at+cgmr\r\r\nR7.43 0 2024\r\n\r\nOK\r\n")
                              << QStringLiteral("R7.4302024");
    QTest::newRow("imei") << "cgsn" << QStringLiteral("at+cgsn\r\r\n351234567890123\r\n\r\nOK\r\n")
                          << QStringLiteral("351234567890123");
    QTest::newRow("centre +86, whole reply")
        << "csca" << QStringLiteral("AT+CSCA?\r\r\n+CSCA: \"+8613800200500\",145\r\n\r\nOK\r\n")
        << QStringLiteral("+8613800200500");
    QTest::newRow("centre +86, per line")
        << "csca-lines"
        << QStringLiteral("at+csca?\r\r\n+CSCA: \"+8613800200500\",145\r\n\r\nOK\r\n")
        << QStringLiteral("+8613800200500");
    QTest::newRow("centre in national form")
        << "csca" << QStringLiteral("+CSCA: \"13800200500\",129\r\nOK\r\n")
        << QStringLiteral("13800200500");
    QTest::newRow("centre in national form, per line")
        << "csca-lines" << QStringLiteral("+CSCA: \"13800200500\",129\r\nOK\r\n")
        << QStringLiteral("13800200500");
    // A shorter centre must not carry the closing quote and the type into the result.
    QTest::newRow("short +86 centre") << "csca" << QStringLiteral("+CSCA: \"+86138002005\",145\r\n")
                                      << QStringLiteral("+86138002005");
    QTest::newRow("centre, ERROR")
        << "csca" << QStringLiteral("AT+CSCA?\r\r\nERROR\r\n") << QString();
    QTest::newRow("character set")
        << "cscs" << QStringLiteral("at+cscs?\r\r\n+CSCS: \"IRA\"\r\nOK\r\n")
        << QStringLiteral("IRA");
    QTest::newRow("phonebook range")
        << "cpbr-range" << QStringLiteral("at + cpbr = ?\r\r\n+CPBR: (1-250),40,14\r\nOK\r\n")
        << QStringLiteral("1,250");
    QTest::newRow("phonebook range missing")
        << "cpbr-range" << QStringLiteral("ERROR\r\n") << QString();
}

void TestModemReplies::infoReductions()
{
    QFETCH(QString, command);
    QFETCH(QString, reply);
    QFETCH(QString, result);
    QString got;
    const auto read = [&](const char *written) {
        return parseReply(QString::fromLatin1(written), reply);
    };
    if (command == QLatin1String("cgmm"))
        got = parseCgmm(read("at+cgmm"));
    else if (command == QLatin1String("cgmi"))
        got = parseCgmi(read("at+cgmi"));
    else if (command == QLatin1String("cgmr"))
        got = parseCgmr(read("at+cgmr"));
    else if (command == QLatin1String("cgsn"))
        got = parseCgsn(read("at+cgsn"));
    else if (command == QLatin1String("csca"))
        got = parseCscaWhole(read("AT+CSCA?"));
    else if (command == QLatin1String("csca-lines"))
        got = parseCscaLines(read("at+csca?"));
    else if (command == QLatin1String("cscs"))
        got = parseCscsRead(reply);
    else
        got = parseCpbrRange(reply);
    QCOMPARE(got, result);
}

void TestModemReplies::phonebook()
{
    const QString reply =
        QStringLiteral("at+cpbr=1,250\r\r\n+CPBR: 1,\"13912345678\",129,\"5F204E09\"\r\n"
                       "+CPBR: 2,\"+8613800200500\",145,\"00410042\"\r\n\r\nOK\r\n");
    const QString expected = QStringLiteral("张三") + QChar(2) + QStringLiteral("13912345678") +
                             QChar(1) + QStringLiteral("AB") + QChar(2) +
                             QStringLiteral("+8613800200500");
    QCOMPARE(parseCpbrEntries(reply), expected);
    QCOMPARE(parseCpbrEntries(QStringLiteral("at+cpbr=1,250\r\r\nOK\r\n")), QString());
}

void TestModemReplies::sendRules()
{
    // The default-centre form writes a "0" before exactly two digits.
    QCOMPARE(SendRun::defaultLengthText(9), QStringLiteral("9"));
    QCOMPARE(SendRun::defaultLengthText(45), QStringLiteral("045"));
    QCOMPARE(SendRun::defaultLengthText(140), QStringLiteral("140"));
    // The message reference means the network took it, even when the "OK" never came.
    const auto accepted = [](const char *reply) {
        return SendRun::isAccepted(parseReply(u"AT+CMGS= 25", QString::fromLatin1(reply)));
    };
    QVERIFY(accepted("\r\n+CMGS: 12\r\n"));
    QVERIFY(accepted("\r\nok\r\n"));
    QVERIFY(!accepted("\r\n+CMS ERROR: 500\r\n"));
    QVERIFY(!accepted(""));
    QCOMPARE(Sending::eightBitPdu(QStringLiteral("8613912345678"), false, true,
                                  QStringLiteral("0102FF")),
             QStringLiteral("0031000D91683119325476f80015A7030102FF"));
    QCOMPARE(Sending::eightBitPdu(QStringLiteral("10086"), false, false, QStringLiteral("AB")),
             QStringLiteral("00110005810180f60015A701AB"));
}

QTEST_GUILESS_MAIN(TestModemReplies)
#include "tst_modem_replies.moc"
