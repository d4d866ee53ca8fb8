// The command-line parser and the profile files, without any port.
#include "at_command.h"
#include "modem_profile.h"

#include <QTemporaryDir>
#include <QTest>

using namespace lonvera::emulator;

Q_DECLARE_METATYPE(AtSyntax)

class TstAtCommand : public QObject
{
    Q_OBJECT
private slots:
    void parsesCommandLines_data();
    void parsesCommandLines();
    void refusesMalformedLines_data();
    void refusesMalformedLines();
    void splitsArgumentsOutsideQuotes();
    void readsCnmiRanges_data();
    void readsCnmiRanges();
    void loadsProfileFiles_data();
    void loadsProfileFiles();
};

void TstAtCommand::parsesCommandLines_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("names"); // joined with '|'
    QTest::addColumn<AtSyntax>("lastSyntax");
    QTest::addColumn<QByteArray>("lastArgs");

    QTest::newRow("bare") << QByteArray("at") << QByteArray("") << AtSyntax::Action << QByteArray();
    QTest::newRow("test form") << QByteArray("at+cmgf=?") << QByteArray("+CMGF") << AtSyntax::Test
                               << QByteArray();
    QTest::newRow("read form") << QByteArray("AT+CPMS?") << QByteArray("+CPMS") << AtSyntax::Read
                               << QByteArray();
    QTest::newRow("number with leading blank")
        << QByteArray("at+cmgl= 4") << QByteArray("+CMGL") << AtSyntax::Set << QByteArray("4");
    QTest::newRow("blanks everywhere")
        << QByteArray("at + cpbr = ?") << QByteArray("+CPBR") << AtSyntax::Test << QByteArray();
    QTest::newRow("blank kept in quotes") << QByteArray("at+cpbs = \"M E\"") << QByteArray("+CPBS")
                                          << AtSyntax::Set << QByteArray("\"M E\"");
    QTest::newRow("delete flag form")
        << QByteArray("at+cmgd=1, 1") << QByteArray("+CMGD") << AtSyntax::Set << QByteArray("1,1");
    QTest::newRow("store profile")
        << QByteArray("at&w") << QByteArray("&W") << AtSyntax::Action << QByteArray();
    QTest::newRow("echo off") << QByteArray("ATE0") << QByteArray("E") << AtSyntax::Action
                              << QByteArray("0");
    QTest::newRow("voice dial keeps semicolon") << QByteArray("ATD13912345678;") << QByteArray("D")
                                                << AtSyntax::Action << QByteArray("13912345678;");
    QTest::newRow("basic then extended")
        << QByteArray("ATE1+CMGF=0") << QByteArray("E|+CMGF") << AtSyntax::Set << QByteArray("0");
    QTest::newRow("extended chain")
        << QByteArray("AT+CSCS=\"UCS2\";+CPBS=\"SM\"") << QByteArray("+CSCS|+CPBS") << AtSyntax::Set
        << QByteArray("\"SM\"");
    QTest::newRow("semicolon inside quotes") << QByteArray("at+cpbs=\"a;b\"") << QByteArray("+CPBS")
                                             << AtSyntax::Set << QByteArray("\"a;b\"");
    QTest::newRow("s-register") << QByteArray("ATS0=2") << QByteArray("S0") << AtSyntax::Set
                                << QByteArray("2");
    QTest::newRow("answer and hang up")
        << QByteArray("ATA") << QByteArray("A") << AtSyntax::Action << QByteArray();
}

void TstAtCommand::parsesCommandLines()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, names);
    QFETCH(AtSyntax, lastSyntax);
    QFETCH(QByteArray, lastArgs);
    const AtCommandLine parsed = parseCommandLine(line);
    QVERIFY(parsed.valid);
    QByteArrayList got;
    for (const AtCommand &c : parsed.commands)
        got.append(c.name);
    QCOMPARE(got.join('|'), names);
    if (!parsed.commands.isEmpty()) {
        QCOMPARE(parsed.commands.last().syntax, lastSyntax);
        QCOMPARE(parsed.commands.last().args, lastArgs);
    }
}

void TstAtCommand::refusesMalformedLines_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("no prefix") << QByteArray("+CMGF=0");
    QTest::newRow("half prefix") << QByteArray("a");
    QTest::newRow("binary") << QByteArray("\x01\xff\xfe", 3);
    QTest::newRow("open quote") << QByteArray("at+cpbs=\"SM");
    QTest::newRow("plus without name") << QByteArray("at+=1");
    QTest::newRow("ampersand without letter") << QByteArray("at&1");
    QTest::newRow("stray character") << QByteArray("at+cmgf?x");
    QTest::newRow("s without number") << QByteArray("atS=1");
}

