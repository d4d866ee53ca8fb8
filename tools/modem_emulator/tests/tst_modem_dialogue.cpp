// The AT dialogues the control and the worker lean on, driven through real pseudo-terminals
// with QSerialPort on the comN links, as the control opens them.
#include "emulator.h"
#include "test_port.h"

#include "pdu.h"
#include "segmentation.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

using namespace lonvera::emulator;
using lonvera::emulator::testing::TestPort;

namespace {
// COM numbers of this test program, apart from those other test programs use.
constexpr int kCom = 41;
} // namespace

class TstModemDialogue : public QObject
{
    Q_OBJECT

    struct Rig
    {
        QTemporaryDir dir;
        Emulator emulator;
        bool start(int modems, const ModemProfile &profile = {}, bool ownThread = true)
        {
            if (ownThread)
                emulator.startInThread();
            EmulatorOptions o;
            o.prefix = dir.path();
            o.modems = modems;
            o.firstCom = kCom;
            o.profiles.defaults = profile;
            QString why;
            const bool ok = emulator.start(o, &why);
            if (!ok)
                qWarning() << why;
            return ok;
        }
    };

    static QList<lonvera::pdu::SubmitPart> submitParts(const QString &text, const QString &to,
                                                       bool report, bool explicitCentre)
    {
        lonvera::pdu::SubmitRequest r;
        r.text = text;
        r.destination = to;
        r.centre = QStringLiteral("8613800200500");
        r.statusReport = report;
        r.reference = 42;
        const auto parts = lonvera::pdu::encodeSubmitParts(
            r, explicitCentre ? lonvera::pdu::CentreVariant::Explicit
                              : lonvera::pdu::CentreVariant::Default);
        return parts.ok() ? parts.value() : QList<lonvera::pdu::SubmitPart>{};
    }

    // Sends one PDU the way the control does; returns the reply after Ctrl-Z.
    static QByteArray sendPdu(TestPort &port, const lonvera::pdu::SubmitPart &part)
    {
        const QByteArray prompt =
            port.exchange("AT+CMGS= " + QByteArray::number(part.tpduOctets) + "\r\n", ">");
        if (!prompt.contains('>'))
            return "no prompt: " + prompt;
        port.take();
        port.write(part.pdu.toLatin1() + "\x1a");
        port.waitFor("OK");
        port.waitFor("ERROR", 50);
        return port.take();
    }

    static int cmtiCount(const QByteArray &text) { return int(text.count("+CMTI: \"SM\",")); }

private slots:
    void commandsAnswer_data();
    void commandsAnswer();
    void profileQuirks_data();
    void profileQuirks();
    void promptAndSendReply_data();
    void promptAndSendReply();
    void twoPartMessageArrivesAsTwoStoredPdus_data();
    void twoPartMessageArrivesAsTwoStoredPdus();
    void statusReportReachesSender_data();
    void statusReportReachesSender();
    void ringAndClcc();
    void fragmentedReplyComesInTwoPieces();
    void silentModemNeverAnswers();
    void heldOutputAndTheProgramsClose();
    void onlyConfiguredHandshakeIsAnswered();
    void malformedInputGetsError_data();
    void malformedInputGetsError();
    void gluedNotificationFollowsFinalResult();
    void unplugAndReplug();
    void dsrFileFollowsProfile();
    void servesOnCallersThread();
};

