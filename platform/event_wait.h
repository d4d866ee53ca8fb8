// Waiting without blocking the thread: a nested event loop that ends at a deadline or when woken.
// Port notifications, timers and queued calls from other threads keep running during every wait,
// which is what lets a modem command wait for its reply while the rest of the worker stays alive.
// An EventWait belongs to the thread that created it; wake() must be called on that thread.
#pragma once

#include <QObject>

class QEventLoop;

namespace lonvera::platform {

/// Runs the calling thread's event loop for ms milliseconds.
void waitMs(int ms);

class EventWait
{
public:
    EventWait() = default;
    EventWait(const EventWait &) = delete;
    EventWait &operator=(const EventWait &) = delete;

    /// Runs the event loop until wake() or until ms milliseconds have passed; true when woken.
    /// A wake() that came while nobody waited makes the next wait return at once.
    bool wait(int ms);

    /// Ends the running wait (or the next one).
    void wake();

private:
    QEventLoop *m_loop = nullptr;
    bool m_woken = false;
};

} // namespace lonvera::platform