void TstAtCommand::refusesMalformedLines()
{
    QFETCH(QByteArray, line);
    QVERIFY(!parseCommandLine(line).valid);
}

void TstAtCommand::splitsArgumentsOutsideQuotes()
{
    QCOMPARE(splitArguments("2,1,0,1,0").size(), 5);
    QCOMPARE(splitArguments("\"a,b\",129"), (QList<QByteArray>{"\"a,b\"", "129"}));
    QCOMPARE(splitArguments("1,,0"), (QList<QByteArray>{"1", "", "0"}));
    QCOMPARE(unquote("\"SM\""), QByteArray("SM"));
    int v = 0;
    QVERIFY(parseNumber("045", &v) && v == 45);
    QVERIFY(!parseNumber("4a", &v));
    QVERIFY(!parseNumber("9999999999", &v));
}

void TstAtCommand::readsCnmiRanges_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("groups");
    QTest::addColumn<QList<int>>("first");
    QTest::newRow("typical") << "(0-2),(0-3),(0,2),(0-2),(0,1)" << true << 5 << QList<int>{0, 1, 2};
    QTest::newRow("blanks") << "(0 - 1), (0-3)" << true << 2 << QList<int>{0, 1};
    QTest::newRow("single values") << "(1,3),(1)" << true << 2 << QList<int>{1, 3};
    QTest::newRow("none") << "" << true << 0 << QList<int>{};
    QTest::newRow("reversed range") << "(3-1)" << false << 0 << QList<int>{};
    QTest::newRow("not numbers") << "(a-b)" << false << 0 << QList<int>{};
}

void TstAtCommand::readsCnmiRanges()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(int, groups);
    QFETCH(QList<int>, first);
    QList<QList<int>> out;
    QCOMPARE(parseCnmiRanges(text, &out), ok);
    if (ok) {
        QCOMPARE(out.size(), groups);
        if (groups > 0)
            QCOMPARE(out[0], first);
    }
}

void TstAtCommand::loadsProfileFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("echoCom1");
    QTest::addColumn<int>("capacityCom2");

    QTest::newRow("flat json") << "p.json" << QByteArray(R"({"echo": false, "capacity": 40})")
                               << true << false << 40;
    QTest::newRow("sectioned json")
        << "p.json"
        << QByteArray(R"({"default": {"capacity": 10}, "com2": {"capacity": 99, "echo": false}})")
        << true << true << 99;
    QTest::newRow("json with phonebook and stored")
        << "p.json" << QByteArray(R"({"phonebooks": {"ME": [{"number": "139", "name": "Li"}]},
                          "stored": [{"status": 1, "pdu": "0011000B813119325476F80000010568656C6C6F"}]})")
        << true << true << 30;
    QTest::newRow("ini") << "p.ini"
                         << QByteArray("[default]\necho=false\ncnmiRanges=\"(0-1),(0-3)\"\n"
                                       "[com2]\ncapacity=60\n")
                         << true << false << 60;
    QTest::newRow("unknown key") << "p.json" << QByteArray(R"({"ecko": true})") << false << true
                                 << 30;
    QTest::newRow("bad value") << "p.json" << QByteArray(R"({"capacity": "many"})") << false << true
                               << 30;
    QTest::newRow("capacity out of range")
        << "p.json" << QByteArray(R"({"capacity": 0})") << false << true << 30;
    QTest::newRow("stored pdu not hex")
        << "p.json" << QByteArray(R"({"stored": [{"status": 0, "pdu": "XYZ"}]})") << false << true
        << 30;
    QTest::newRow("bad section") << "p.json" << QByteArray(R"({"default": {}, "port9": {}})")
                                 << false << true << 30;
    QTest::newRow("not json") << "p.json" << QByteArray("{echo") << false << true << 30;
}

void TstAtCommand::loadsProfileFiles()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(bool, ok);
    QFETCH(bool, echoCom1);
    QFETCH(int, capacityCom2);
    QTemporaryDir dir;
    QFile f(dir.filePath(name));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
    f.close();
    ProfileSet set;
    QString why;
    QCOMPARE(ProfileSet::load(f.fileName(), &set, &why), ok);
    if (!ok) {
        QVERIFY(!why.isEmpty());
        return;
    }
    QCOMPARE(set.forCom(1).echo, echoCom1);
    QCOMPARE(set.forCom(2).capacity, capacityCom2);
}

QTEST_GUILESS_MAIN(TstAtCommand)
#include "tst_at_command.moc"