void TstModemDialogue::commandsAnswer_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("at") << QByteArray("at\r\n") << QByteArray("at\r\r\nOK\r\n");
    QTest::newRow("cmgf test") << QByteArray("at+cmgf=?\r\n")
                               << QByteArray("+CMGF: (0,1)\r\n\r\nOK");
    QTest::newRow("pdu mode") << QByteArray("at+cmgf=0\r\n") << QByteArray("\r\nOK\r\n");
    QTest::newRow("store profile") << QByteArray("at&w\r\n") << QByteArray("OK");
    QTest::newRow("cpms") << QByteArray("at+cpms?\r\n")
                          << QByteArray("+CPMS: \"SM\",0,30,\"SM\",0,30,\"SM\",0,30");
    QTest::newRow("cnmi test") << QByteArray("at+cnmi=?\r\n")
                               << QByteArray("+CNMI: (0-2),(0-3),(0,2),(0-2),(0,1)");
    QTest::newRow("cnmi 2,1,0,1,0") << QByteArray("at+cnmi=2,1,0,1,0\r\n") << QByteArray("OK");
    QTest::newRow("cnmi 2,1,0,2,1") << QByteArray("at+cnmi=2,1,0,2,1\r\n") << QByteArray("OK");
    QTest::newRow("cnmi short") << QByteArray("at+cnmi=2,1\r\n") << QByteArray("OK");
    QTest::newRow("cnmi out of range")
        << QByteArray("at+cnmi=3,1,0,1,0\r\n") << QByteArray("ERROR");
    QTest::newRow("cnmi off") << QByteArray("at+cnmi=0\r\n") << QByteArray("OK");
    QTest::newRow("list with blank") << QByteArray("at+cmgl= 4\r\n") << QByteArray("\r\nOK\r\n");
    QTest::newRow("list bad state") << QByteArray("at+cmgl= 9\r\n") << QByteArray("+CMS ERROR");
    QTest::newRow("read empty slot") << QByteArray("at+cmgr= 3\r\n") << QByteArray("\r\nOK\r\n");
    QTest::newRow("read out of range")
        << QByteArray("at+cmgr= 31\r\n") << QByteArray("+CMS ERROR: 321");
    QTest::newRow("delete index") << QByteArray("at+cmgd= 12\r\n") << QByteArray("OK");
    QTest::newRow("delete flag") << QByteArray("at+cmgd=1, 1\r\n") << QByteArray("OK");
    QTest::newRow("clcc idle") << QByteArray("at+clcc\r\n") << QByteArray("at+clcc\r\r\nOK\r\n");
    QTest::newRow("answer nothing") << QByteArray("ATA\r\n") << QByteArray("NO CARRIER");
    QTest::newRow("hang up") << QByteArray("ATH\r\n") << QByteArray("OK");
    QTest::newRow("key without call") << QByteArray("at+vts=1\r\n") << QByteArray("ERROR");
    QTest::newRow("model") << QByteArray("at+cgmm\r\n")
                           << QByteArray("at+cgmm\r\r\nEMU-GSM 900E 1800\r\n\r\nOK\r\n");
    QTest::newRow("maker") << QByteArray("at+cgmi\r\n") << QByteArray("LONVERA");
    QTest::newRow("revision") << QByteArray("at+cgmr\r\n") << QByteArray("EMU 1.0.0");
    QTest::newRow("imei with check digit")
        << QByteArray("at+cgsn\r\n") << QByteArray("35209900000041");
    QTest::newRow("centre") << QByteArray("AT+CSCA?\r\n")
                            << QByteArray("+CSCA: \"+8613800200500\",145");
    QTest::newRow("charset") << QByteArray("at+cscs =\"ucs2\"\r\n") << QByteArray("OK");
    QTest::newRow("phonebook") << QByteArray("at+cpbs = \"SM\"\r\n") << QByteArray("OK");
    QTest::newRow("unknown phonebook") << QByteArray("at+cpbs = \"XX\"\r\n") << QByteArray("ERROR");
    QTest::newRow("phonebook range, blanks")
        << QByteArray("at + cpbr = ?\r\n") << QByteArray("+CPBR: (1-250)");
    QTest::newRow("unknown command") << QByteArray("at+xyz\r\n") << QByteArray("ERROR");
    QTest::newRow("not a command") << QByteArray("hello\r\n") << QByteArray("ERROR");
    QTest::newRow("data call refused") << QByteArray("ATD123\r\n") << QByteArray("NO CARRIER");
    QTest::newRow("cmgs length zero") << QByteArray("at+cmgs=0\r") << QByteArray("+CMS ERROR: 304");
    QTest::newRow("two commands") << QByteArray("ATE1;+CMGF=0\r\n") << QByteArray("OK");
}

