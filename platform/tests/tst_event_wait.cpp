// Waits keep the thread's events running and end on time or when woken.
#include "platform/event_wait.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

using namespace lonvera::platform;

class TestEventWait : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void waitRunsTimersAndEndsOnTime()
    {
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start(10);
        QElapsedTimer clock;
        clock.start();
        waitMs(200);
        QVERIFY(clock.elapsed() >= 200);
        QVERIFY(clock.elapsed() < 2000);
        QVERIFY(ticks >= 5);
    }

    void wakeEndsTheWaitEarly()
    {
        EventWait waiter;
        QTimer::singleShot(20, [&] { waiter.wake(); });
        QElapsedTimer clock;
        clock.start();
        QVERIFY(waiter.wait(5000));
        QVERIFY(clock.elapsed() < 2000);
    }

    void timeOutReportsNotWoken()
    {
        EventWait waiter;
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!waiter.wait(50));
        QVERIFY(clock.elapsed() >= 50);
    }

    void earlyWakeIsRemembered()
    {
        EventWait waiter;
        waiter.wake();
        QVERIFY(waiter.wait(5000));
        QVERIFY(!waiter.wait(0));
    }

    void nestedWaitsUnwindInOrder()
    {
        EventWait outer;
        EventWait inner;
        bool innerWoken = false;
        QTimer::singleShot(10, [&] {
            QTimer::singleShot(10, [&] { inner.wake(); });
            innerWoken = inner.wait(5000);
            outer.wake();
        });
        QElapsedTimer clock;
        clock.start();
        QVERIFY(outer.wait(5000));
        QVERIFY(innerWoken);
        QVERIFY(clock.elapsed() < 2000);
    }
};

QTEST_GUILESS_MAIN(TestEventWait)
#include "tst_event_wait.moc"
