// The Gateway's handlers of the six worker events: status lights and texts, the sent count and
// the device limit, moving a reported row, and the received messages, reports and calls.
#include "server/core/gateway.h"

#include "control/send_results.h"
#include "worker/protocol/reports.h"

namespace lonvera::server {

using namespace Qt::StringLiterals;
namespace protocol = worker::protocol;

namespace {

const QChar kRecordSep1(1);
const QChar kRecordSep2(2);

// "yyyy-m-d h:m:s" with a four-digit year, as the modem's time stamps are written.
bool isValidTimeStamp(const QString &text)
{
    const QString t = text.trimmed();
    for (const QString &format : {u"yyyy-M-d H:m:s"_s, u"yyyy/M/d H:m:s"_s, u"yyyy-M-d"_s}) {
        if (QDateTime::fromString(t, format).isValid())
            return true;
    }
    return false;
}

} // namespace

void Gateway::onStatusChange(int n, bool busy)
{
    if (!validSlot(n))
        return;
    slotRef(n).busy = busy;
    m_view->setLight(n, busy ? Light::Busy : Light::Idle);
    m_view->setRowState(n, busy ? u"工作中.."_s : u"空闲"_s);
    updateBusyState();
}

void Gateway::updateBusyState()
{
    for (int k = 1; k <= kSlots; ++k) {
        if (slot(k).busy && slot(k).worker) {
            m_view->setBusyState(true,
                                 u"短信服务已启动\r\r端口"_s + QString::number(k) + u"工作中"_s);
            return;
        }
    }
    m_view->setBusyState(false, u"短信服务已启动\r状态：空闲"_s);
}

void Gateway::countSent(int n, qint64 count)
{
    addSent(n, count);
    const qint32 sent = sentCount(n);
    m_view->setCell(n, ColumnSent, QString::number(sent));
    if (m_view->row(n) && leadingInt(m_view->cell(n, ColumnLimit)) <= sent) {
        stopDevice(n);
        if (m_settings.isOn(keys::AutoOpenSet))
            openStandbyDevice(n);
        if (m_loaded.soundLimit) {
            m_view->playSound(soundPath(u"Sendend.wav"_s));
            m_view->setCell(n, ColumnPace, u"XXX"_s);
        }
    }
}

void Gateway::onStatusReport(int n, const QString &text, const protocol::StatusReport &report)
{
    if (!validSlot(n))
        return;
    if (recoveryTakesReport(n, report))
        return;
    if (report.isProgress())
        return;
    logDevice(n, text);
    if (report.kind == protocol::ReportKind::Connected) {
        QString model = report.model;
        if (model.contains(u"MULTIBAND"_s))
            model = u"WAVECOM"_s;
        m_view->setCell(n, ColumnModel, u" ["_s + model + u"]"_s);
        if (m_settings.isOn(keys::AutoMinimise))
            m_view->requestMinimise();
        if (!m_shutdown)
            m_dispatchTimer.start();
        Slot &s = slotRef(n);
        s.connected = true;
        m_portServed.insert(s.port);
        m_portDownSince.remove(s.port);
        if (m_loaded.serviceMode != 1 && s.worker)
            s.worker->readMsg();
        // What this port left half-sent in an earlier life is decided before it sends anew.
        decideInterruptedSends(n);
        requestNextMessage(n);
    } else if (report.kind == protocol::ReportKind::NotFound) {
        m_view->setLight(n, Light::NotConnected);
        m_view->setRowState(n, u"--"_s);
        m_view->setCell(n, ColumnModel, u"--"_s);
        slotRef(n).connected = false;
        portLost(slot(n).port);
        keepTryingFirstConnect(n);
    }
}

bool Gateway::finishMove(int n, qint64 id, const QString &result, const QDateTime &when)
{
    if (!m_store)
        return false;
    const bool sent = result == QStringView(protocol::results::kYes);
    const Move move = sent ? m_store->moveToSent(id, when) : m_store->moveToBad(id, when, result);
    if (move.status == MoveStatus::Failed) {
        // A faulty database has been reported by the store; the result is kept and written when
        // the database is back.
        if (!m_store->unavailable())
            logDevice(n, u"信息 "_s + QString::number(id) +
                             u" 的发送结果未能保存，记录留在待发表中 "_s + move.error);
        return false;
    }
    const QString port = QString::number(slot(n).port);
    if (sent) {
        countSent(n, 1);
        logDevice(n, u"成功发送 1 条信息["_s + move.message.mbno + u"](COM"_s + port + u")"_s);
    } else {
        logDevice(n, u"发送 1 条信息失败["_s + move.message.mbno + u"](COM"_s + port + u")"_s);
        if (m_loaded.soundErr)
            m_view->playSound(soundPath(u"err.wav"_s));
    }
    return true;
}

void Gateway::onSendResult(int n, const QString &sId, const QString &result)
{
    if (!validSlot(n))
        return;
    bool ok = false;
    const qint64 id = sId.trimmed().toLongLong(&ok);
    const QDateTime when = now();
    // A late result of an earlier message (its row is moved as usual) does not free the slot
    // while the message it holds now is still out: the worker would be handed a second one.
    if (!slot(n).outId || (ok && *slot(n).outId == id))
        settleMessage(n);
    const bool busy = ok && result == QStringView(protocol::results::kModemBusy);
    bool handled = false;
    QString stored = result;
    if (busy) {
        // The modem was busy with another operation (reading, a call) and sent nothing: the row
        // stays claimed for this port and goes out on the next tick instead of ending in
        // badoutbox as a failure.
        logDevice(n, u"设备忙，信息 "_s + sId.trimmed() + u" 稍后重发"_s);
        if (m_store)
            m_store->unmarkSending(id, nullptr);
        slotRef(n).recovery.out.reset();
        slotRef(n).idle = true;
    } else if (ok && ((handled = settleInterruptedSend(n, id, result)) ||
                      (handled = settleSendResult(n, id, result, &stored)))) {
        // The port was closed in the middle of the send (it takes no new message), or a lost
        // link, a silent modem or a temporary refusal: the row took its own road.
    } else if (ok && !finishMove(n, id, stored, when)) {
        // The row stays in outbox, claimed for this port; the slot waits until it is recorded.
        slotRef(n).pendingMove = Slot::PendingMove{id, stored, when};
        slotRef(n).idle = false;
    }
    // A busy answer is a result like any other for the count of results and its read.
    ++m_resultCounter;
    if (m_resultCounter % 8 == 0 && m_loaded.serviceMode != 1 && slot(n).worker)
        slot(n).worker->readMsg();
    if (slot(n).stopPending) {
        finishPendingStop(n, slot(n).stopGeneration);
        return;
    }
    if (!busy && !handled)
        requestNextMessage(n);
}

bool Gateway::settleInterruptedSend(int n, qint64 id, const QString &result)
{
    if (!control::SendResult::isInterrupted(result))
        return false;
    slotRef(n).idle = true;
    if (result == control::SendResult::InterruptedNothingSent) {
        // Nothing of it went: it waits in outbox for a device, as after a busy modem.
        logDevice(n, u"信息 "_s + QString::number(id) + u" 发送被中断，未发出，稍后重发"_s);
        returnRow(n, id);
    } else {
        // Part of it, or maybe all of it, went: sending it again could deliver it twice.
        const QDateTime when = now();
        const QString why = outcomeUnknownText();
        if (!finishMove(n, id, why, when))
            slotRef(n).pendingMove = Slot::PendingMove{id, why, when};
    }
    // Either way the slot has no send out any more (returning the row reads it first).
    slotRef(n).recovery.out.reset();
    return true;
}

void Gateway::onMessages(int n, const QString &smsStr)
{
    if (!validSlot(n) || !m_store)
        return;
    const int port = slot(n).port;
    QString number, text, stamp;
    int count = 0;
    for (const QString &record : smsStr.split(kRecordSep1)) {
        const QStringList fields = record.split(kRecordSep2);
        // A field missing from a record keeps the previous record's value.
        if (fields.size() > 0)
            number = fields[0];
        if (fields.size() > 1)
            text = fields[1];
        if (fields.size() > 2)
            stamp = fields[2];
        if (!isValidTimeStamp(stamp))
            continue;
        QString error;
        if (m_store->addInbox(number, text, stamp, port, &error))
            ++count;
        else
            logDevice(n, u"保存收到的信息失败 "_s + error);
    }
    if (count > 0) {
        onStatusReport(n,
                       u"收到 "_s + QString::number(count) + u" 条新信息(COM"_s +
                           QString::number(port) + u")"_s,
                       {});
        if (m_loaded.soundInMsg)
            m_view->playSound(soundPath(u"msg.wav"_s));
    }
}

void Gateway::onReceipts(int n, const QString &strReceipt)
{
    if (!validSlot(n) || !m_store)
        return;
    for (const QString &record : strReceipt.split(kRecordSep2)) {
        if (record.trimmed().isEmpty())
            continue; // a trailing separator is no report
        const QStringList fields = record.split(kRecordSep1);
        QString error;
        if (!m_store->addReport(fields.value(0), fields.value(1), fields.value(2), &error))
            logDevice(n, u"保存状态报告失败 "_s + error);
    }
    onStatusReport(n, strReceipt, {});
}

void Gateway::onCall(int n, const QString &strPhone)
{
    if (!validSlot(n) || !m_store)
        return;
    const int port = slot(n).port;
    logDevice(n, u"来电 "_s + strPhone + u"(COM"_s + QString::number(port) + u")"_s);
    QString error;
    if (!m_store->addCall(strPhone, now(), port, &error))
        logDevice(n, u"保存来电失败 "_s + error);
}

} // namespace lonvera::server