void TstModemDialogue::commandsAnswer()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, expected);
    Rig rig;
    QVERIFY(rig.start(1));
    TestPort port(rig.emulator);
    QVERIFY(port.open(rig.emulator.linkPath(kCom)));
    port.write(command);
    QVERIFY2(port.waitFor(expected, 5000), port.seen().constData());
}

void TstModemDialogue::profileQuirks_data()
{
    QTest::addColumn<QVariantMap>("profile");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QByteArray>("absent");

    auto map = [](std::initializer_list<std::pair<const QString, QVariant>> l) {
        return QVariantMap(l);
    };
    QTest::newRow("echo off") << map({{"echo", false}}) << QByteArray("at\r\n")
                              << QByteArray("\r\nOK\r\n") << QByteArray("at");
    QTest::newRow("lower case ok") << map({{"lowerCaseResults", true}}) << QByteArray("at\r\n")
                                   << QByteArray("\r\nok\r\n") << QByteArray("OK");
    QTest::newRow("lower case error")
        << map({{"lowerCaseResults", true}}) << QByteArray("at+nope\r\n")
        << QByteArray("\r\nerror\r\n") << QByteArray("ERROR");
    QTest::newRow("prompt without blank")
        << map({{"promptBlank", false}, {"echo", false}}) << QByteArray("at+cmgs=23\r")
        << QByteArray("\r\n>") << QByteArray("> ");
    QTest::newRow("no cnmi at all") << map({{"cnmiRanges", ""}}) << QByteArray("at+cnmi=?\r\n")
                                    << QByteArray("ERROR") << QByteArray("+CNMI");
    QTest::newRow("narrow cnmi refuses mode 2")
        << map({{"cnmiRanges", "(0-1),(0-3),(0-3),(0-2),(0,1)"}})
        << QByteArray("at+cnmi=2,1,0,1,0\r\n") << QByteArray("ERROR") << QByteArray("OK");
    QTest::newRow("no delete flag")
        << map({{"deleteFlagSupported", false}}) << QByteArray("at+cmgd=1, 1\r\n")
        << QByteArray("ERROR") << QByteArray("OK");
    QTest::newRow("capacity") << map({{"capacity", 50}}) << QByteArray("at+cpms?\r\n")
                              << QByteArray("\"SM\",0,50") << QByteArray("ERROR");
    QTest::newRow("identity") << map({{"model", "MULTIBAND 900E 1800"},
                                      {"imei", "123456789012347"}})
                              << QByteArray("at+cgmm;+cgsn\r\n")
                              << QByteArray("MULTIBAND 900E 1800\r\n\r\n123456789012347")
                              << QByteArray("ERROR");
    QTest::newRow("ucs2 phonebook")
        << map({{"phonebook.SM", "13912345678:\u5f20\u4e09"}})
        << QByteArray("at+cscs =\"ucs2\";+cpbs = \"SM\";+cpbr=1,250\r\n")
        << QByteArray("+CPBR: 1,\"13912345678\",129,\"5F204E09\"") << QByteArray("ERROR");
}

void TstModemDialogue::profileQuirks()
{
    QFETCH(QVariantMap, profile);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, expected);
    QFETCH(QByteArray, absent);
    ModemProfile p;
    QString why;
    QVERIFY2(p.apply(profile, &why), qPrintable(why));
    Rig rig;
    QVERIFY(rig.start(1, p));
    TestPort port(rig.emulator);
    QVERIFY(port.open(rig.emulator.linkPath(kCom)));
    port.write(command);
    port.waitFor(expected, 5000);
    const QByteArray reply = port.take();
    QVERIFY2(reply.contains(expected), reply.constData());
    QVERIFY2(!reply.contains(absent), reply.constData());
}

