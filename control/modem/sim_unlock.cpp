// See sim_unlock.h.
#include "control/modem/sim_unlock.h"

#include "control/modem/connection.h"
#include "control/modem/modem_context.h"
#include "platform/paths.h"
#include "platform/profile_file.h"

#include <QCryptographicHash>

namespace lonvera::control {

namespace {

const QString kRefusedSection = QStringLiteral("SimPinRefused");

QString portKey(int port)
{
    return QStringLiteral("COM") + QString::number(port);
}

QString configuredPin(int port)
{
    const platform::ProfileFile settings(platform::programFolder() + QStringLiteral("/set.ini"));
    return settings.readString(QStringLiteral("PIN"), portKey(port)).trimmed();
}

QString refusedFile()
{
    return platform::mapWindowsPath(QStringLiteral("c:\\wintic.ini"));
}

// The PIN itself is kept only where the operator wrote it.
QString pinHash(const QString &pin)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(pin.toUtf8(), QCryptographicHash::Sha256).toHex());
}

// The state word of a "+CPIN: <code>" line, empty when the reply holds none.
QString cpinState(const QString &reply)
{
    for (QStringView line : QStringView(reply).split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.startsWith(QLatin1String("+CPIN:"), Qt::CaseInsensitive))
            return line.sliced(6).trimmed().toString().toUpper();
    }
    return {};
}

} // namespace

QString SimUnlock::noPinText(int port)
{
    return QStringLiteral("SIM 卡需要 PIN 码，但 set.ini 的 [PIN] 中没有为 ") + portKey(port) +
           QStringLiteral(" 设置：请加上 ") + portKey(port) + QStringLiteral("=PIN 码后再试！");
}

QString SimUnlock::pinRefusedText(int port)
{
    return QStringLiteral("SIM 卡拒绝了 set.ini [PIN] 中为 ") + portKey(port) +
           QStringLiteral(" 设置的 PIN 码，为免锁卡不再重试：请改正 PIN 码后再连接！");
}

QString SimUnlock::pukText()
{
    return QStringLiteral("SIM 卡已被锁定，需要 PUK 码：请在手机上用 PUK 码解锁后再试！");
}

QString SimUnlock::noSimText()
{
    return QStringLiteral("未检测到 SIM 卡：请插入 SIM 卡后再试！");
}

QString SimUnlock::unlock()
{
    Exchange &exchange = m_context.exchange;
    exchange.writeCommand(QStringLiteral("at+cpin?"));
    const QString reply = exchange.waitReply(5);
    const FinalResult final = exchange.reply().final;
    const int port = m_context.port.portNumber();
    // 3GPP TS 27.007 9.2: 10 SIM not inserted.
    if (final.word == FinalWord::CmeError && final.code == 10)
        return noSimText();
    if (!final.isOk())
        return {}; // a modem that does not say goes on as before
    const QString state = cpinState(reply);
    if (state == QLatin1String("SIM PIN"))
        return enterPin(port);
    if (state == QLatin1String("SIM PUK"))
        return pukText();
    return {}; // READY, or a lock this control cannot open (the modem will say so later)
}

QString SimUnlock::enterPin(int port)
{
    const QString pin = configuredPin(port);
    if (pin.isEmpty())
        return noPinText(port);
    platform::ProfileFile refused(refusedFile());
    if (refused.readString(kRefusedSection, portKey(port)) == pinHash(pin))
        return pinRefusedText(port); // the SIM said no to this PIN already
    Exchange &exchange = m_context.exchange;
    exchange.writeCommand(QStringLiteral("at+cpin=\"") + pin + QLatin1Char('"'));
    exchange.waitReply(10);
    const FinalResult final = exchange.reply().final;
    if (final.isOk()) {
        if (!refused.readString(kRefusedSection, portKey(port)).isEmpty())
            refused.writeString(kRefusedSection, portKey(port), {});
        return {};
    }
    if (!final.isError()) {
        m_unanswered = true; // whether it took the PIN is unknown
        return Connection::notConnectedText();
    }
    platform::ensureParentFolder(refused.path());
    refused.writeString(kRefusedSection, portKey(port), pinHash(pin));
    return pinRefusedText(port);
}

} // namespace lonvera::control
