// Dial-and-keypress work through a real worker server and emulated modems: the status texts in
// order, the waits before each key, the tones sent one command per key, and the rounds.
#include "worker_fixture.h"

#include <QTest>

using namespace lonvera;
using namespace lonvera::worker;
using namespace lonvera::worker::testing;

namespace {

QStringList dtmfSent(const QList<QByteArray> &commands)
{
    QStringList keys;
    for (const QByteArray &c : commands) {
        const QByteArray upper = c.toUpper();
        const int at = upper.indexOf("+VTS=");
        if (at >= 0)
            keys.append(QString::fromLatin1(c.mid(at + 5)));
    }
    return keys;
}

} // namespace

class TestDialTask : public QObject
{
    Q_OBJECT

    WorkerFixture m_fixture;
    std::unique_ptr<client::QXSms> m_worker;
    std::unique_ptr<EventRecorder> m_rec;
    int m_commandMark = 0;

    QList<QByteArray> newCommands() { return m_fixture.emulator().commands(1).mid(m_commandMark); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_fixture.start(1));
        m_worker = m_fixture.connectedWorker(1, &m_rec);
        QVERIFY(m_worker);
    }
    void cleanupTestCase()
    {
        m_rec.reset();
        m_worker.reset();
        m_fixture.stop();
    }
    void init()
    {
        m_fixture.emulator().updateProfile(1, [](emulator::ModemProfile &p) {
            p.dialUnknownResult = QStringLiteral("OK");
            p.refusedCommands.clear();
        });
        m_rec->events.clear();
        m_commandMark = static_cast<int>(m_fixture.emulator().commands(1).size());
    }

    void dialAndKeys()
    {
        m_worker->Dailphone(QStringLiteral("10086"));
        QVERIFY(m_rec->waitForText(QStringLiteral("已接通"), 10000));
        m_worker->DVts123(QStringLiteral("12#"));
        QVERIFY(m_rec->waitForText(QStringLiteral("按建成功"), 10000));
        QCOMPARE(m_rec->texts(), (QStringList{"正在拔号", "已接通", "正在按键", "按建成功"}));
        QCOMPARE(dtmfSent(newCommands()), (QStringList{"1", "2", "#"}));
    }

    void toneRefusedInWordsOfItsOwn()
    {
        // Huawei: a tone refused with "COMMAND NOT SUPPORT" was counted as pressed.
        m_fixture.emulator().updateProfile(1, [](emulator::ModemProfile &p) {
            p.refusedCommands = {"+VTS"};
            p.refusalText = QStringLiteral("COMMAND NOT SUPPORT");
        });
        m_worker->DVts123(QStringLiteral("12"));
        QVERIFY(m_rec->waitForText(QStringLiteral("按建失败"), 10000));
        QCOMPARE(dtmfSent(newCommands()), QStringList{"1"}); // none after the refusal
    }

    void emptyKeyStringSendsNothing()
    {
        m_worker->DVts123(QString());
        QVERIFY(m_rec->waitForText(QStringLiteral("按建成功"), 10000));
        QVERIFY(dtmfSent(newCommands()).isEmpty());
    }

    void zeroRoundsRunOne()
    {
        m_worker->Dovote_task(QStringLiteral("10086"), 0, {1, "5"});
        QVERIFY(m_rec->waitForText(QStringLiteral("任务完成"), 15000));
        QCOMPARE(m_rec->texts(), (QStringList{"正在拔号1", "已接通10086", "正在按:5", "成功按:5",
                                              "正在挂机", "挂机成功", "任务完成"}));
    }

    void twoRoundsWithTwoKeySlots()
    {
        QElapsedTimer clock;
        clock.start();
        m_worker->Dovote_task(QStringLiteral("10086"), 2, {5, "1", 3, "23"});
        QVERIFY(m_rec->waitForText(QStringLiteral("任务完成"), 40000));
        // Two rounds of a 5 s and a 3 s wait.
        QVERIFY(clock.elapsed() >= 16000);
        const QStringList round{"正在拔号1", "已接通10086", "正在按:1", "成功按:1",
                                "正在按:23", "成功按:23",   "正在挂机", "挂机成功"};
        QCOMPARE(m_rec->texts(), round + round + QStringList{"任务完成"});
        // "23" goes out as two commands.
        QCOMPARE(dtmfSent(newCommands()), (QStringList{"1", "2", "3", "1", "2", "3"}));
        // The first key comes 5 s after the connect, the second 3 s after the first.
        const qint64 first = m_rec->timeOf("正在按:1") - m_rec->timeOf("已接通10086");
        const qint64 second = m_rec->timeOf("正在按:23") - m_rec->timeOf("成功按:1");
        QVERIFY2(first >= 4990 && first < 6500, qPrintable(QString::number(first)));
        QVERIFY2(second >= 2990 && second < 4500, qPrintable(QString::number(second)));
    }

    void dashOrZeroWaitEndsTheRound_data()
    {
        QTest::addColumn<QVariantList>("keySlots");
        QTest::newRow("dash") << QVariantList{1, "7", 1, "-", 1, "9"};
        QTest::newRow("zero wait") << QVariantList{1, "7", 0, "8", 1, "9"};
    }
    void dashOrZeroWaitEndsTheRound()
    {
        QFETCH(QVariantList, keySlots);
        m_worker->Dovote_task(QStringLiteral("10086"), 1, keySlots);
        QVERIFY(m_rec->waitForText(QStringLiteral("任务完成"), 15000));
        QCOMPARE(m_rec->texts(), (QStringList{"正在拔号1", "已接通10086", "正在按:7", "成功按:7",
                                              "正在挂机", "挂机成功", "任务完成"}));
        QCOMPARE(dtmfSent(newCommands()), QStringList{"7"});
    }

    void failedDialsStillPressKeys()
    {
        m_fixture.emulator().updateProfile(1, [](emulator::ModemProfile &p) {
            p.dialUnknownResult = QStringLiteral("NO CARRIER");
        });
        m_worker->Dovote_task(QStringLiteral("10086"), 1, {1, "4"});
        QVERIFY(m_rec->waitForText(QStringLiteral("任务完成"), 20000));
        // Without a call the modem refuses the tone, so the round ends on the key failure.
        QCOMPARE(m_rec->texts(),
                 (QStringList{"正在拔号1", "未接通", "正在拔号2", "未接通", "正在拔号3", "未接通",
                              "正在按:4", "按键失败:4", "任务完成"}));
        QCOMPARE(dtmfSent(newCommands()), QStringList{"4"});
    }

    void hangupDuringRoundsEndsKeySteps()
    {
        m_worker->Dovote_task(QStringLiteral("10086"), 2, {2, "1"});
        QVERIFY(m_rec->waitForText(QStringLiteral("已接通10086"), 10000));
        m_worker->HandupCall();
        QVERIFY(m_rec->waitForText(QStringLiteral("任务完成"), 20000));
        // The flag is checked before each slot: at most the key whose wait was running goes out
        // (or fails, the hang-up having closed the port), and the second round presses none.
        const QStringList keys = dtmfSent(newCommands());
        QVERIFY(keys.size() <= 1);
        QVERIFY(m_rec->texts().filter(QStringLiteral("正在按:")).size() <= 1);
        QCOMPARE(m_rec->texts().filter(QStringLiteral("成功按:")).size(), keys.size());
        QVERIFY(m_rec->texts().contains(QStringLiteral("关闭成功")));
        // HandupCall closed the port; open it again for any later test.
        m_worker->Connect(9);
        QVERIFY(QTest::qWaitFor(
            [&] { return m_rec->texts().filter(QStringLiteral("成功连接设备")).size() == 1; },
            30000));
    }
};

QTEST_GUILESS_MAIN(TestDialTask)
#include "tst_dial_task.moc"
