// The emulated call switch.
#include "call_switch.h"

#include "emulated_modem.h"
#include "emulator_log.h"
#include "network.h"

#include <QTimer>

#include <algorithm>

namespace lonvera::emulator {

CallSwitch::CallSwitch(Network *network, EmulatorLog *log, QObject *parent)
    : QObject(parent), m_network(network), m_log(log)
{
}

CallSwitch::~CallSwitch()
{
    qDeleteAll(m_calls);
}

CallSwitch::Call *CallSwitch::callOf(const EmulatedModem *modem) const
{
    for (Call *c : m_calls)
        if (c->caller == modem || c->callee == modem)
            return c;
    return nullptr;
}

bool CallSwitch::inCall(const EmulatedModem *modem) const
{
    return callOf(modem) != nullptr;
}

QByteArray CallSwitch::dial(EmulatedModem *caller, const QString &number)
{
    if (inCall(caller))
        return "ERROR"; // no call waiting or holding here
    EmulatedModem *callee = m_network->modemByNumber(number);
    if (callee == caller)
        return "BUSY";
    if (!callee) {
        const QByteArray result = caller->profile().dialUnknownResult.toLatin1();
        if (result == "OK") {
            // The far end outside picks up at once, so key tones can follow.
            auto *call = new Call{caller, nullptr, caller->number(), number, true};
            m_calls.append(call);
            m_log->add(caller->com(), LogEntry::Kind::Event,
                       "call to outside " + number.toLatin1());
        }
        return result;
    }
    if (inCall(callee))
        return "BUSY";
    startRinging(callee, caller, QLatin1Char('+') + caller->number(), number);
    return "OK";
}

void CallSwitch::ringFromOutside(EmulatedModem *callee, const QString &callerNumber)
{
    // With call waiting, a call in progress stays and the new one rings beside it.
    const Call *old = callOf(callee);
    const bool waits = old && old->active && callee->profile().callWaiting;
    while (!waits && (old = callOf(callee)))
        end(const_cast<Call *>(old), nullptr);
    startRinging(callee, nullptr, callerNumber, callee->number());
}

CallSwitch::Call *CallSwitch::startRinging(EmulatedModem *callee, EmulatedModem *caller,
                                           const QString &from, const QString &to)
{
    auto *call = new Call{caller, callee, from, to, false};
    call->ring = new QTimer(this);
    call->ring->setInterval(callee->profile().ringIntervalMs);
    connect(call->ring, &QTimer::timeout, this, [this, call] { ring(call); });
    call->timeout = new QTimer(this);
    call->timeout->setSingleShot(true);
    connect(call->timeout, &QTimer::timeout, this, [this, call] { end(call, nullptr); });
    m_calls.append(call);
    m_log->add(callee->com(), LogEntry::Kind::Event, "incoming call from " + from.toLatin1());
    ring(call);
    call->ring->start();
    if (callee->profile().ringTimeoutMs > 0)
        call->timeout->start(callee->profile().ringTimeoutMs);
    return call;
}

void CallSwitch::ring(Call *call)
{
    call->callee->notify("RING");
    if (call->callee->clipEnabled())
        call->callee->notify("+CLIP: \"" + call->callerNumber.toLatin1() + "\"," +
                             (call->callerNumber.startsWith(QLatin1Char('+')) ? "145" : "129"));
}

bool CallSwitch::answer(EmulatedModem *modem)
{
    const auto ringing = std::find_if(m_calls.begin(), m_calls.end(), [modem](const Call *c) {
        return c->callee == modem && !c->active;
    });
    if (ringing == m_calls.end())
        return false;
    Call *call = *ringing;
    call->active = true;
    call->ring->stop();
    call->timeout->stop();
    m_log->add(modem->com(), LogEntry::Kind::Event, "call answered");
    return true;
}

void CallSwitch::hangUp(EmulatedModem *modem)
{
    // ATH ends every call of the modem, a waiting one too.
    while (Call *call = callOf(modem))
        end(call, modem);
}

void CallSwitch::dropCalls(EmulatedModem *modem)
{
    while (Call *call = callOf(modem))
        end(call, modem);
}

void CallSwitch::end(Call *call, EmulatedModem *by)
{
    m_calls.removeAll(call);
    EmulatedModem *other = by == call->caller ? call->callee : call->caller;
    if (!by) {
        // Nobody answered: the caller hears the network give up.
        if (call->caller)
            call->caller->notify("NO ANSWER");
    } else if (other) {
        // 3GPP TS 27.007 6.3: a rejected call reaches the caller as "BUSY", an ended one as
        // "NO CARRIER"; a caller giving up before the answer just stops the ringing.
        if (call->active)
            other->notify("NO CARRIER");
        else if (by == call->callee)
            other->notify("BUSY");
    }
    if (call->callee)
        m_log->add(call->callee->com(), LogEntry::Kind::Event, "call ended");
    delete call->ring;
    delete call->timeout;
    delete call;
}

QList<CallInfo> CallSwitch::callsOf(const EmulatedModem *modem) const
{
    // 3GPP TS 27.007 7.18: a call coming while another is active is "waiting" (5).
    const bool busy = std::any_of(m_calls.begin(), m_calls.end(), [modem](const Call *c) {
        return c->active && (c->caller == modem || c->callee == modem);
    });
    QList<CallInfo> out;
    for (const Call *c : m_calls) {
        if (c->caller != modem && c->callee != modem)
            continue;
        CallInfo info;
        info.index = int(out.size()) + 1;
        if (c->caller == modem) {
            info.direction = 0;
            info.state = c->active ? 0 : 3;
            info.number = c->calleeNumber;
        } else {
            info.direction = 1;
            info.state = c->active ? 0 : busy ? 5 : 4;
            info.number = c->callerNumber;
        }
        out.append(info);
    }
    return out;
}

} // namespace lonvera::emulator
