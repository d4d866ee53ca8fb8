// See connection.h.
#include "control/modem/connection.h"

#include "control/modem/modem_context.h"
#include "control/modem/sending.h"
#include "control/modem/sim_unlock.h"
#include "control/replies/cnmi.h"
#include "control/replies/cpms.h"

namespace lonvera::control {

namespace {

// How long the answer to a probe that DSR ended early may take to come; modems answer "at"
// within tens of milliseconds.
constexpr int kLateProbeAnswerMs = 500;
// How long a modem is given to answer the ESC that ends an open PDU entry.
constexpr int kEscapeAnswerMs = 150;

} // namespace

QString Connection::portErrorText(int errorNumber)
{
    switch (errorNumber) {
    case PortError::InvalidPortNumber:
    case PortError::PortNotOpen:
        return QStringLiteral("所设置的端口号（COM）无效，请检查！如有不明，请联络开发商");
    case PortError::PortAlreadyOpen:
        return QStringLiteral("端口已被其它程序占用，请先关掉其它程序或重启电脑再试！");
    case PortError::NoPermission:
        return QStringLiteral("没有权限打开此端口：请把当前用户加入 dialout 组"
                              "（sudo usermod -aG dialout 用户名），重新登录后再试！");
    case PortError::ReadFailed:
        return QStringLiteral("所设置的端口号（COM）无效，请检查！如为win2000+usb红外,"
                              "可能要安装红外补丁，如有不明，请联络开发商");
    default:
        return QStringLiteral("硬件错误，请注意操作是否有误，或设置是否正常(") +
               Exchange::numberText(errorNumber) + QLatin1Char(')');
    }
}

QString Connection::notConnectedText()
{
    return QStringLiteral("未接通！如果连接良好及COM 选择正确，请再试！或换其它速率"
                          "（在settings属性中更改）");
}

QString Connection::connect(int waitTime)
{
    ModemContext &c = m_context;
    Exchange &exchange = c.exchange;
    c.setBusy(true);
    if (c.portSetFailed) {
        c.connectFailure = ConnectFailure::Refused;
        c.setBusy(false);
        return QStringLiteral("n");
    }
    c.errmsg = QString();
    c.lastPortError = 0;
    c.connectFailure = ConnectFailure::None;
    // The host asks for the port again: a port it closed may open from here on.
    exchange.setAbortWait(false);

    const int openError = exchange.ensureOpen();
    if (openError != PortError::None) {
        // A port that cannot be opened is never linked, whatever an earlier Connect found.
        c.linkState = QStringLiteral("n");
        c.errmsg = portErrorText(openError);
        c.connectFailure = ConnectFailure::Port;
    } else {
        leaveTextEntry();
        probeHandshaking(waitTime);
        exchange.writeCommand(QStringLiteral("at+cmgf=?"));
        exchange.waitReply(2);
        const bool answered = exchange.reply().final.isOk();
        SimUnlock sim(c);
        const QString simText = answered ? sim.unlock() : QString();
        if (!simText.isEmpty()) {
            c.linkState = QStringLiteral("n");
            c.errmsg = simText;
            c.connectFailure = sim.unanswered() ? ConnectFailure::NoAnswer : ConnectFailure::Sim;
        } else if (answered) {
            exchange.writeCommand(QStringLiteral("at+cmgf=0"));
            exchange.waitReply(6);
            exchange.writeCommand(QStringLiteral("at&w"));
            exchange.waitReply(6);
            exchange.writeCommand(QStringLiteral("at+cpms?"));
            c.simCapacity = parseCpms(exchange.waitReply(6));
            c.maxIndex = -1;
            c.linkState = QStringLiteral("y");
        } else {
            c.linkState = QStringLiteral("n");
            // The device went away while we talked to it: say so rather than "not connected".
            if (c.lastPortError != 0)
                c.errmsg = portErrorText(c.lastPortError);
            c.connectFailure =
                c.lastPortError != 0 ? ConnectFailure::Port : ConnectFailure::NoAnswer;
        }
    }

    QString result;
    if (c.linkState == QLatin1String("y")) {
        result = QStringLiteral("y");
        revAuto();
        if (c.sending)
            c.sending->loadSendMethod();
    } else {
        if (c.errmsg.toString().isEmpty())
            c.errmsg = notConnectedText();
        result = c.errmsg.toString();
        c.dsrFlag = QStringLiteral("n");
        exchange.closePort();
    }
    c.setBusy(false);
    return result;
}

void Connection::leaveTextEntry()
{
    // A program that ended mid-send (killed, crashed, or closed while the ">" prompt was open)
    // leaves the modem taking everything typed as the rest of a PDU and answering nothing, so no
    // probe would find it, however often it was tried. ESC ends that entry without sending
    // anything; in command state a modem passes it over. Its answer, and whatever else the modem
    // still had to say to that program, is let come and dropped so that none of it is taken for
    // the answer to our probe. Written without flow control, so nothing holds it back.
    ModemContext &c = m_context;
    c.port.setHandshaking(0);
    if (!c.exchange.writeRaw(QByteArrayLiteral("\x1b\r")))
        return;
    c.exchange.wait(kEscapeAnswerMs);
    c.exchange.discardInput();
}

bool Connection::probeHandshaking(int waitTime)
{
    ModemContext &c = m_context;
    Exchange &exchange = c.exchange;
    // Some modems answer only with one kind of flow control; try "both" first, as a modem that
    // raises DSR when the port opens is found at once with it.
    static const int modes[] = {3, 0, 2, 1};
    for (int mode : modes) {
        c.port.setHandshaking(mode);
        exchange.writeCommand(QStringLiteral("at"));
        exchange.setAbortWait(false);
        const auto answered = [&c] {
            return c.dsrFlag == QLatin1String("y") || c.exchange.abortWait() ||
                   c.exchange.reply().final.isOk();
        };
        exchange.waitUntil(answered, qMax(0, waitTime) * 1000, qMax(0, waitTime));
        if (c.dsrFlag == QLatin1String("y") && !exchange.abortWait() &&
            !exchange.reply().final.isFinal()) {
            // DSR ended the probe before the modem's answer to "at" came. That answer is still
            // on its way and would be taken for the answer to our next command, and each answer
            // after it for the one before: let it come first. A modem that answers at once costs
            // its round trip; one that says nothing in this mode costs the bound.
            exchange.waitUntil([&exchange] { return exchange.reply().final.isFinal(); },
                               kLateProbeAnswerMs);
        }
        if (answered())
            return true;
        if (!exchange.isOpen())
            return false; // the device went away; the remaining modes cannot answer either
    }
    return false;
}

bool Connection::link()
{
    ModemContext &c = m_context;
    if (c.isBusy())
        return true;
    if (!c.exchange.isOpen())
        return false;
    ModemContext::PortClaim claim(c);
    if (!claim)
        return true; // an operation is using the modem
    c.exchange.writeCommand(QStringLiteral("at+cmgf=?"));
    c.exchange.waitReply(2);
    return c.exchange.reply().final.isOk();
}

QString Connection::revAuto()
{
    ModemContext &c = m_context;
    Exchange &exchange = c.exchange;
    c.setBusy(true);
    exchange.ensureOpen();
    exchange.discardInput();

    exchange.writeCommand(QStringLiteral("at+cnmi=?"));
    const QString mode = parseCnmiMode(exchange.waitReply(3));
    bool accepted = false;
    for (const QString &setting : cnmiSettings(mode)) {
        exchange.writeCommand(setting);
        exchange.waitReply(3);
        accepted = exchange.reply().final.isOk();
        if (accepted)
            break;
    }
    c.autoReceive = true;

    QString result;
    if (accepted) {
        result = QStringLiteral("y");
        c.timer1.stop(); // notifications replace polling
        exchange.writeCommand(QStringLiteral("at&w"));
        exchange.waitReply(3);
    } else {
        c.timer1.start();
        result = Exchange::numberText(c.timer1.interval());
    }
    c.setBusy(false);
    return result;
}

QString Connection::revAutoClose()
{
    ModemContext &c = m_context;
    Exchange &exchange = c.exchange;
    c.autoReceive = false;
    c.setBusy(true);
    c.timer1.stop();
    exchange.ensureOpen();
    exchange.discardInput();
    exchange.writeCommand(QStringLiteral("at+cnmi=0"));
    exchange.waitReply(4);
    const QString result =
        exchange.reply().final.isOk() ? QStringLiteral("y") : QStringLiteral("关");
    exchange.writeCommand(QStringLiteral("at&w"));
    exchange.waitReply(3);
    c.timer1.stop();
    c.setBusy(false);
    return result;
}

QString Connection::closePort()
{
    ModemContext &c = m_context;
    c.exchange.setAbortWait(true);
    c.exchange.closePort();
    // A closed port stays closed: no poll, deferred read or report repeat takes it back.
    c.timer1.stop();
    c.timer2.stop();
    c.timerReport.stop();
    c.linkState = QStringLiteral("n");
    c.dsrFlag = QStringLiteral("n");
    return QStringLiteral("y");
}

} // namespace lonvera::control
