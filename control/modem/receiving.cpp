// See receiving.h.
#include "control/modem/receiving.h"

#include "control/modem/calls.h"
#include "control/modem/modem_context.h"
#include "control/modem/status_reports.h"
#include "control/replies/listing.h"
#include "platform/paths.h"

#include <QDateTime>
#include <QFile>

namespace lonvera::control {

namespace {

QString nowText()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

} // namespace

Receiving::Receiving(ModemContext &context) : m_context(context)
{
    QObject::connect(&context.timer1, &QTimer::timeout, &context, [this] { onTimer1(); });
    QObject::connect(&context.timer2, &QTimer::timeout, &context, [this] { onTimer2(); });
    QObject::connect(&context.timerNewmsg, &QTimer::timeout, &context, [this] { onTimerNewmsg(); });
}

QVariant Receiving::readMsg(qint16 &whyre)
{
    ModemContext &c = m_context;
    Exchange &exchange = c.exchange;
    if (whyre == 2)
        whyre = 4;
    c.setBusy(true);
    exchange.ensureOpen();
    exchange.discardInput();

    exchange.writeCommand(QStringLiteral("at+cmgl="), whyre);
    QString reply = exchange.waitReply(12);
    // Some modems know only a few list states: fall back to "read", then to "all".
    if (whyre >= 0 && whyre <= 5 && exchange.reply().final.isError()) {
        exchange.writeCommand(QStringLiteral("at+cmgl=1"));
        reply = exchange.waitReply(12);
        if (exchange.reply().final.isError()) {
            exchange.writeCommand(QStringLiteral("at+cmgl=4"));
            reply = exchange.waitReply(12);
        }
    }

    QVariant result;
    if (!exchange.reply().final.isOk()) {
        result = QStringLiteral("n");
    } else {
        if (c.logReplies)
            appendReplyLog(reply);
        const Listing listing =
            parseListing(reply, c.longParts, c.simCapacity, c.maxIndex, nowText());
        c.maxIndex = listing.maxIndex;
        if (listing.records.isEmpty())
            result = 0;
        else
            result = listing.recordText();
        if (c.readAndDel)
            deleteRead(listing.receivedIndexes);
    }
    c.setBusy(false);
    return result;
}

void Receiving::deleteRead(const QList<int> &indexes)
{
    ModemContext &c = m_context;
    Exchange &exchange = c.exchange;
    c.setBusy(true);
    exchange.ensureOpen();
    // Flag 1 deletes the read messages and leaves unread and stored outgoing ones (3GPP TS
    // 27.005 3.5.4): a message that arrived after the listing stays for the next read.
    exchange.writeCommand(QStringLiteral("at+cmgd=1,"), 1);
    exchange.waitReply(12);
    if (exchange.reply().final.isError()) {
        for (int index : indexes) {
            exchange.writeCommand(QStringLiteral("at+cmgd="), index);
            exchange.waitReply(5);
            if (exchange.abortWait() || !exchange.isOpen())
                break;
        }
    }
    c.maxIndex = 0;
    c.setBusy(false);
}

QString Receiving::delSms(qint16 &delWhich)
{
    ModemContext &c = m_context;
    Exchange &exchange = c.exchange;
    c.setBusy(true);
    exchange.ensureOpen();

    QString reply;
    bool deletedOne = false;
    if (delWhich >= 10) {
        exchange.writeCommand(QStringLiteral("at+cmgd="), delWhich);
        reply = exchange.waitReply(9);
    } else {
        if (delWhich == 2)
            delWhich = 4;
        exchange.writeCommand(QStringLiteral("at+cmgd=1,"), delWhich);
        reply = exchange.waitReply(12);
        if (exchange.reply().final.isError()) {
            // The modem does not know the flag form: delete index by index.
            if (c.maxIndex == -1 || delWhich == 4)
                c.maxIndex = c.simCapacity;
            for (int i = 1; i <= c.maxIndex; ++i) {
                exchange.writeCommand(QStringLiteral("at+cmgd="), i);
                reply = exchange.waitReply(5);
                if (exchange.reply().final.isOk())
                    deletedOne = true;
                if (exchange.abortWait() || !exchange.isOpen())
                    break; // closed or gone: the remaining indexes cannot succeed
            }
        }
    }

    QString result = QStringLiteral("n");
    if (exchange.reply().final.isOk() || deletedOne) {
        result = QStringLiteral("y");
        c.maxIndex = 0;
    }
    c.setBusy(false);
    return result;
}

QVariant Receiving::newMsg()
{
    const QVariant records = m_context.newMsgBuffer;
    m_context.newMsgBuffer = QString();
    return records;
}

void Receiving::readIntoBuffer()
{
    ModemContext &c = m_context;
    {
        ModemContext::PortClaim claim(c);
        if (!claim) {
            c.timer2.start(); // another operation owns the port: read after it
            return;
        }
        qint16 state = 0;
        c.newMsgBuffer = readMsg(state);
    }
    if (ModemContext::textLength(c.newMsgBuffer) > 10) {
        emit c.recvMsg();
        c.timerNewmsg.start();
    }
}

void Receiving::onNewMessage()
{
    ModemContext &c = m_context;
    if (!c.autoReceive)
        return;
    // A read running now may have listed before this message came: read again after it.
    c.cmtiQuiet = false;
    if (c.isBusy() || c.portClaimed()) {
        if (!c.timer2.isActive())
            c.timer2.start();
        return;
    }
    // The read writes commands and waits: run it once the port's notification has returned.
    if (m_readQueued)
        return;
    m_readQueued = true;
    QMetaObject::invokeMethod(
        &c,
        [this] {
            m_readQueued = false;
            ModemContext &c = m_context;
            if (c.isBusy() || c.portClaimed())
                c.timer2.start();
            else
                readIntoBuffer();
        },
        Qt::QueuedConnection);
}

void Receiving::onTimer1()
{
    if (!m_context.isBusy() && !m_context.portClaimed())
        readIntoBuffer();
}

void Receiving::onTimer2()
{
    ModemContext &c = m_context;
    if (c.isBusy())
        return;
    {
        ModemContext::PortClaim claim(c);
        if (!claim)
            return;
        c.cmtiQuiet = true;
        c.setBusy(true);
        qint16 state = 0;
        c.newMsgBuffer = readMsg(state);
        c.setBusy(false);
    }
    if (ModemContext::textLength(c.newMsgBuffer) > 10) {
        emit c.recvMsg();
        c.timerNewmsg.start();
    }
    // A "CMTI" seen during the read clears cmtiQuiet: read again on the next tick.
    if (c.cmtiQuiet)
        c.timer2.stop();
}

void Receiving::onTimerNewmsg()
{
    ModemContext &c = m_context;
    if (ModemContext::textLength(c.newMsgBuffer) > 10)
        emit c.recvMsg();
    if (c.newMsgBuffer.toString().isEmpty())
        c.timerNewmsg.stop();
}

QString Receiving::replyLogPath()
{
    // A date with slashes would name folders that do not exist and the line would be lost.
    const QString date = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    return platform::mapWindowsPath(QStringLiteral("C:/") + date + QStringLiteral(".txt"));
}

void Receiving::appendReplyLog(const QString &reply)
{
    const QString path = replyLogPath();
    platform::ensureParentFolder(path);
    QFile file(path);
    if (!file.open(QIODevice::Append | QIODevice::Text))
        return;
    file.write((nowText() + QStringLiteral("：") + reply + QLatin1Char('\n')).toUtf8());
}

} // namespace lonvera::control
