// Pure parsers and mappings of the control: settings text, port error numbers, the final-reply
// rule, the number form of commands, "+CNMI" modes and "+CPMS" capacities.
#include "control/exchange/exchange.h"
#include "control/exchange/line_reader.h"
#include "control/modem/connection.h"
#include "control/port/port_settings.h"
#include "control/replies/cnmi.h"
#include "control/replies/cpms.h"

#include <QTest>

using namespace lonvera::control;

class TestReplies : public QObject
{
    Q_OBJECT
private slots:
    void portSettings_data();
    void portSettings();
    void portErrorNumbers_data();
    void portErrorNumbers();
    void portErrorTexts_data();
    void portErrorTexts();
    void finalReply_data();
    void finalReply();
    void lateReplyAnswersNothing();
    void noticesAreRouted_data();
    void noticesAreRouted();
    void numberText();
    void cnmiMode_data();
    void cnmiMode();
    void cnmiSettingsOrder();
    void cpms_data();
    void cpms();
};

void TestReplies::portSettings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("stopBits");
    QTest::newRow("default") << "9600,n,8,1" << true << 9600 << int(QSerialPort::NoParity) << 8
                             << int(QSerialPort::OneStop);
    QTest::newRow("19200 even 7 2")
        << "19200,E,7,2" << true << 19200 << int(QSerialPort::EvenParity) << 7
        << int(QSerialPort::TwoStop);
    QTest::newRow("blanks") << " 115200 , o , 8 , 1.5 " << true << 115200
                            << int(QSerialPort::OddParity) << 8 << int(QSerialPort::OneAndHalfStop);
    QTest::newRow("three fields") << "9600,n,8" << false << 0 << 0 << 0 << 0;
    QTest::newRow("bad parity") << "9600,x,8,1" << false << 0 << 0 << 0 << 0;
    QTest::newRow("bad speed") << "fast,n,8,1" << false << 0 << 0 << 0 << 0;
    QTest::newRow("zero speed") << "0,n,8,1" << false << 0 << 0 << 0 << 0;
    QTest::newRow("nine data bits") << "9600,n,9,1" << false << 0 << 0 << 0 << 0;
    QTest::newRow("three stop bits") << "9600,n,8,3" << false << 0 << 0 << 0 << 0;
    QTest::newRow("empty") << "" << false << 0 << 0 << 0 << 0;
}

void TestReplies::portSettings()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    const std::optional<PortSettings> parsed = parsePortSettings(text);
    QCOMPARE(parsed.has_value(), valid);
    if (!valid)
        return;
    QTEST(int(parsed->baudRate), "baud");
    QTEST(int(parsed->parity), "parity");
    QTEST(int(parsed->dataBits), "dataBits");
    QTEST(int(parsed->stopBits), "stopBits");
}

void TestReplies::portErrorNumbers_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("number");
    QTest::newRow("none") << int(QSerialPort::NoError) << 0;
    QTest::newRow("missing device") << int(QSerialPort::DeviceNotFoundError) << 8002;
    QTest::newRow("held by another program") << int(QSerialPort::PermissionError) << 8005;
    QTest::newRow("opened twice") << int(QSerialPort::OpenError) << 8005;
    QTest::newRow("not open") << int(QSerialPort::NotOpenError) << 8012;
    QTest::newRow("read failed") << int(QSerialPort::ReadError) << 8020;
    QTest::newRow("device gone") << int(QSerialPort::ResourceError) << 8020;
    QTest::newRow("write failed") << int(QSerialPort::WriteError) << 8020;
    QTest::newRow("unsupported") << int(QSerialPort::UnsupportedOperationError) << 8015;
    QTest::newRow("time-out") << int(QSerialPort::TimeoutError) << 8016;
    QTest::newRow("unknown") << int(QSerialPort::UnknownError) << 8010;
}

void TestReplies::portErrorNumbers()
{
    QFETCH(int, error);
    QTEST(portErrorNumber(QSerialPort::SerialPortError(error)), "number");
}

void TestReplies::portErrorTexts_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("text");
    const QString invalid =
        QStringLiteral("所设置的端口号（COM）无效，请检查！如有不明，请联络开发商");
    QTest::newRow("8002") << 8002 << invalid;
    QTest::newRow("8012") << 8012 << invalid;
    QTest::newRow("8005") << 8005
                          << QStringLiteral(
                                 "端口已被其它程序占用，请先关掉其它程序或重启电脑再试！");
    QTest::newRow("8020") << 8020
                          << QStringLiteral(
                                 "所设置的端口号（COM）无效，请检查！如为win2000+usb红外,"
                                 "可能要安装红外补丁，如有不明，请联络开发商");
    // A newcomer's first real modem: not in the dialout group, which is no "held by another
    // program".
    QTest::newRow("no permission")
        << 8090
        << QStringLiteral("没有权限打开此端口：请把当前用户加入 dialout 组"
                          "（sudo usermod -aG dialout 用户名），"
                          "重新登录后再试！");
    QTest::newRow("other") << 8015
                           << QStringLiteral("硬件错误，请注意操作是否有误，或设置是否正常( 8015)");
}