void TstModemDialogue::promptAndSendReply_data()
{
    QTest::addColumn<bool>("explicitCentre");
    QTest::addColumn<QVariantMap>("profile");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("explicit centre")
        << true << QVariantMap() << QByteArray("\r\n+CMGS: 0\r\n\r\nOK\r\n");
    QTest::newRow("default centre") << false << QVariantMap() << QByteArray("+CMGS: 0\r\n\r\nOK");
    QTest::newRow("explicit centre refused")
        << true << QVariantMap{{"rejectExplicitCentre", true}} << QByteArray("+CMS ERROR: 304");
    QTest::newRow("default centre taken by the refusing modem")
        << false << QVariantMap{{"rejectExplicitCentre", true}} << QByteArray("+CMGS: 0");
    QTest::newRow("first send fails")
        << false << QVariantMap{{"cmsErrorOnSend", 1}} << QByteArray("+CMS ERROR: 500");
    QTest::newRow("unknown number refused")
        << false << QVariantMap{{"unknownNumberCmsError", 1}} << QByteArray("+CMS ERROR: 1");
}

void TstModemDialogue::promptAndSendReply()
{
    QFETCH(bool, explicitCentre);
    QFETCH(QVariantMap, profile);
    QFETCH(QByteArray, expected);
    ModemProfile p;
    QString why;
    QVERIFY(p.apply(profile, &why));
    Rig rig;
    QVERIFY(rig.start(1, p));
    TestPort port(rig.emulator);
    QVERIFY(port.open(rig.emulator.linkPath(kCom)));

    const auto parts =
        submitParts(QStringLiteral("hello"), QStringLiteral("13912345678"), false, explicitCentre);
    QCOMPARE(parts.size(), 1);
    const QByteArray reply = sendPdu(port, parts[0]);
    QVERIFY2(reply.contains(expected), reply.constData());

    const QList<SentMessage> sent = rig.emulator.sentMessages(kCom);
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent[0].pdu, parts[0].pdu.toUpper().toLatin1());
    QCOMPARE(sent[0].reference >= 0, expected.contains("+CMGS"));
}

void TstModemDialogue::twoPartMessageArrivesAsTwoStoredPdus_data()
{
    QTest::addColumn<QString>("order");
    QTest::addColumn<QList<int>>("sequences");
    QTest::newRow("in order") << "inorder" << QList<int>{1, 2};
    QTest::newRow("reversed") << "reversed" << QList<int>{2, 1};
}

void TstModemDialogue::twoPartMessageArrivesAsTwoStoredPdus()
{
    QFETCH(QString, order);
    QFETCH(QList<int>, sequences);
    ModemProfile p;
    QString why;
    QVERIFY(p.apply({{"partOrder", order}}, &why));
    Rig rig;
    QVERIFY(rig.start(2, p));
    TestPort sender(rig.emulator);
    TestPort recipient(rig.emulator);
    QVERIFY(sender.open(rig.emulator.linkPath(kCom)));
    QVERIFY(recipient.open(rig.emulator.linkPath(kCom + 1)));

    const QString text = QString(100, QChar(0x4E2D)); // 100 UCS2 characters: 67 + 33
    const auto parts = submitParts(text, rig.emulator.number(kCom + 1), false, false);
    QCOMPARE(parts.size(), 2);
    for (const auto &part : parts)
        QVERIFY(sendPdu(sender, part).contains("+CMGS:"));

    QVERIFY(rig.emulator.waitFor([&] { return cmtiCount(recipient.seen()) >= 2; }, 3000));
    QVERIFY(recipient.staysQuiet(100) || cmtiCount(recipient.seen()) == 2);
    const QByteArray notes = recipient.take();
    QCOMPARE(cmtiCount(notes), 2);
    QVERIFY(notes.contains("+CMTI: \"SM\",1\r\n"));
    QVERIFY(notes.contains("+CMTI: \"SM\",2\r\n"));

    const QByteArray listing = recipient.exchange("at+cmgl= 4\r\n");
    QCOMPARE(int(listing.count("+CMGL: ")), 2);
    QList<int> seen;
    QString joined;
    for (const QByteArray &line : listing.split('\n')) {
        const QByteArray hex = line.trimmed();
        if (hex.size() < 30 || hex.contains("CMGL") || hex.contains("at"))
            continue;
        const auto pdu = lonvera::pdu::decodePduHex(QString::fromLatin1(hex));
        QVERIFY2(pdu.ok(), qPrintable(pdu.error()));
        const auto *deliver = pdu->deliver();
        QVERIFY(deliver);
        QCOMPARE(deliver->originator.value, rig.emulator.number(kCom));
        QCOMPARE(pdu->centre.value, QStringLiteral("8613800200500"));
        QVERIFY(deliver->userData.concatenation.has_value());
        QCOMPARE(deliver->userData.concatenation->total, 2);
        seen.append(deliver->userData.concatenation->sequence);
        joined += deliver->userData.text;
    }
    QCOMPARE(seen, sequences);
    QCOMPARE(joined.size(), text.size());
}

