// The shared state of one control and the hand-off points between its operations: the members
// every operation reads or writes (LinkState, DsrFlag, NewMsgBuffer, ReportBuffer, SendMethod,
// errmsg ...), the busy flag with its notification, the four timers, and the events towards the
// host. The operation classes (connection, receiving, sending, status reports, calls, modem
// information) each hold a reference to it and reach one another through it.
// Lives on its control's thread; no locks.
#pragma once

#include "control/connect_failure.h"
#include "control/exchange/exchange.h"
#include "control/pdu/received_record.h"
#include "control/port/serial_port.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariant>

namespace lonvera::control {

class Connection;
class Receiving;
class Sending;
class StatusReports;
class Calls;
class ModemInfo;

class ModemContext : public QObject
{
    Q_OBJECT
public:
    explicit ModemContext(QObject *parent = nullptr);
    ~ModemContext() override;

    SerialPort port;
    Exchange exchange{port};

    // Operations, wired by the facade; every pointer is valid for the context's life.
    Connection *connection = nullptr;
    Receiving *receiving = nullptr;
    Sending *sending = nullptr;
    StatusReports *statusReports = nullptr;
    Calls *calls = nullptr;
    ModemInfo *modemInfo = nullptr;

    // --- Busy flag ---------------------------------------------------------------------------
    bool isBusy() const { return m_isBusy; }
    /// Stores the flag and raises statusChange every time, also when the value does not change.
    void setBusy(bool busy);

    /// Sets Isbusy for the life of the scope and clears it at the end, so that every way out of
    /// an operation leaves the control free.
    class BusyScope
    {
    public:
        explicit BusyScope(ModemContext &context) : m_context(context) { m_context.setBusy(true); }
        ~BusyScope() { m_context.setBusy(false); }
        BusyScope(const BusyScope &) = delete;
        BusyScope &operator=(const BusyScope &) = delete;

    private:
        ModemContext &m_context;
    };

    // --- The port's owner --------------------------------------------------------------------
    /// True while an operation (one the host called, or the control's own work: a read after
    /// "+CMTI", a timer's read, ring handling, reading a stored report) owns the port.
    bool portClaimed() const { return m_portClaimed; }

    /// Claims the port for one operation. Every wait runs the event loop, so a host call or a
    /// timer can come while another operation waits for its modem; such a claim fails, and the
    /// caller answers at once without a byte on the wire, so two command sequences never mix.
    /// Operations nested on purpose (a read's delete, a send's connect) run under the outer claim.
    class PortClaim
    {
    public:
        explicit PortClaim(ModemContext &context);
        ~PortClaim();
        PortClaim(const PortClaim &) = delete;
        PortClaim &operator=(const PortClaim &) = delete;
        explicit operator bool() const { return m_owner; }

    private:
        ModemContext &m_context;
        bool m_owner;
    };

    // --- Members of the control -----------------------------------------------------------------
    QString linkState; ///< "y" after a successful Connect, "n" after a failed one or a close
    QString dsrFlag;   ///< "y" after the port reported a DSR change
    bool portSetFailed = false; ///< setting CommPort failed once; Connect refuses from then on
    bool autoReceive = true;    ///< "+CMTI" reads the new messages at once
    bool cmtiQuiet = false;     ///< no "CMTI" seen since Timer2 started its read
    QVariant newMsgBuffer = QString(); ///< records waiting for NewMsg (or 0 / "n" of a read)
    QString reportBuffer;              ///< status-report records waiting for NewReport
    int simCapacity = 20;              ///< storage size from "at+cpms?"
    int maxIndex = -1;                 ///< highest listed index; -1 unknown
    QString sendMethod;                ///< remembered send variant ("moblie", "wave", ...)
    QVariant errmsg = 0;               ///< last failure text
    QString smsService = QStringLiteral("+8613800200500");
    bool readAndDel = true;
    bool logReplies = false; ///< append every successful listing to the day's reply log
    int lastPortError = 0;   ///< error number of the last port loss (the device went away)
    ConnectFailure connectFailure = ConnectFailure::None; ///< why the last Connect failed
    pdu::LongParts longParts;

    // --- Timers (all start disabled) ------------------------------------------------------------
    QTimer timer1;      ///< polling read, interval RevInterval (30000 ms)
    QTimer timer2;      ///< deferred read after "+CMTI" while busy (2000 ms)
    QTimer timerNewmsg; ///< repeats OnRecvMsg while records wait (3000 ms)
    QTimer timerReport; ///< repeats OnRevReport while reports wait (3500 ms)

    /// Length of a QVariant result as text (the "more than 10 characters" tests).
    static int textLength(const QVariant &value) { return value.toString().size(); }

signals:
    void statusChange();
    void recvMsg();
    void revReport();
    void call(const QVariant &phoneNo);
    /// The operation that owned the port has ended; work put off meanwhile may run now.
    void portReleased();

private:
    bool m_isBusy = false;
    bool m_portClaimed = false;
};

} // namespace lonvera::control
