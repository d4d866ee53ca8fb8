// See receiving.h.
#include "control/modem/receiving.h"

#include "control/modem/calls.h"
#include "control/modem/modem_context.h"
#include "control/modem/status_reports.h"
#include "control/pdu/listing.h"
#include "platform/paths.h"

#include <QDateTime>
#include <QFile>

namespace lonvera::control {

namespace {

bool hasError(const QString &reply)
{
    return reply.contains(QLatin1String("error")) || reply.contains(QLatin1String("ERROR"));
}

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
    if (whyre >= 0 && whyre <= 5 && hasError(reply)) {
        exchange.writeCommand(QStringLiteral("at+cmgl=1"));
        reply = exchange.waitReply(12);
        if (hasError(reply)) {
            exchange.writeCommand(QStringLiteral("at+cmgl=4"));
            reply = exchange.waitReply(12);
        }
    }

    QVariant result;
    if (!reply.contains(QLatin1String("OK"))) {
        result = QStringLiteral("n");
    } else {
        if (c.logReplies)
            appendReplyLog(reply);
        const pdu::Listing listing =
            pdu::parseListing(reply, c.longParts, c.simCapacity, c.maxIndex, nowText());
        c.maxIndex = listing.maxIndex;
        if (listing.records.isEmpty())
            result = 0;
        else
            result = listing.recordText();
        if (c.readAndDel) {
            qint16 flag = 1;
            delSms(flag);
        }
    }
    c.setBusy(false);
    return result;
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
        if (reply.contains(QLatin1String("err")) || reply.contains(QLatin1String("ERR"))) {
            // The modem does not know the flag form: delete index by index.
            if (c.maxIndex == -1 || delWhich == 4)
                c.maxIndex = c.simCapacity;
            for (int i = 1; i <= c.maxIndex; ++i) {
                exchange.writeCommand(QStringLiteral("at+cmgd="), i);
                reply = exchange.waitReply(5);
                if (reply.contains(QLatin1String("ok")) || reply.contains(QLatin1String("OK")))
                    deletedOne = true;
                if (exchange.abortWait() || !exchange.isOpen())
                    break; // closed or gone: the remaining indexes cannot succeed
            }
        }
    }

    QString result = QStringLiteral("n");
    if (reply.contains(QLatin1String("ok"), Qt::CaseInsensitive) || deletedOne) {
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
    qint16 state = 0;
    m_context.newMsgBuffer = readMsg(state);
    if (ModemContext::textLength(m_context.newMsgBuffer) > 10) {
        emit m_context.recvMsg();
        m_context.timerNewmsg.start();
    }
}

void Receiving::handleReceived()
{
    ModemContext &c = m_context;
    const QString &buffer = c.exchange.replyBuffer();
    const bool newMessage = buffer.contains(QLatin1String("+CMTI"));
    if (newMessage && !c.autoReceive)
        return;
    if (c.isBusy()) {
        // An operation owns the port: a new message is read after it, by Timer2.
        if (newMessage && !c.timer2.isActive())
            c.timer2.start();
        return;
    }
    // The work starts commands with waits of their own; run it once the port's notification has
    // returned (the port announces no new bytes while its notification is being handled).
    if ((newMessage || buffer.contains(QLatin1String("+CDS")) ||
         buffer.contains(QLatin1String("RING"))) &&
        !m_handlerQueued) {
        m_handlerQueued = true;
        QMetaObject::invokeMethod(
            &c, [this] { runHandler(); }, Qt::QueuedConnection);
    }
}

void Receiving::runHandler()
{
    m_handlerQueued = false;
    ModemContext &c = m_context;
    const auto buffered = [&c](QLatin1String word) {
        return c.exchange.replyBuffer().contains(word);
    };
    if (buffered(QLatin1String("+CMTI"))) {
        if (!c.autoReceive)
            return;
        if (!c.isBusy())
            readIntoBuffer();
        else if (!c.timer2.isActive())
            c.timer2.start();
    }
    if (buffered(QLatin1String("+CDSI")) && !c.isBusy() && c.statusReports)
        c.statusReports->readStoredReport();
    if (buffered(QLatin1String("+CDS")) && !buffered(QLatin1String("+CDSI")) && !c.isBusy() &&
        c.statusReports)
        c.statusReports->readDirectReport();
    if (buffered(QLatin1String("RING")) && !c.isBusy() && c.calls)
        c.calls->handleRing();
}

void Receiving::onTimer1()
{
    if (!m_context.isBusy())
        readIntoBuffer();
}

void Receiving::onTimer2()
{
    ModemContext &c = m_context;
    if (c.isBusy())
        return;
    c.cmtiQuiet = true;
    c.setBusy(true);
    qint16 state = 0;
    c.newMsgBuffer = readMsg(state);
    c.setBusy(false);
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
