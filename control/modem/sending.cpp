// See sending.h. The send operations come with the next step; until then they fail cleanly.
#include "control/modem/sending.h"

#include "control/modem/modem_context.h"
#include "platform/paths.h"
#include "platform/profile_file.h"

namespace lonvera::control {

QString Sending::sendSms(QString &msg, const QString &mobile, int sReport, bool pV)
{
    Q_UNUSED(msg);
    Q_UNUSED(mobile);
    Q_UNUSED(sReport);
    Q_UNUSED(pV);
    if (m_context.isBusy())
        return QStringLiteral("B");
    return QStringLiteral(
        "未发送成功，请检查短信中心号码是否正确，现在的手机信号是否正常，或再试一下");
}

QString Sending::sendAsc2(const QVariant &ascMsg, const QVariant &toMobile,
                          const QVariant &smsReport)
{
    Q_UNUSED(ascMsg);
    Q_UNUSED(toMobile);
    Q_UNUSED(smsReport);
    return QStringLiteral(
        "未发送成功，请检查短信中心号码是否正确，现在的手机信号是否正常，或再试一下");
}

void Sending::loadSendMethod()
{
    const platform::ProfileFile wintic(platform::mapWindowsPath(QStringLiteral("c:\\wintic.ini")));
    m_context.sendMethod =
        wintic.readString(QStringLiteral("test"), QStringLiteral("wave_or_mobile"));
}

} // namespace lonvera::control
