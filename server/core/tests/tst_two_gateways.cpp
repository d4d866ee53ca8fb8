// Two gateways on one PostgreSQL database, each with its own program folder, machine prefix and
// modems (COM1-2 on one, COM3-4 on the other), sharing one queue; one of them killed and started
// again mid-run. No message goes out twice, and each goes out through a modem of the gateway that
// recorded it.
#include "e2e_rig.h"
#include "server/core/gateway.h"

#include "control/pdu/pdu.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <csignal>

using namespace lonvera;
using namespace lonvera::server;
using namespace lonvera::server::test;
using lonvera::db::test::TestEngine;
using namespace Qt::StringLiterals;

namespace {

constexpr int kMessages = 400;

void startServer(QProcess &server, const QString &home, const QString &prefix)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"LONVERA_PREFIX"_s, prefix);
    server.setProcessEnvironment(env);
    server.setProgram(QCoreApplication::applicationDirPath() + u"/Brevin"_s);
    server.setArguments({u"--headless"_s, u"--home"_s, home});
    server.setProcessChannelMode(QProcess::MergedChannels);
    server.start();
}

// Accepted first parts per tag through one emulator's modems.
QHash<int, int> tagsOf(const emulator::Emulator &emulator)
{
    QHash<int, int> tags;
    for (const emulator::SentMessage &sent : emulator.sentMessages()) {
        if (sent.reference < 0)
            continue;
        const auto decoded = pdu::decodePduHex(QString::fromLatin1(sent.pdu));
        if (!decoded.ok() || !decoded.value().submit())
            continue;
        const int tag = E2eRig::tagOf(decoded.value().submit()->userData.text);
        if (tag >= 0)
            ++tags[tag];
    }
    return tags;
}

} // namespace

class TstTwoGateways : public QObject
{
    Q_OBJECT
private slots:
    void disjointPortsShareOneQueue();
};

void TstTwoGateways::disjointPortsShareOneQueue()
{
    E2eRig rig; // gateway A: COM1 and COM2
    QString reason;
    if (!rig.setUp(TestEngine::PostgreSql, 2, &reason)) {
        if (reason.contains(u"not set"_s))
            QSKIP(qPrintable(reason));
        QFAIL(qPrintable(reason));
    }
    QVERIFY(rig.exec(u"UPDATE comset SET InUseing='启用' WHERE id<=4"_s));
    rig.addSetting(u"AUTOC"_s, u"AUTOC"_s, u"1"_s);
    // A gateway killed mid-send parks that row rather than sending it a second time.
    rig.addSetting(u"AUTOC"_s, u"AtMostOnce"_s, u"1"_s);

    // Gateway B: its own prefix (so its own COM3 and COM4, worker server and single-instance
    // name) and its own program folder with the same settings.
    QTemporaryDir other;
    const QString prefixB = other.filePath(u"prefix"_s);
    const QString homeB = other.filePath(u"home"_s);
    QVERIFY(QDir().mkpath(homeB + u"/report"_s));
    QVERIFY(QFile::copy(rig.home() + u"/set.ini"_s, homeB + u"/set.ini"_s));
    emulator::Emulator emulatorB;
    emulatorB.startInThread();
    emulator::EmulatorOptions options;
    options.prefix = prefixB;
    options.modems = 2;
    options.firstCom = 3;
    QVERIFY2(emulatorB.start(options, &reason), qPrintable(reason));
    QVERIFY(rig.queue(0, kMessages));

    QProcess a, b;
    startServer(a, rig.home(), rig.prefix());
    startServer(b, homeB, prefixB);
    QVERIFY(a.waitForStarted() && b.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(rig.scalar(u"select count(*) from SendedOutBox where comport>2"_s) >=
                                     kMessages / 8 &&
                                 rig.scalar(u"select count(*) from SendedOutBox where "
                                            "comport<=2"_s) >= kMessages / 8,
                             120000);
    ::kill(pid_t(b.processId()), SIGKILL);
    QVERIFY(b.waitForFinished(10000));
    QProcess again;
    startServer(again, homeB, prefixB);
    QVERIFY(again.waitForStarted());
    QTRY_COMPARE_WITH_TIMEOUT(rig.scalar(u"select count(*) from outbox"_s), 0, 240000);
    for (QProcess *p : {&a, &again}) {
        ::kill(pid_t(p->processId()), SIGTERM);
        QVERIFY(p->waitForFinished(60000));
    }

    const QHash<int, int> wireA = tagsOf(rig.emulator());
    const QHash<int, int> wireB = tagsOf(emulatorB);
    QCOMPARE(rig.scalar(u"select count(*) from SendedOutBox"_s) +
                 rig.scalar(u"select count(*) from badoutbox"_s),
             kMessages);
    // Only a row in the exchange at the kill may end as outcome unknown, and none failed else.
    QVERIFY(rig.scalar(u"select count(*) from badoutbox"_s) <= 2);
    QCOMPARE(rig.column(u"select distinct bad_why from badoutbox"_s).size() <= 1, true);
    for (int tag = 0; tag < kMessages; ++tag)
        QVERIFY2(
            wireA.value(tag) + wireB.value(tag) <= 1,
            qPrintable(
                u"#%1 sent %2 + %3 times"_s.arg(tag).arg(wireA.value(tag)).arg(wireB.value(tag))));
    // Each recorded message went out through a modem of the gateway whose port recorded it.
    for (const QString &row : rig.column(u"select comport || '|' || Msg from SendedOutBox"_s)) {
        const int port = row.section(u'|', 0, 0).toInt();
        const int tag = E2eRig::tagOf(row.section(u'|', 1));
        QCOMPARE((port <= 2 ? wireA : wireB).value(tag), 1);
    }
}

QTEST_GUILESS_MAIN(TstTwoGateways)
#include "tst_two_gateways.moc"
