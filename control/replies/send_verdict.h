// What a send result says, for whoever must decide what to do next: the control (stop its
// attempts), the worker (skip its second attempt) and the server (keep, retry or fail the row).
// The control's own failure texts for a lost link and a modem that stopped answering are defined
// here once; a modem's refusal is read from its "+CMS ERROR: n" and looked up in the code table
// (cms_error_table.cpp). Pure functions; no Qt event loop, no I/O.
#pragma once

#include <QString>

namespace lonvera::control {

/// The control's result when the port went away before anything of the message reached the
/// modem (the number is the one this text has always carried).
inline const QString kLinkLostText = QStringLiteral("发送时通信链路中断(20011)");
/// The port went away after a part was handed to the modem and before its answer.
inline const QString kLinkLostAfterPduText =
    QStringLiteral("发送时通信链路中断，信息可能已发出(20011)");
/// The link is down and connecting again inside the send failed: nothing went.
inline const QString kNotConnectedText =
    QStringLiteral("未发送成功，手机与电脑未成功进行连接，请检查物理链路以及设置是否正确！");
/// Starts the result of a long message of which only some parts went.
inline const QString kPartlySentPrefix = QStringLiteral("未全部发送成功");
/// The modem answered nothing at all to the send command.
inline const QString kSilentText = QStringLiteral("设备无响应，信息未发出");
/// The modem prompted for the message, took it and then answered nothing.
inline const QString kSilentAfterPduText = QStringLiteral("设备无响应，信息可能已发出");

enum class SendOutcome {
    Sent,           ///< "y"
    Busy,           ///< the control or worker was busy and sent nothing
    LinkLost,       ///< the port is gone and nothing went: the message waits for a device
    NotResponding,  ///< the modem answers nothing and nothing went
    OutcomeUnknown, ///< the link or the modem went silent after the message was handed over
    Refused,        ///< a permanent refusal: another attempt would be refused the same way
    Temporary,      ///< a temporary refusal (network out of order, no service): try later
    Failed          ///< any other failure, handled as before
};

/// How a modem's error code is to be taken.
enum class RefusalClass { Permanent, Temporary, Unknown };

struct CmsErrorEntry
{
    int code;
    RefusalClass refusal;
    const char16_t *reason; ///< short readable reason for the operator
};

/// The table entry of a 3GPP TS 27.005 3.2.5 <err> code; nullptr for a code it does not hold.
const CmsErrorEntry *cmsErrorEntry(int code);

/// The code of the last "+CMS ERROR: n" in a modem transcript; -1 when there is none.
int lastCmsError(const QString &transcript);

struct SendVerdict
{
    SendOutcome outcome = SendOutcome::Failed;
    int cmsError = -1; ///< the modem's refusal code, -1 when it gave none
    /// Short readable text for badoutbox: the reason with the error number, or the result text
    /// itself when no refusal code is in it.
    QString reason;
};

/// Reads a send result ("y", "B", "Busy", or a failure text with its modem transcript).
SendVerdict judgeSendResult(const QString &result);

/// True when another attempt at the same message cannot help or could send it twice.
bool endsTheAttempts(SendOutcome outcome);

} // namespace lonvera::control
