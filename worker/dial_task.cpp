// See dial_task.h.
#include "worker/dial_task.h"

#include "control/tarvex.h"

namespace lonvera::worker {

namespace {

QString dialCommand(const QString &phoneNumber)
{
    // The trailing ";" makes it a voice call (ITU-T V.250 6.3.1, 3GPP TS 27.007 6.2).
    return QStringLiteral("atd") + phoneNumber + QLatin1Char(';');
}

} // namespace

bool DialTask::isAnswered(const QString &reply) const
{
    return reply.contains(QLatin1String("OK"));
}

bool DialTask::sendKeyTones(const QString &keys)
{
    for (const QChar c : keys) {
        // 3GPP TS 27.007 C.2.11: one DTMF tone per command.
        const QString reply = m_host.control()->InputAT(QStringLiteral("at+vts=") + c).toString();
        // A tone counts only when the modem took it: a modem that does not know the command
        // refuses it in words of its own, and a closed port or a silent modem takes nothing.
        if (reply.contains(QLatin1String("error")) || reply.contains(QLatin1String("ERROR")) ||
            !control::Tarvex::isAccepted(reply))
            return false;
    }
    return true;
}

void DialTask::dial(const QString &phoneNumber)
{
    m_host.setHangupFlag(false);
    m_host.report(QStringLiteral("正在拔号"));
    const QString reply = m_host.control()->InputAT(dialCommand(phoneNumber)).toString();
    m_host.report(isAnswered(reply) ? QStringLiteral("已接通") : QStringLiteral("未接通"));
}

void DialTask::pressKeys(const QString &keys)
{
    m_host.report(QStringLiteral("正在按键"));
    m_host.report(sendKeyTones(keys) ? QStringLiteral("按建成功") : QStringLiteral("按建失败"));
}

QString DialTask::hangUp()
{
    m_host.report(QStringLiteral("正在挂机"));
    return m_host.control()->HangUpCall() ? QStringLiteral("挂机成功") : QStringLiteral("挂机失败");
}

void DialTask::runRounds(const RoundPlan &plan)
{
    m_host.setHangupFlag(false);
    const int rounds = plan.rounds < 1 ? 1 : plan.rounds;
    for (int round = 1; round <= rounds; ++round) {
        if (runRound(plan) == RoundEnd::Abort)
            return;
    }
    m_host.report(QStringLiteral("任务完成"));
}

DialTask::RoundEnd DialTask::runRound(const RoundPlan &plan)
{
    // A call left up by the previous round ends here.
    m_host.control()->HangUpCall();
    if (m_host.stopFlag())
        return RoundEnd::Abort;

    for (int attempt = 1; attempt <= 3; ++attempt) {
        if (m_host.stopFlag())
            return RoundEnd::Abort;
        m_host.report(QStringLiteral("正在拔号") + QString::number(attempt));
        const QString reply = m_host.control()->InputAT(dialCommand(plan.phoneNumber)).toString();
        if (isAnswered(reply)) {
            m_host.report(QStringLiteral("已接通") + plan.phoneNumber);
            break;
        }
        m_host.report(QStringLiteral("未接通"));
    }

    // The key steps run whether or not a dial try was answered.
    QString status;
    for (int slot = 0; slot < kKeySlots; ++slot) {
        if (m_host.hangupFlag() || m_host.stopFlag()) {
            status = hangUp();
            break;
        }
        const int wait = plan.waitTimes[slot];
        const int half = wait * 500;
        if (!m_host.pause(half) || !m_host.pause(half))
            return RoundEnd::Abort;
        const QString &key = plan.keyTexts[slot];
        if (key.isEmpty() || key == QLatin1String("-") || wait == 0) {
            // An empty slot, a "-" or a zero wait ends the sequence.
            status = hangUp();
            break;
        }
        m_host.report(QStringLiteral("正在按:") + key);
        if (!sendKeyTones(key)) {
            // The call stays up; the next round's first step hangs it up.
            status = QStringLiteral("按键失败:") + key;
            break;
        }
        m_host.report(QStringLiteral("成功按:") + key);
    }
    if (!status.isEmpty())
        m_host.report(status);
    return RoundEnd::Next;
}

} // namespace lonvera::worker
