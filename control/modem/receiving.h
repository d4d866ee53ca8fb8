// Getting received messages out of the modem: ReadMsg (listing with the fallbacks to states 1 and
// 4, the reply log), DelSms, NewMsg, and the reactions to "+CMTI", the polling timer and the
// deferred-read timer; also the receive handler that runs when bytes arrive.
// Lives on its control's thread; no locks.
#pragma once

#include <QString>
#include <QVariant>

namespace lonvera::control {

class ModemContext;

class Receiving
{
public:
    explicit Receiving(ModemContext &context);

    /// Lists and decodes the messages of state whyre (2 becomes 4); records, 0 or "n".
    QVariant readMsg(qint16 &whyre);
    /// Deletes by flag (0-9, 2 becomes 4) or by index (10 and more); "y" or "n".
    QString delSms(qint16 &delWhich);
    QVariant newMsg();

    /// The receive handler, called as bytes arrive: decides at once against Isbusy, and runs the
    /// operations it starts (read, reports, ring) right after the port's notification returns.
    void handleReceived();

    /// The reply log file for today: "C:/" + date + ".txt" mapped onto the machine prefix.
    static QString replyLogPath();

private:
    void readIntoBuffer();
    void runHandler();
    void onTimer1();
    void onTimer2();
    void onTimerNewmsg();
    void appendReplyLog(const QString &reply);

    ModemContext &m_context;
    bool m_handlerQueued = false;
};

} // namespace lonvera::control
