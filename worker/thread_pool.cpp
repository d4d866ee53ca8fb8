// See thread_pool.h.
#include "worker/thread_pool.h"

#include <QDeadlineTimer>
#include <QThread>

namespace lonvera::worker {

struct ThreadPool::Slot
{
    QThread thread;
    QObject *anchor = nullptr;
    int workers = 0;
};

ThreadPool::ThreadPool()
{
    for (int i = 0; i < kThreadCount; ++i) {
        auto *slot = new Slot;
        slot->thread.setObjectName(QStringLiteral("QXSms pool %1").arg(i + 1));
        slot->anchor = new QObject;
        slot->anchor->moveToThread(&slot->thread);
        // The anchor goes with its thread's last events.
        QObject::connect(&slot->thread, &QThread::finished, slot->anchor, &QObject::deleteLater);
        slot->thread.start();
        m_slots.append(slot);
    }
}

ThreadPool::~ThreadPool()
{
    shutdown(5000);
    for (Slot *slot : std::as_const(m_slots)) {
        if (slot->thread.isRunning()) {
            // A thread stuck past its deadline is left to the process exit rather than
            // destroyed while running.
            continue;
        }
        delete slot;
    }
}

int ThreadPool::assign()
{
    int best = 0;
    for (int i = 1; i < m_slots.size(); ++i) {
        if (m_slots[i]->workers < m_slots[best]->workers)
            best = i;
    }
    ++m_slots[best]->workers;
    return best;
}

void ThreadPool::unassign(int index)
{
    if (index >= 0 && index < m_slots.size() && m_slots[index]->workers > 0)
        --m_slots[index]->workers;
}

QObject *ThreadPool::anchor(int index) const
{
    return m_slots.at(index)->anchor;
}
QThread *ThreadPool::thread(int index) const
{
    return &m_slots.at(index)->thread;
}
int ThreadPool::load(int index) const
{
    return m_slots.at(index)->workers;
}

bool ThreadPool::shutdown(int timeoutMs)
{
    for (Slot *slot : std::as_const(m_slots))
        slot->thread.quit();
    const QDeadlineTimer deadline(timeoutMs);
    bool all = true;
    for (Slot *slot : std::as_const(m_slots))
        all = slot->thread.wait(deadline) && all;
    return all;
}

} // namespace lonvera::worker
