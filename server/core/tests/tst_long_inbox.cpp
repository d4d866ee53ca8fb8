// A long message on the whole receiving road: sent by one emulated modem through the gateway,
// carried by the emulated network in its parts to another, joined by that modem's control, passed
// on by the worker server and written by the gateway into inbox.
#include "e2e_rig.h"
#include "server/core/client_worker_factory.h"
#include "server/core/server_app.h"

#include <QTest>

using namespace lonvera::server;
using namespace lonvera::server::test;
using lonvera::db::test::TestEngine;
using namespace Qt::StringLiterals;

class TstLongInbox : public QObject
{
    Q_OBJECT
private slots:
    void longMessageArrivesWhole();
};

void TstLongInbox::longMessageArrivesWhole()
{
    // A received message longer than 300 characters was cut to 300 in inbox (a 2,000-character
    // message arrived as 300).
    E2eRig rig;
    QString reason;
    QVERIFY2(rig.setUp(TestEngine::Sqlite, 2, &reason), qPrintable(reason));
    QString text = u"#1 "_s;
    for (int i = 0; text.size() < 2000; ++i)
        text += QString::number(i % 10);
    text.truncate(2000);
    QVERIFY(
        rig.exec(u"insert into outbox (Mbno, Msg) values ('%1', '%2')"_s.arg(rig.number(2), text)));
    ClientWorkerFactory factory;
    ServerApp app(rig.home(), &factory);
    QCOMPARE(app.start(1, 0, 0), ServerApp::StartResult::Running);
    app.gateway()->connectAll();
    QTRY_COMPARE_WITH_TIMEOUT(rig.scalar(u"select count(*) from SendedOutBox"_s), 1, 60000);
    QTRY_COMPARE_WITH_TIMEOUT(rig.scalar(u"select count(*) from inbox"_s), 1, 60000);
    const QStringList received = rig.column(u"select Msg from inbox"_s);
    QCOMPARE(received.value(0).size(), text.size());
    QCOMPARE(received.value(0), text);
    app.gateway()->requestClose();
}

QTEST_GUILESS_MAIN(TstLongInbox)
#include "tst_long_inbox.moc"
