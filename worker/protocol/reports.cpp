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

QString connectedReport(const QString &model, int port)
{
    return text(reports::kConnected) + model + kPortOpen + QString::number(port) + u')';
}

QString sendingReport(int attempt)
{
    return attempt <= 1 ? text(reports::kSending)
                        : text(reports::kSending) + u'(' + QString::number(attempt) + u')';
}

StatusReport readStatusReport(const QString &t)
{
    StatusReport r;
    if (t.startsWith(text(reports::kWaiting)) || t.startsWith(text(reports::kSending))) {
        r.kind = ReportKind::Progress;
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