void TstModemDialogue::statusReportReachesSender_data()
{
    QTest::addColumn<QByteArray>("cnmi");
    QTest::addColumn<int>("reportStatus");
    QTest::addColumn<bool>("stored");

    QTest::newRow("direct, delivered") << QByteArray("at+cnmi=2,1,0,1,0\r\n") << 0 << false;
    QTest::newRow("direct, failed") << QByteArray("at+cnmi=2,1,0,1,0\r\n") << 0x46 << false;
    QTest::newRow("stored, delivered") << QByteArray("at+cnmi=2,1,0,2,0\r\n") << 0 << true;
}

void TstModemDialogue::statusReportReachesSender()
{
    QFETCH(QByteArray, cnmi);
    QFETCH(int, reportStatus);
    QFETCH(bool, stored);
    ModemProfile p;
    p.reportStatus = reportStatus;
    Rig rig;
    QVERIFY(rig.start(2, p));
    TestPort sender(rig.emulator);
    QVERIFY(sender.open(rig.emulator.linkPath(kCom)));
    QVERIFY(sender.exchange(cnmi).contains("OK"));

    const auto parts =
        submitParts(QStringLiteral("report me"), rig.emulator.number(kCom + 1), true, true);
    QCOMPARE(parts.size(), 1);
    // The report may come right behind the send's reply, so keep everything that arrived.
    QByteArray got = sendPdu(sender, parts[0]);
    QVERIFY(got.contains("+CMGS: 0"));
    const QByteArray announce = stored ? "+CDSI: \"SM\",1\r\n" : "+CDS: ";
    QVERIFY2(rig.emulator.waitFor(
                 [&] {
                     const QByteArray all = got + sender.seen();
                     const qsizetype at = all.indexOf(announce);
                     return at >= 0 && all.mid(at).count('\n') >= (stored ? 1 : 2);
                 },
                 3000),
             qPrintable(rig.emulator.log()->dump()));
    got += sender.take();

    QByteArray reportHex;
    QList<QByteArray> lines = got.split('\n');
    if (stored)
        lines = sender.exchange("at+cmgr=1\r\n").split('\n');
    const QByteArray header = stored ? "+CMGR: " : "+CDS: ";
    for (qsizetype i = 0; i + 1 < lines.size(); ++i)
        if (lines[i].startsWith(header))
            reportHex = lines[i + 1].trimmed();
    const auto pdu = lonvera::pdu::decodePduHex(QString::fromLatin1(reportHex));
    QVERIFY2(pdu.ok(), qPrintable(pdu.error() + QLatin1String(" in ") + QLatin1String(reportHex)));
    const auto *report = pdu->statusReport();
    QVERIFY(report);
    QCOMPARE(int(report->messageReference), 0);
    QCOMPARE(int(report->status), reportStatus);
    QCOMPARE(report->recipient.value, rig.emulator.number(kCom + 1));
    // The control's decoder reads the same text into its report record.
    const QString record = lonvera::pdu::DecodeReportLine(QString::fromLatin1(reportHex));
    QVERIFY2(record.startsWith(reportStatus == 0 ? QStringLiteral("已发送至：")
                                                 : QStringLiteral("未发送至：")),
             qPrintable(record));
}

