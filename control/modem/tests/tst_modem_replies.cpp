// The pure parts of sending, status reports and modem information: unsolicited report lines in
// the reply buffer, the reductions of information replies, the phonebook listing, and the small
// rules of the send exchange.
#include "control/modem/send_run.h"
#include "control/modem/sending.h"
#include "control/replies/modem_info_replies.h"
#include "control/replies/report_lines.h"

#include <QTest>

using namespace lonvera::control;

namespace {
const QString Pdu = QStringLiteral("0006010D91683119325476F86221700102030062217001025300"
                                   "00");
} // namespace

class TestModemReplies : public QObject
{
    Q_OBJECT
private slots:
    void directReports_data();
    void directReports();
    void storedReports_data();
    void storedReports();
    void infoReductions_data();
    void infoReductions();
    void phonebook();
    void sendRules();
};

void TestModemReplies::directReports_data()
{
    QTest::addColumn<QString>("buffer");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("incomplete");
    QTest::addColumn<QString>("rest");
    QTest::newRow("one report amid a reply")
        << QStringLiteral("\r\nOK\r\n+CDS: 25\r\n") + Pdu + QStringLiteral("\r\nRING")
        << QStringList{Pdu} << false << QStringLiteral("\r\nOK\r\nRING");
    QTest::newRow("empty line before the PDU")
        << QStringLiteral("+CDS: 25\r\n\r\n") + Pdu + QStringLiteral("\r\n") << QStringList{Pdu}
        << false << QString();
    QTest::newRow("two reports") << QStringLiteral("+CDS: 25\r\n") + Pdu +
                                        QStringLiteral("\r\n+CDS: 25\r\n") + Pdu +
                                        QStringLiteral("\r\n")
                                 << QStringList{Pdu, Pdu} << false << QString();
    QTest::newRow("PDU still arriving")
        << QStringLiteral("OK\r\n+CDS: 25\r\n") + Pdu.left(20) << QStringList{} << true
        << QStringLiteral("OK\r\n+CDS: 25\r\n") + Pdu.left(20);
    QTest::newRow("stored notice is not direct")
        << QStringLiteral("+CDSI: \"SR\",3\r\n") << QStringList{} << false
        << QStringLiteral("+CDSI: \"SR\",3\r\n");
}

void TestModemReplies::directReports()
{
    QFETCH(QString, buffer);
    QFETCH(QStringList, lines);
    QFETCH(bool, incomplete);
    QFETCH(QString, rest);
    const QList<ReportNotice> notices = findDirectReports(buffer);
    QStringList found;
    for (const ReportNotice &n : notices)
        found.append(n.pduLine);
    QCOMPARE(found, lines);
    QCOMPARE(incompleteDirectReport(buffer) >= 0, incomplete);
    QCOMPARE(withoutNotices(buffer, notices), rest);
}

void TestModemReplies::storedReports_data()
{
    QTest::addColumn<QString>("buffer");
    QTest::addColumn<QList<int>>("indexes");
    QTest::addColumn<bool>("incomplete");
    QTest::newRow("quoted storage")
        << QStringLiteral("\r\n+CDSI: \"SR\",3\r\n") << QList<int>{3} << false;
    QTest::newRow("blanks around the index")
        << QStringLiteral("+CDSI: \"SM\", 12 \r\n") << QList<int>{12} << false;
    QTest::newRow("two notices") << QStringLiteral("+CDSI: \"SR\",3\r\n+CDSI: \"SR\",4\r\n")
                                 << QList<int>{3, 4} << false;
    QTest::newRow("no index") << QStringLiteral("+CDSI: \"SR\"\r\n") << QList<int>{-1} << false;
    QTest::newRow("line not ended") << QStringLiteral("+CDSI: \"SR\",1") << QList<int>{} << true;
}

void TestModemReplies::storedReports()
{
    QFETCH(QString, buffer);
    QFETCH(QList<int>, indexes);
    QFETCH(bool, incomplete);
    QList<int> found;
    for (const ReportNotice &n : findStoredReports(buffer))
        found.append(n.index);
    QCOMPARE(found, indexes);
    QCOMPARE(incompleteStoredReport(buffer) >= 0, incomplete);
}

void TestModemReplies::infoReductions_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("result");
    QTest::newRow("model with echo and blanks")
        << "cgmm" << QStringLiteral("at+cgmm\r\r\nMULTIBAND 900E 1800\r\n\r\nOK\r\n")
        << QStringLiteral("MULTIBAND900E1800");
    QTest::newRow("model, no reply") << "cgmm" << QString() << QString();
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
    if (command == QLatin1String("cgmm"))
        got = parseCgmm(reply);
    else if (command == QLatin1String("cgmi"))
        got = parseCgmi(reply);
    else if (command == QLatin1String("cgmr"))
        got = parseCgmr(reply);
    else if (command == QLatin1String("cgsn"))
        got = parseCgsn(reply);
    else if (command == QLatin1String("csca"))
        got = parseCscaWhole(reply);
    else if (command == QLatin1String("csca-lines"))
        got = parseCscaLines(reply);
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
    QVERIFY(SendRun::isAccepted(QStringLiteral("\r\n+CMGS: 12\r\n")));
    QVERIFY(SendRun::isAccepted(QStringLiteral("\r\nok\r\n")));
    QVERIFY(!SendRun::isAccepted(QStringLiteral("\r\n+CMS ERROR: 500\r\n")));
    QVERIFY(!SendRun::isAccepted(QString()));
    QCOMPARE(Sending::eightBitPdu(QStringLiteral("8613912345678"), true, QStringLiteral("0102FF")),
             QStringLiteral("0031000D91683119325476f80015A7030102FF"));
    QCOMPARE(Sending::eightBitPdu(QStringLiteral("10086"), false, QStringLiteral("AB")),
             QStringLiteral("00110005810180f60015A701AB"));
}

QTEST_GUILESS_MAIN(TestModemReplies)
#include "tst_modem_replies.moc"
