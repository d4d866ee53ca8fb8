// What a worker says in its events, defined once for the worker that raises them and the server
// that reads them: the status texts of OnOtherReport with their kinds, and the results of
// SendsmsA and OnSendReport. The texts stay as the operator sees them; the kind travels beside
// the text, so no reader picks a text apart. Pure; any thread.
#pragma once

#include <QString>

namespace lonvera::worker::protocol {

namespace reports {
inline constexpr char16_t kConnecting[] = u"正在连接";
inline constexpr char16_t kNotFound[] = u"未找到设备";
/// Followed by the model and "(COM" + port + ")".
inline constexpr char16_t kConnected[] = u"成功连接设备";
inline constexpr char16_t kWaiting[] = u"正在候时";
/// The first attempt; the second is followed by "(2)".
inline constexpr char16_t kSending[] = u"正在发送";
inline constexpr char16_t kPortClosed[] = u"关闭端口";
inline constexpr char16_t kHangingUp[] = u"正在挂机";
inline constexpr char16_t kHungUp[] = u"挂机成功";
inline constexpr char16_t kHangUpFailed[] = u"挂机失败";
inline constexpr char16_t kClosingPort[] = u"正在关闭端口";
inline constexpr char16_t kClosed[] = u"关闭成功";
inline constexpr char16_t kCloseFailed[] = u"关闭失败";
} // namespace reports

namespace results {
/// SendsmsA took the message / OnSendReport: the modem sent it.
inline constexpr char16_t kYes[] = u"y";
/// SendsmsA: the control is busy; nothing was stored.
inline constexpr char16_t kWorkerBusy[] = u"Busy";
/// OnSendReport: the modem was busy with another operation and sent nothing.
inline constexpr char16_t kModemBusy[] = u"B";
} // namespace results

/// The kind of a status report. The worker says it beside the text in the event frame, so no
/// reader has to take it from the text. The numbers travel in frames.
enum class ReportKind : int {
    Other = 0,      ///< any other status text: logged as it is
    Connecting = 1, ///< a connect began
    Connected = 2,  ///< the device answered; model and port are set
    NotFound = 3,   ///< the device did not answer
    Waiting = 4,    ///< waiting before a send
    Sending = 5,    ///< an attempt of a send began
};
inline constexpr int kLastReportKind = static_cast<int>(ReportKind::Sending);

struct StatusReport
{
    ReportKind kind = ReportKind::Other;
    QString model; ///< Connected: the model as the modem named it
    int port = 0;  ///< Connected: the port number

    /// Waiting before a send or sending: shown nowhere.
    bool isProgress() const { return kind == ReportKind::Waiting || kind == ReportKind::Sending; }
    bool operator==(const StatusReport &) const = default;
};

/// A status text as the worker raises it, with its kind.
struct RaisedReport
{
    QString text;
    StatusReport report;
};

/// One of the fixed texts of a kind: "正在连接", "未找到设备", "正在候时".
RaisedReport fixedReport(ReportKind kind);
/// "未找到设备", followed by "：" + reason when the control named one (a locked or missing SIM,
/// a port the user may not open): the run log then says why.
RaisedReport notFoundReport(const QString &reason);
/// "成功连接设备" + model + "(COM" + port + ")".
RaisedReport connectedReport(const QString &model, int port);
/// "正在发送", and "正在发送(" + attempt + ")" from the second attempt on.
RaisedReport sendingReport(int attempt);
/// The kind of a status text as the writers above make it, and for a connection its model and
/// port: for fakes and stand-ins that have only the text.
StatusReport readStatusReport(const QString &text);

} // namespace lonvera::worker::protocol
