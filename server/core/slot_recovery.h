// What a worker slot keeps to bring its device back by itself when the device goes away: the line
// it was connected with, whether it is away and how often it was tried, and the message it had
// out when it went. Plain data of the Gateway; server thread only.
#pragma once

#include <QElapsedTimer>
#include <QString>

#include <optional>

namespace lonvera::server {

struct SlotRecovery
{
    /// The device was asked to connect (and not stopped since): when it goes away it is brought
    /// back without the operator.
    bool wanted = false;
    /// Away (port gone, modem silent, worker server lost); reconnect attempts run.
    bool lost = false;
    int attempts = 0;
    /// The port's device node came back while an attempt ran: its failure is tried again at once.
    bool nodeBack = false;
    QElapsedTimer lostSince;
    // The line the device was connected with.
    QString rate;
    QString serno;
    QString forNo;

    /// The message handed to the worker whose result has not come.
    struct Out
    {
        qint64 id = 0;
        bool claimedHere = false;     ///< this request took it from every port (ComPort 0)
        bool exchangeStarted = false; ///< the worker announced the send to the modem
    };
    std::optional<Out> out;

    /// A temporary refusal holds the slot's next request off until then (growing pause).
    QElapsedTimer holdSince;
    int holdMs = 0;
    int holds = 0;
    QString lastHoldReason;
};

} // namespace lonvera::server
