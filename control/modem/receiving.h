// Getting received messages out of the modem: ReadMsg (listing with the fallbacks to states 1 and
// 4, the reply log), DelSms, NewMsg, and the reactions to "+CMTI", the polling timer and the
// deferred-read timer.
// Lives on its control's thread; no locks.
#pragma once

#include <QList>
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

    /// A "+CMTI" arrived: the new messages are read at once when the port is free, otherwise by
    /// Timer2 after the operation that owns it.
    void onNewMessage();

    /// The reply log file for today: "C:/" + date + ".txt" mapped onto the machine prefix.
    static QString replyLogPath();

private:
    void readIntoBuffer();
    /// Deletes what a listing read: the read messages by flag, or (where the modem knows no flag)
    /// exactly the listed received indexes, never an index that was not read.
    void deleteRead(const QList<int> &indexes);
    void onTimer1();
    void onTimer2();
    void onTimerNewmsg();
    void appendReplyLog(const QString &reply);

    ModemContext &m_context;
    bool m_readQueued = false;
};

} // namespace lonvera::control
