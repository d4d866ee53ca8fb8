// The facade's private part: the shared context and the operation objects, wired together.
// Lives on the control's thread; no locks.
#pragma once

#include "control/modem/calls.h"
#include "control/modem/connection.h"
#include "control/modem/modem_context.h"
#include "control/modem/modem_info.h"
#include "control/modem/receiving.h"
#include "control/modem/sending.h"
#include "control/modem/status_reports.h"

#include <QString>

namespace lonvera::control {

class Tarvex;

class TarvexPrivate
{
public:
    explicit TarvexPrivate(Tarvex *q);

    ModemContext context;
    Connection connection{context};
    Receiving receiving{context};
    Sending sending{context};
    StatusReports statusReports{context};
    Calls calls{context};
    ModemInfo modemInfo{context};

    QString copyRight;

    /// Hands each unsolicited result to the operation that reacts to it.
    void routeNotices(const QList<Notice> &notices);
    /// Runs a port operation the host asked for, or answers refused at once when another
    /// operation owns the port (its commands are not interleaved with ours).
    template<typename Result, typename Operation>
    Result whenPortFree(Result refused, Operation operation);

    /// The banner of a new instance.
    static QString defaultCopyRight();
    /// Reads the reply-log switch file "c:\SmsInKf.ini" [InKf] InKf.
    static bool readLogSwitch();
};

} // namespace lonvera::control
