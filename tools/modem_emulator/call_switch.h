// Voice calls between emulated modems (and from or to numbers outside): ringing with "RING"
// repeated at the callee's interval, answering, hanging up and the +CLCC view of each side.
// Lives on its emulator's thread; no locks.
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

class QTimer;

namespace lonvera::emulator {

class EmulatedModem;
class EmulatorLog;
class Network;

// One line of +CLCC (3GPP TS 27.007 7.18).
struct CallInfo
{
    int index = 1;
    int direction = 0; // 0 placed by this modem, 1 received
    int state = 0;     // 0 active, 3 alerting, 4 incoming, 5 waiting
    QString number;
};

class CallSwitch : public QObject
{
    Q_OBJECT
public:
    CallSwitch(Network *network, EmulatorLog *log, QObject *parent = nullptr);
    ~CallSwitch() override;

    // Places a voice call; returns the dial command's final result ("OK", "BUSY", ...).
    QByteArray dial(EmulatedModem *caller, const QString &number);
    // An incoming call to this modem becomes active; false when none is ringing.
    bool answer(EmulatedModem *modem);
    void hangUp(EmulatedModem *modem);
    // A caller outside the emulated network rings the modem.
    void ringFromOutside(EmulatedModem *callee, const QString &callerNumber);
    QList<CallInfo> callsOf(const EmulatedModem *modem) const;
    bool inCall(const EmulatedModem *modem) const;
    // The modem went away: its calls end and the other sides hear "NO CARRIER".
    void dropCalls(EmulatedModem *modem);

private:
    struct Call
    {
        EmulatedModem *caller = nullptr; // null: a caller outside
        EmulatedModem *callee = nullptr; // null: a number outside
        QString callerNumber;
        QString calleeNumber;
        bool active = false;
        QTimer *ring = nullptr;
        QTimer *timeout = nullptr;
    };

    Call *callOf(const EmulatedModem *modem) const;
    Call *startRinging(EmulatedModem *callee, EmulatedModem *caller, const QString &from,
                       const QString &to);
    void ring(Call *call);
    // Ends a call; by is the side that hung up (null: the network gave up).
    void end(Call *call, EmulatedModem *by);

    Network *m_network;
    EmulatorLog *m_log;
    QList<Call *> m_calls;
};

} // namespace lonvera::emulator