void TstModemDialogue::ringAndClcc()
{
    ModemProfile p;
    p.ringIntervalMs = 150;
    Rig rig;
    QVERIFY(rig.start(2, p));
    TestPort caller(rig.emulator);
    TestPort callee(rig.emulator);
    QVERIFY(caller.open(rig.emulator.linkPath(kCom)));
    QVERIFY(callee.open(rig.emulator.linkPath(kCom + 1)));

    const QByteArray calleeNumber = rig.emulator.number(kCom + 1).toLatin1();
    QVERIFY(caller.exchange("ATD" + calleeNumber.mid(2) + ";\r\n").contains("OK"));
    QVERIFY(rig.emulator.waitFor([&] { return callee.seen().count("RING") >= 2; }, 3000));
    callee.take();

    const QByteArray clcc = callee.exchange("at+clcc\r\n");
    QVERIFY2(
        clcc.contains("+CLCC: 1,1,4,0,0,\"+" + rig.emulator.number(kCom).toLatin1() + "\",145"),
        clcc.constData());
    QVERIFY(caller.exchange("at+clcc\r\n").contains("+CLCC: 1,0,3,0,0,"));
    QVERIFY(caller.exchange("at+vts=5\r\n").contains("OK"));
    QVERIFY(caller.exchange("ATD" + calleeNumber + ";\r\n", "ERROR").contains("ERROR"));

    // The callee rejects: ringing stops, the caller hears busy.
    QVERIFY(callee.exchange("ATH\r\n").contains("OK"));
    QVERIFY(caller.waitFor("BUSY"));
    callee.take();
    QVERIFY(callee.staysQuiet(400));
    QVERIFY(callee.exchange("at+clcc\r\n").endsWith("at+clcc\r\r\nOK\r\n"));

    // An answered call ends with NO CARRIER on the other side.
    QVERIFY(caller.exchange("ATD" + calleeNumber + ";\r\n").contains("OK"));
    QVERIFY(callee.waitFor("RING"));
    QVERIFY(callee.exchange("ATA\r\n").contains("OK"));
    QVERIFY(callee.exchange("at+clcc\r\n").contains("+CLCC: 1,1,0,0,0,"));
    caller.take();
    QVERIFY(callee.exchange("ATH\r\n").contains("OK"));
    QVERIFY(caller.waitFor("NO CARRIER"));

    // A caller outside the network.
    rig.emulator.ringFrom(kCom + 1, QStringLiteral("13912345678"));
    QVERIFY(callee.waitFor("RING"));
    QVERIFY(callee.exchange("at+clcc\r\n").contains("\"13912345678\",129"));
}

void TstModemDialogue::fragmentedReplyComesInTwoPieces()
{
    ModemProfile p;
    p.fragmentGapMs = 120;
    p.echo = false;
    Rig rig;
    QVERIFY(rig.start(1, p));
    TestPort port(rig.emulator);
    QVERIFY(port.open(rig.emulator.linkPath(kCom)));
    port.write("at\r\n");
    QVERIFY(port.waitFor("O"));
    QCOMPARE(port.seen(), QByteArray("\r\nO")); // the "K" is still on its way
    QVERIFY(port.waitFor("OK"));
    QCOMPARE(port.take(), QByteArray("\r\nOK\r\n"));
    // A command typed while the reply is cut waits its turn.
    port.write("at+cgmi\r\nat\r\n");
    QVERIFY(rig.emulator.waitFor([&] { return port.seen().count("OK") == 2; }, 2000));
    QCOMPARE(port.take(), QByteArray("\r\nLONVERA\r\n\r\nOK\r\n\r\nOK\r\n"));
}

void TstModemDialogue::silentModemNeverAnswers()
{
    ModemProfile p;
    p.silent = true;
    Rig rig;
    QVERIFY(rig.start(1, p));
    TestPort port(rig.emulator);
    QVERIFY(port.open(rig.emulator.linkPath(kCom)));
    port.write("at\r\n");
    QVERIFY(rig.emulator.waitForCommand(kCom, "at", 50) == false);
    QVERIFY(port.staysQuiet(300));
    // It still hears: the log has the bytes.
    QVERIFY(!rig.emulator.log()->entries(kCom).isEmpty());
}

