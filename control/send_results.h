// The result texts of a send that ClosePort stopped, as Sendsms returns them and the worker
// passes them on in OnSendReport. The server compares against these constants; it never has to
// read counts or reasons out of a text.
#pragma once

#include <QStringView>

namespace lonvera::control::SendResult {

/// Stopped before any part was handed to the modem: nothing went out.
inline constexpr QStringView InterruptedNothingSent = u"关闭端口，发送被中断";
/// Stopped after at least one part was accepted by the modem: the message went out in part.
inline constexpr QStringView InterruptedPartSent = u"关闭端口，发送被中断，已发出部分";
/// Stopped after a part was handed to the modem without its answer being seen, no part being
/// confirmed: it may have gone out.
inline constexpr QStringView InterruptedMaybeSent = u"关闭端口，发送被中断，可能已发出";

/// True for each of the texts above.
inline bool isInterrupted(QStringView result)
{
    return result == InterruptedNothingSent || result == InterruptedPartSent ||
           result == InterruptedMaybeSent;
}

} // namespace lonvera::control::SendResult
