// The dial-and-keypress work of a worker: one voice call, key tones into the current call, and
// rounds of dial, wait, press keys and hang up. Runs inside the worker's timer event on the
// worker's thread; every control call is synchronous and every wait runs the thread's event loop,
// so HandupCall and ClosePort served in between act on a running round through the host's flags.
// No locks: the task and its host live on one thread.
#pragma once

#include <QString>

#include <array>

namespace lonvera::control {
class Tarvex;
}

namespace lonvera::worker {

/// What the task needs from its worker.
class TaskHost
{
public:
    virtual ~TaskHost() = default;
    virtual control::Tarvex *control() = 0;
    virtual bool hangupFlag() const = 0;
    virtual void setHangupFlag(bool on) = 0;
    virtual bool stopFlag() const = 0;
    /// Waits ms milliseconds running the event loop; false when the worker is being released and
    /// the task must end at once.
    virtual bool pause(int ms) = 0;
    /// Raises OnOtherReport with a status text.
    virtual void report(const QString &text) = 0;
};

/// The key slots of a round: slots 1 to 8 come from the caller, 9 to 12 stay empty.
inline constexpr int kKeySlots = 12;

struct RoundPlan
{
    QString phoneNumber;
    qint16 rounds = 1;
    std::array<qint16, kKeySlots> waitTimes{};
    std::array<QString, kKeySlots> keyTexts{};
};

class DialTask
{
public:
    explicit DialTask(TaskHost &host) : m_host(host) {}

    /// Dials once ("atd<number>;") and reports whether the call was answered with "OK".
    void dial(const QString &phoneNumber);
    /// Sends the key tones of keys into the current call and reports the outcome.
    void pressKeys(const QString &keys);
    /// Runs the rounds of plan, then reports "任务完成" unless StopFlag or a release ended it.
    void runRounds(const RoundPlan &plan);

    /// One "at+vts=" command per character; false at the first reply holding "error"/"ERROR".
    bool sendKeyTones(const QString &keys);

private:
    enum class RoundEnd { Next, Abort };
    RoundEnd runRound(const RoundPlan &plan);
    bool isAnswered(const QString &reply) const;
    QString hangUp();

    TaskHost &m_host;
};

} // namespace lonvera::worker