void TstModemDialogue::heldOutputAndTheProgramsClose()
{
    ModemProfile p;
    p.holdableOutput = true;
    Rig rig;
    QVERIFY(rig.start(1, p));
    TestPort port(rig.emulator);
    QVERIFY(port.open(rig.emulator.linkPath(kCom)));
    QVERIFY(port.exchange("at\r\n").contains("OK"));
    // Held: the command never reaches the modem.
    QVERIFY(rig.emulator.holdOutput(kCom, true));
    port.write("at+cgmi\r\n");
    QVERIFY(port.staysQuiet(300));
    QVERIFY(!rig.emulator.waitForCommand(kCom, "at+cgmi", 50));
    // The emulator holds the slave side itself, yet sees the program close and open the port.
    port.close();
    QVERIFY(rig.emulator.waitFor([&] { return !rig.emulator.isAttached(kCom); }, 3000));
    QVERIFY(rig.emulator.holdOutput(kCom, false));
    QVERIFY(port.open(rig.emulator.linkPath(kCom)));
    QVERIFY(port.exchange("at\r\n").contains("OK"));
    QVERIFY(rig.emulator.isAttached(kCom));
}

void TstModemDialogue::onlyConfiguredHandshakeIsAnswered()
{
    ModemProfile p;
    p.answeredHandshakes = {2};
    Rig rig;
    QVERIFY(rig.start(1, p));
    TestPort port(rig.emulator);
    QVERIFY(port.open(rig.emulator.linkPath(kCom), QSerialPort::NoFlowControl));
    port.write("at\r\n");
    QVERIFY(port.staysQuiet(300));
    QVERIFY(port.port().setFlowControl(QSerialPort::HardwareControl));
    QVERIFY(port.exchange("at\r\n").contains("OK"));
}

void TstModemDialogue::malformedInputGetsError_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("binary noise") << QByteArray("\x01\xff\x80\x7f garbage\x05\r", 15)
                                  << QByteArray("ERROR");
    QTest::newRow("ctrl-z without prompt") << QByteArray("\x1a") << QByteArray("ERROR");
    QTest::newRow("pdu not hex") << QByteArray("at+cmgs=18\rXYZ-not-hex\x1a")
                                 << QByteArray("+CMS ERROR: 304");
    QTest::newRow("pdu length mismatch")
        << QByteArray("at+cmgs=9\r0011000B813119325476F8\x1a") << QByteArray("+CMS ERROR: 304");
    QTest::newRow("pdu not a submit")
        << QByteArray("at+cmgs=4\r0006000000\x1a") << QByteArray("+CMS ERROR: 304");
    QTest::newRow("unbalanced quote") << QByteArray("at+cpbs=\"SM\r") << QByteArray("ERROR");
    QTest::newRow("overlong line")
        << QByteArray("at" + QByteArray(5000, 'x') + "\r") << QByteArray("ERROR");
    QTest::newRow("lone parameter marks") << QByteArray("at+=?;\r") << QByteArray("ERROR");
}

void TstModemDialogue::malformedInputGetsError()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, expected);
    Rig rig;
    QVERIFY(rig.start(1));
    TestPort port(rig.emulator);
    QVERIFY(port.open(rig.emulator.linkPath(kCom)));
    port.write(input);
    QVERIFY2(port.waitFor(expected), port.seen().constData());
    // The modem is still in command state and answers.
    QVERIFY(port.exchange("at\r\n").contains("OK"));
}