void TestReplies::portErrorTexts()
{
    QFETCH(int, number);
    QTEST(Connection::portErrorText(number), "text");
}

void TestReplies::finalReply_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<int>("word");
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("prompt");
    const auto w = [](FinalWord word) { return int(word); };
    QTest::newRow("OK after the echo") << "at"
                                       << "at\r\r\nOK\r\n"
                                       << w(FinalWord::Ok) << -1 << QStringList{} << false;
    QTest::newRow("lower ok") << "at"
                              << "\r\nok\r\n"
                              << w(FinalWord::Ok) << -1 << QStringList{} << false;
    QTest::newRow("half of OK") << "at"
                                << "\r\nO" << w(FinalWord::None) << -1 << QStringList{} << false;
    QTest::newRow("OK still without its line end")
        << "at"
        << "\r\nOK" << w(FinalWord::None) << -1 << QStringList{} << false;
    QTest::newRow("CMS error") << "at+cmgs=25"
                               << "\r\n+CMS ERROR: 500\r\n"
                               << w(FinalWord::CmsError) << 500 << QStringList{} << false;
    QTest::newRow("CME error") << "AT+CSCA?"
                               << "\r\n+CME ERROR: 14\r\n"
                               << w(FinalWord::CmeError) << 14 << QStringList{} << false;
    QTest::newRow("NO ANSWER") << "atd1;"
                               << "\r\nNO ANSWER\r\n"
                               << w(FinalWord::NoAnswer) << -1 << QStringList{} << false;
    QTest::newRow("NO DIALTONE") << "atd1;"
                                 << "\r\nNO DIALTONE\r\n"
                                 << w(FinalWord::NoDialtone) << -1 << QStringList{} << false;
    // Nokia: a manufacturer containing "ok" is an answer, not the end of one.
    QTest::newRow("Nokia") << "at+cgmi"
                           << "at+cgmi\r\r\nNokia\r\n"
                           << w(FinalWord::None) << -1 << QStringList{"Nokia"} << false;
    // Huawei: a refusal in words of its own ends the command as a refusal.
    QTest::newRow("COMMAND NOT SUPPORT")
        << "at+vts=1"
        << "\r\nCOMMAND NOT SUPPORT\r\n"
        << w(FinalWord::NotSupported) << -1 << QStringList{} << false;
    QTest::newRow("notice in the same read as OK")
        << "at+cgmm"
        << "\r\nSIM800\r\n\r\nOK\r\n\r\n+CMTI: \"ME\",1\r\n"
        << w(FinalWord::Ok) << -1 << QStringList{"SIM800"} << false;
    QTest::newRow("status lines are no part of a reply")
        << "at+cpms?"
        << "\r\n^RSSI:12\r\n+CPMS: \"SM\",1,30\r\n+CREG: 1\r\nOK\r\n"
        << w(FinalWord::Ok) << -1 << QStringList{"+CPMS: \"SM\",1,30"} << false;
    QTest::newRow("report notice with its PDU amid a listing")
        << "at+cmgl= 4"
        << "\r\n+CMGL: 1,1,,5\r\n+CDS: 6\r\n\r\n0006\r\n00AA\r\nOK\r\n"
        << w(FinalWord::Ok) << -1 << QStringList{"+CMGL: 1,1,,5", "00AA"} << false;
    QTest::newRow("prompt with the blank")
        << "at+cmgs=25"
        << "at+cmgs=25\r\r\n> " << w(FinalWord::None) << -1 << QStringList{} << true;
    QTest::newRow("prompt without the blank")
        << "at+cmgs=045"
        << "at+cmgs=045\r\r\n>" << w(FinalWord::None) << -1 << QStringList{} << true;
    QTest::newRow("prompt with the command's line feed echoed after it")
        << "AT+CMGS= 154"
        << "AT+CMGS= 154\r\r\n> \n"
        << w(FinalWord::None) << -1 << QStringList{} << true;
    QTest::newRow("a > inside a line is no prompt")
        << "at"
        << "\r\na>b" << w(FinalWord::None) << -1 << QStringList{} << false;
    QTest::newRow("empty") << "at"
                           << "" << w(FinalWord::None) << -1 << QStringList{} << false;
}

void TestReplies::finalReply()
{
    QFETCH(QString, command);
    QFETCH(QString, reply);
    const Reply parsed = parseReply(command, reply);
    QTEST(int(parsed.final.word), "word");
    QTEST(parsed.final.code, "code");
    QTEST(parsed.lines, "lines");
    QTEST(parsed.prompt, "prompt");
}

