// The send dispatcher of the Gateway: the one-second tick and "request next message" for a slot.
// One row per request, claimed for the slot's port before it goes to the worker.
#include "server/core/gateway.h"

namespace lonvera::server {

using namespace Qt::StringLiterals;

void Gateway::dispatchTick()
{
    checkWorkerServer();
    for (int n = 1; n <= kSlots; ++n) {
        Slot &s = slotRef(n);
        // A result whose row could not be moved keeps its slot until the move succeeds, so the
        // row (still claimed for this port) is not sent a second time.
        if (s.pendingMove && s.connected) {
            const Slot::PendingMove move = *s.pendingMove;
            if (!finishMove(n, move.id, move.result, move.when))
                continue;
            s.pendingMove.reset();
            s.idle = true;
        }
        if (s.connected && s.idle)
            requestNextMessage(n);
    }
}

void Gateway::requestNextMessage(int n)
{
    if (!validSlot(n) || !m_store)
        return;
    Slot &s = slotRef(n);
    // A stopped or lost device takes no message: it could never report on it.
    if (!s.worker || !s.connected || s.pendingMove || s.stopPending || s.outId || m_closing)
        return;
    // After a temporary refusal the slot waits before it tries again.
    if (heldOff(n)) {
        s.idle = true;
        return;
    }
    const QDateTime time = now();
    if (m_loaded.justTm == 1) {
        const int hour = time.time().hour();
        if (hour < m_loaded.sendIn || hour > m_loaded.sendEnd) {
            s.idle = true;
            return;
        }
    }
    const int port = s.port;
    if (port < 0 || port > kSlots) {
        s.idle = true;
        return;
    }
    const QString ranges = rangeText(port);
    // Receive only: nothing is claimed. The slot stays on offer so it sends again as soon as
    // the mode changes back.
    if (m_settings.serviceMode() == 2) {
        s.idle = true;
        return;
    }
    const Claim claim = m_store->claimNext(port, ranges, time);
    if (claim.status == ClaimStatus::Failed) {
        // The next tick asks again; the failure is logged once, not every second, and not at
        // all while the store has reported the database itself as faulty.
        if (claim.error != s.lastDispatchError && !m_store->unavailable())
            logDevice(n, u"读取待发信息失败 "_s + claim.error);
        s.lastDispatchError = claim.error;
        s.idle = true;
        return;
    }
    s.lastDispatchError.clear();
    s.idle = claim.status == ClaimStatus::NoRow;
    if (s.idle)
        return;
    handOver(n, claim.message);
}

} // namespace lonvera::server
