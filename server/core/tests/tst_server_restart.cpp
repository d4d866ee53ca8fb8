// The server process killed mid-run and started again, on emulated modems and the default
// database: no row is lost, nothing recorded as sent goes out again, and rows a port had claimed
// stay with that port and are sent by it after the restart. SIGTERM closes in order.
#include "e2e_rig.h"

#include <QProcess>
#include <QScopeGuard>
#include <QTest>

#include <csignal>

using namespace lonvera::server::test;
using lonvera::db::test::TestEngine;
using namespace Qt::StringLiterals;

namespace {

void startServer(QProcess &server, const QString &home)
{
    server.setProgram(QCoreApplication::applicationDirPath() + u"/Brevin"_s);
    server.setArguments({u"--headless"_s, u"--home"_s, home});
    server.start();
}

// A failed check shows the server's run log (on a CI machine nothing else is left to look at).
auto showOutputOnFailure(QProcess &server)
{
    return qScopeGuard([&server] {
        if (!QTest::currentTestFailed())
            return;
        server.waitForReadyRead(200);
        const QString out = QString::fromUtf8(server.readAllStandardOutput());
        qWarning().noquote() << server.program() << "printed:\n"
                             << E2eRig::unusualLines(out.split(u'\n')).right(6000);
    });
}

} // namespace

class TstServerRestart : public QObject
{
    Q_OBJECT
private slots:
    void killedServerLosesNothing();
};

void TstServerRestart::killedServerLosesNothing()
{
    const int modems = 4;
    const int messages = 160;
    E2eRig rig;
    QString reason;
    QVERIFY2(rig.setUp(TestEngine::Sqlite, modems, &reason), qPrintable(reason));
    rig.addSetting(u"AUTOC"_s, u"AUTOC"_s, u"1"_s);
    QVERIFY(rig.queue(0, messages, 10));

    QProcess first;
    const auto firstOutput = showOutputOnFailure(first);
    startServer(first, rig.home());
    QVERIFY(first.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(rig.scalar(u"select count(*) from SendedOutBox"_s) >= 30, 60000);
    QVERIFY(first.state() == QProcess::Running);
    ::kill(pid_t(first.processId()), SIGKILL);
    QVERIFY(first.waitForFinished(10000));

    QSet<int> recorded;
    for (const QString &text : rig.column(u"select Msg from SendedOutBox"_s))
        recorded.insert(E2eRig::tagOf(text));
    // Counters are saved every minute; those of the killed run may be lost, no others.
    const int sentBeforeKill = int(recorded.size());
    // Rows handed to a port and not yet reported stay with that port.
    QHash<QString, QString> claimed;
    for (const QString &row : rig.column(u"select Msg || '|' || ComPort from outbox where "
                                         "ComPort <> 0"_s)) {
        const qsizetype bar = row.lastIndexOf(u'|');
        claimed.insert(row.left(bar), row.mid(bar + 1));
    }
    QCOMPARE(rig.scalar(u"select (select count(*) from outbox) + (select count(*) from "
                        "SendedOutBox) + (select count(*) from badoutbox)"_s),
             messages);

    QProcess second;
    const auto secondOutput = showOutputOnFailure(second);
    startServer(second, rig.home());
    QVERIFY(second.waitForStarted());
    QTRY_COMPARE_WITH_TIMEOUT(rig.scalar(u"select count(*) from outbox"_s), 0, 90000);
    QCOMPARE(rig.scalar(u"select count(*) from badoutbox"_s), 0);
    const QStringList sent = rig.column(u"select Msg from SendedOutBox"_s);
    QCOMPARE(sent.size(), messages);
    QSet<int> tags;
    for (const QString &text : sent)
        tags.insert(E2eRig::tagOf(text));
    QCOMPARE(tags.size(), messages);
    for (auto it = claimed.begin(); it != claimed.end(); ++it) {
        QString text = it.key();
        text.replace(u'\'', u"''"_s);
        QCOMPARE(rig.column(u"select comport from SendedOutBox where Msg='%1'"_s.arg(text)),
                 QStringList{it.value()});
    }
    const QHash<int, int> wire = rig.sentTags();
    for (int tag : recorded)
        QVERIFY2(wire.value(tag) == 1,
                 qPrintable(u"#%1 sent %2 times"_s.arg(tag).arg(wire.value(tag))));

    // SIGTERM runs the close sequence: the counters reach the database, the process ends.
    ::kill(pid_t(second.processId()), SIGTERM);
    QVERIFY(second.waitForFinished(30000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    const QString out = QString::fromUtf8(second.readAllStandardOutput());
    QVERIFY2(out.contains(u"关闭短信服务器"_s), qPrintable(out.right(2000)));
    QVERIFY(rig.scalar(u"select sum(MsgSendedCount) from comset"_s) >= messages - sentBeforeKill);
}

QTEST_GUILESS_MAIN(TstServerRestart)
#include "tst_server_restart.moc"
