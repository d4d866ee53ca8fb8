// See event_wait.h.
#include "platform/event_wait.h"

#include <QEventLoop>
#include <QTimer>

namespace lonvera::platform {

void waitMs(int ms)
{
    QEventLoop loop;
    if (ms <= 0) {
        loop.processEvents(QEventLoop::AllEvents);
        return;
    }
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

bool EventWait::wait(int ms)
{
    if (m_woken) {
        m_woken = false;
        return true;
    }
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(ms < 0 ? 0 : ms);

    // Waits nest when a call served during this wait starts a wait of its own; restore the outer
    // loop so a wake after the inner wait still reaches it.
    QEventLoop *outer = m_loop;
    m_loop = &loop;
    loop.exec();
    m_loop = outer;

    const bool woken = m_woken;
    m_woken = false;
    return woken;
}

void EventWait::wake()
{
    m_woken = true;
    if (m_loop)
        m_loop->quit();
}

} // namespace lonvera::platform
