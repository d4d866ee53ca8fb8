// Rows queued by Pelton's command line are sent by the real gateway: the server core, the worker
// server Tarvex80 and emulated modems on pseudo-terminals, on SQLite and PostgreSQL. Each text
// goes into the network once and the rows end in SendedOutBox.
#include "control/pdu/pdu.h"
#include "server/core/client_worker_factory.h"
#include "server/core/server_app.h"
#include "server/core/tests/e2e_rig.h"

#include <QProcess>
#include <QTest>

using namespace lonvera;
using namespace lonvera::server;
using namespace lonvera::server::test;
using db::test::TestEngine;

namespace {

int pelton(const QStringList &arguments, const QByteArray &input, QString *ids)
{
    QProcess p;
    p.start(QCoreApplication::applicationDirPath() + QStringLiteral("/Pelton"), arguments);
    if (!p.waitForStarted())
        return -1;
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(60000))
        p.kill();
    *ids += QString::fromUtf8(p.readAllStandardOutput());
    if (p.exitCode() != 0)
        qWarning() << p.readAllStandardError();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

bool allConnected(Gateway *gateway, int modems)
{
    for (int n = 1; n <= modems; ++n)
        if (!gateway->slot(n).connected)
            return false;
    return true;
}

// The texts that went out through the emulated modems, each once per send.
QStringList wireTexts(const emulator::Emulator &emulator)
{
    QStringList texts;
    for (const emulator::SentMessage &sent : emulator.sentMessages()) {
        if (sent.reference < 0)
            continue;
        const auto decoded = pdu::decodePduHex(QString::fromLatin1(sent.pdu));
        if (decoded.ok() && decoded.value().submit())
            texts << decoded.value().submit()->userData.text;
    }
    texts.sort();
    return texts;
}

} // namespace

class TestPeltonEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void queuedRowsLeaveThroughTheGateway_data()
    {
        QTest::addColumn<TestEngine>("engine");
        QTest::newRow("sqlite") << TestEngine::Sqlite;
        QTest::newRow("postgresql") << TestEngine::PostgreSql;
    }
    void queuedRowsLeaveThroughTheGateway()
    {
        QFETCH(TestEngine, engine);
        const int modems = 2;
        E2eRig rig;
        QString reason;
        if (!rig.setUp(engine, modems, &reason)) {
            if (engine == TestEngine::PostgreSql && reason.contains(QLatin1String("not set")))
                QSKIP(qPrintable(reason));
            QFAIL(qPrintable(reason));
        }
        const QStringList to{QStringLiteral("--connection"), rig.connectionString(),
                             QStringLiteral("--to"), rig.number(2)};
        QString ids;
        QCOMPARE(pelton(to + QStringList{"--text", "one from the shell"}, {}, &ids), 0);
        QCOMPARE(pelton(to + QStringList{"--text", "-", "--report"},
                        QStringLiteral("来自标准输入的短信\n").toUtf8(), &ids),
                 0);
        QCOMPARE(pelton(to + QStringList{"--text", "numbered ", "--count", "3"}, {}, &ids), 0);
        QCOMPARE(ids.split(u'\n', Qt::SkipEmptyParts).size(), 5);
        QCOMPARE(rig.scalar(QStringLiteral("select count(*) from outbox")), 5);

        ClientWorkerFactory factory;
        ServerApp app(rig.home(), &factory);
        QCOMPARE(app.start(1, 0, 0), ServerApp::StartResult::Running);
        Gateway *gateway = app.gateway();
        gateway->connectAll();
        QTRY_VERIFY_WITH_TIMEOUT(allConnected(gateway, modems), 30000);
        QTRY_COMPARE_WITH_TIMEOUT(rig.scalar(QStringLiteral("select count(*) from outbox")), 0,
                                  60000);

        QStringList expected{"one from the shell", "来自标准输入的短信", "numbered 1", "numbered 2",
                             "numbered 3"};
        expected.sort();
        QStringList sent = rig.column(QStringLiteral("select Msg from SendedOutBox"));
        sent.sort();
        QCOMPARE(sent, expected);
        QCOMPARE(rig.scalar(QStringLiteral("select count(*) from badoutbox")), 0);
        QCOMPARE(wireTexts(rig.emulator()), expected);
        // The text from standard input asked for a report, and it came back.
        QTRY_COMPARE_WITH_TIMEOUT(rig.scalar(QStringLiteral("select count(*) from report")), 1,
                                  30000);
        QVERIFY(gateway->requestClose());
    }
};

QTEST_GUILESS_MAIN(TestPeltonEndToEnd)
#include "tst_pelton_end_to_end.moc"