void TstModemDialogue::gluedNotificationFollowsFinalResult()
{
    ModemProfile p;
    p.echo = false;
    Rig rig;
    QVERIFY(rig.start(1, p));
    TestPort port(rig.emulator);
    QVERIFY(port.open(rig.emulator.linkPath(kCom)));
    rig.emulator.injectNotification(kCom, "+CMTI: \"SM\",7", true);
    QVERIFY(port.staysQuiet(100));
    port.write("at\r\n");
    QVERIFY(port.waitFor("+CMTI: \"SM\",7\r\n"));
    QCOMPARE(port.take(), QByteArray("\r\nOK\r\n+CMTI: \"SM\",7\r\n"));

    // With the profile switch, indications arriving during a slow command are glued too.
    rig.emulator.updateProfile(kCom, [](ModemProfile &q) {
        q.glueNotifications = true;
        q.replyDelayMs = 200;
    });
    rig.emulator.log()->clear();
    port.write("at\r\n");
    QVERIFY(rig.emulator.waitForCommand(kCom, "at", 1000));
    rig.emulator.injectRing(kCom);
    QVERIFY(port.waitFor("RING\r\n"));
    QCOMPARE(port.take(), QByteArray("\r\nOK\r\nRING\r\n"));
}

void TstModemDialogue::unplugAndReplug()
{
    Rig rig;
    QVERIFY(rig.start(1));
    TestPort port(rig.emulator);
    const QString link = rig.emulator.linkPath(kCom);
    QVERIFY(port.open(link));
    QVERIFY(port.exchange("at\r\n").contains("OK"));
    QVERIFY(rig.emulator.deliverText(kCom, QStringLiteral("13912345678"), QStringLiteral("kept")));
    QVERIFY(rig.emulator.waitFor([&] { return rig.emulator.isAttached(kCom); }, 1000));
    const QString before = rig.emulator.devicePath(kCom);

    rig.emulator.unplug(kCom);
    QVERIFY(!QFileInfo::exists(link));
    QVERIFY(rig.emulator.waitFor([&] { return port.failed() || !port.isOpen(); }, 2000));
    QVERIFY(!rig.emulator.isAttached(kCom));
    port.close();
    // Field fault: the link of an unplugged modem kept naming its old pseudo-terminal, whose
    // number the system gives to the next program that opens one (here, as in a parallel test
    // run, another terminal); a gateway reconnecting through the link reached that program.
    const int other = ::posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(other >= 0 && ::grantpt(other) == 0 && ::unlockpt(other) == 0);
    const bool reachesOther = QFileInfo::exists(link);
    ::close(other);
    QVERIFY(!reachesOther);

    QVERIFY(rig.emulator.replug(kCom));
    QVERIFY(QFileInfo(link).isSymLink());
    QVERIFY(port.open(link));
    QVERIFY(port.exchange("at\r\n").contains("OK"));
    QVERIFY(!before.isEmpty());
    // The SIM kept its message.
    QVERIFY(port.exchange("at+cmgl= 4\r\n").contains("+CMGL: 1,0,,"));
}

void TstModemDialogue::dsrFileFollowsProfile()
{
    ModemProfile p;
    p.dsrOnOpen = true;
    Rig rig;
    QVERIFY(rig.start(2, p));
    rig.emulator.updateProfile(kCom + 1, [](ModemProfile &q) { q.dsrOnOpen = false; });
    QVERIFY(QFile::exists(rig.emulator.dsrPath(kCom)));
    QVERIFY(!QFile::exists(rig.emulator.dsrPath(kCom + 1)));
    rig.emulator.unplug(kCom);
    QVERIFY(!QFile::exists(rig.emulator.dsrPath(kCom)));
    QVERIFY(rig.emulator.replug(kCom));
    QVERIFY(QFile::exists(rig.emulator.dsrPath(kCom)));
    rig.emulator.setDsr(kCom, false);
    QVERIFY(!QFile::exists(rig.emulator.dsrPath(kCom)));
}

void TstModemDialogue::servesOnCallersThread()
{
    Rig rig;
    QVERIFY(rig.start(1, {}, false));
    TestPort port(rig.emulator);
    QVERIFY(port.open(rig.emulator.linkPath(kCom)));
    QVERIFY(port.exchange("at\r\n").contains("OK"));
    QVERIFY(rig.emulator.deliverText(kCom, QStringLiteral("+8613912345678"), QStringLiteral("hi")));
    QVERIFY(port.waitFor("+CMTI: \"SM\",1"));
}

QTEST_GUILESS_MAIN(TstModemDialogue)
#include "tst_modem_dialogue.moc"