void TestReplies::lateReplyAnswersNothing()
{
    // The OK of the previous command arrives after its wait ended: the next command must not
    // take it, nor the half line in progress when it was written.
    LineReader reader;
    reader.beginCommand(u"at+cgmi");
    reader.feed(u"\r\nNokia\r\n\r\nO");
    reader.beginCommand(u"at+cgmm");
    reader.feed(u"K\r\n");
    QVERIFY(!reader.reply().final.isFinal());
    QCOMPARE(reader.replyText(), QString());
    const QList<Notice> notices = reader.feed(u"at+cgmm\r\r\nN79\r\n\r\nOK\r\n");
    QVERIFY(notices.isEmpty());
    QCOMPARE(reader.reply().lines, QStringList{"N79"});
    QVERIFY(reader.reply().final.isOk());

    // A notice begun before the command is still a notice.
    reader.feed(u"\r\n+CDSI: \"S");
    reader.beginCommand(u"at+cmgl= 0");
    const QList<Notice> stored = reader.feed(u"R\",3\r\n\r\nOK\r\n");
    QCOMPARE(stored.size(), 1);
    QCOMPARE(stored[0].kind, NoticeKind::StoredReport);
    QCOMPARE(stored[0].storage(), QStringLiteral("SR"));
    QCOMPARE(stored[0].index(), 3);
    QVERIFY(reader.reply().final.isOk());
}

void TestReplies::noticesAreRouted_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("pduLine");
    QTest::newRow("CMTI") << "\r\n+CMTI: \"SM\",1\r\n" << int(NoticeKind::NewMessage) << "";
    QTest::newRow("RING") << "\r\nRING\r\n" << int(NoticeKind::Ring) << "";
    QTest::newRow("CRING") << "\r\n+CRING: VOICE\r\n" << int(NoticeKind::Ring) << "";
    QTest::newRow("CLIP") << "\r\n+CLIP: \"139\",129\r\n" << int(NoticeKind::CallerId) << "";
    QTest::newRow("CDS with an empty line") << "\r\n+CDS: 6\r\n\r\n0006AB\r\n"
                                            << int(NoticeKind::DirectReport) << "0006AB";
    QTest::newRow("vendor status") << "\r\n^BOOT:1,0,0\r\n" << int(NoticeKind::Status) << "";
}

void TestReplies::noticesAreRouted()
{
    QFETCH(QString, text);
    LineReader reader;
    const QList<Notice> notices = reader.feed(text);
    QCOMPARE(notices.size(), 1);
    QTEST(int(notices[0].kind), "kind");
    QTEST(notices[0].pduLine, "pduLine");
}

void TestReplies::numberText()
{
    QCOMPARE(Exchange::numberText(4), QStringLiteral(" 4"));
    QCOMPARE(Exchange::numberText(0), QStringLiteral(" 0"));
    QCOMPARE(Exchange::numberText(30000), QStringLiteral(" 30000"));
    QCOMPARE(Exchange::numberText(-1), QStringLiteral("-1"));
}

void TestReplies::cnmiMode_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("mode");
    QTest::newRow("mode up to 1") << "+CNMI: (0-1),(0-3),(0-3),(0-2),(0,1)\r\n\r\nOK\r\n"
                                  << "1";
    QTest::newRow("mode up to 3") << "+CNMI: (0-3),(0-3),(0-3),(0-2),(0,1)\r\n\r\nOK\r\n"
                                  << "2";
    QTest::newRow("list 0,1,2") << "+CNMI: (0,1,2),(0-3),(0),(0-2),(0,1)\r\nOK"
                                << "2";
    QTest::newRow("no parenthesis") << "ERROR"
                                    << "1";
    QTest::newRow("empty") << ""
                           << "1";
    QTest::newRow("not a digit") << "+CNMI: (\"x\"),(0-3)"
                                 << "1";
    QTest::newRow(") first") << ")"
                             << "1";
}

void TestReplies::cnmiMode()
{
    QFETCH(QString, reply);
    QTEST(parseCnmiMode(reply), "mode");
}

void TestReplies::cnmiSettingsOrder()
{
    const QStringList forms = cnmiSettings(QStringLiteral("2"));
    const QStringList expected = {"at+cnmi=2,1,0,1,0", "at+cnmi=2,1,0,1,1", "at+cnmi=2,1,0,2,1",
                                  "at+cnmi=2,1,0,2,0", "at+cnmi=2,1",       "at+cnmi=1,1,0,1,0",
                                  "at+cnmi=2,1,0",     "at+cnmi=2,1,0,1",   "at+cnmi=2,1,0,1,1"};
    QCOMPARE(forms, expected);
}

void TestReplies::cpms_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<int>("capacity");
    QTest::newRow("SIM of 30") << "\r\n+CPMS: \"SM\",3,30,\"SM\",3,30,\"SM\",3,30\r\n\r\nOK\r\n"
                               << 30;
    QTest::newRow("250 is unusable") << "+CPMS: \"SM\",3,250,\"SM\",3,250\r\nOK" << 20;
    QTest::newRow("200 is the largest") << "+CPMS: \"ME\",0,200,\"ME\",0,200\r\nOK" << 200;
    QTest::newRow("error") << "\r\nERROR\r\n" << 20;
    QTest::newRow("no reply") << "" << 20;
}

void TestReplies::cpms()
{
    QFETCH(QString, reply);
    QTEST(parseCpms(reply), "capacity");
}

QTEST_GUILESS_MAIN(TestReplies)
#include "tst_replies.moc"
