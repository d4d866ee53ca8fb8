// The pool of 18 threads the workers live on. A new worker goes to the thread holding the fewest
// workers, so up to 18 workers each have a thread (and a StopFlag) of their own.
// Thread rule: the pool itself is used from the socket (main) thread only.
#pragma once

#include <QList>
#include <QObject>

#include <memory>

class QThread;

namespace lonvera::worker {

class ThreadPool
{
public:
    static constexpr int kThreadCount = 18;

    ThreadPool();
    ~ThreadPool();
    ThreadPool(const ThreadPool &) = delete;
    ThreadPool &operator=(const ThreadPool &) = delete;

    /// Picks the thread for a new worker and counts it there; returns the thread's index.
    int assign();
    /// Uncounts a worker of thread index.
    void unassign(int index);

    /// An object living on thread index for the thread's whole life: queued calls posted to it
    /// run on that thread.
    QObject *anchor(int index) const;
    QThread *thread(int index) const;
    int load(int index) const;

    /// Ends every thread's event loop and waits up to timeoutMs for them; false when one is
    /// still running then.
    bool shutdown(int timeoutMs);

private:
    struct Slot;
    QList<Slot *> m_slots;
};

} // namespace lonvera::worker
