// See reports.h.
#include "worker/protocol/reports.h"

namespace lonvera::worker::protocol {

namespace {

const QString kPortOpen = QStringLiteral("(COM");

QString text(const char16_t *t)
{
    return QString::fromUtf16(t);
}

} // namespace

RaisedReport fixedReport(ReportKind kind)
{
    switch (kind) {
    case ReportKind::Connecting:
        return {text(reports::kConnecting), {kind, {}, 0}};
    case ReportKind::NotFound:
        return {text(reports::kNotFound), {kind, {}, 0}};
    case ReportKind::Waiting:
        return {text(reports::kWaiting), {kind, {}, 0}};
    default:
        return {};
    }
}

RaisedReport notFoundReport(const QString &reason)
{
    RaisedReport r = fixedReport(ReportKind::NotFound);
    if (!reason.isEmpty())
        r.text += u'：' + reason;
    return r;
}

RaisedReport connectedReport(const QString &model, int port)
{
    return {text(reports::kConnected) + model + kPortOpen + QString::number(port) + u')',
            {ReportKind::Connected, model, port}};
}

RaisedReport sendingReport(int attempt)
{
    const QString sending = text(reports::kSending);
    return {attempt <= 1 ? sending : sending + u'(' + QString::number(attempt) + u')',
            {ReportKind::Sending, {}, 0}};
}

StatusReport readStatusReport(const QString &t)
{
    StatusReport r;
    if (t == text(reports::kConnecting)) {
        r.kind = ReportKind::Connecting;
    } else if (t.startsWith(text(reports::kWaiting))) {
        r.kind = ReportKind::Waiting;
    } else if (t.startsWith(text(reports::kSending))) {
        r.kind = ReportKind::Sending;
    } else if (t.startsWith(text(reports::kNotFound))) {
        r.kind = ReportKind::NotFound;
    } else if (t.startsWith(text(reports::kConnected))) {
        r.kind = ReportKind::Connected;
        const qsizetype prefix = text(reports::kConnected).size();
        // The port is the last "(COMn)": a model may hold "COM" or brackets of its own.
        const qsizetype open = t.lastIndexOf(kPortOpen);
        if (open >= prefix && t.endsWith(u')')) {
            r.model = t.mid(prefix, open - prefix);
            r.port = t.mid(open + kPortOpen.size(), t.size() - open - kPortOpen.size() - 1).toInt();
        } else {
            r.model = t.mid(prefix);
        }
    }
    return r;
}

} // namespace lonvera::worker::protocol
