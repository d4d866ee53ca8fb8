// See tarvex.h. The facade forwards each member to its operation object under the system's name.
#include "control/tarvex.h"

#include "control/tarvex_private.h"
#include "platform/paths.h"
#include "platform/profile_file.h"

#include <algorithm>

namespace lonvera::control {

TarvexPrivate::TarvexPrivate(Tarvex *q)
{
    context.connection = &connection;
    context.receiving = &receiving;
    context.sending = &sending;
    context.statusReports = &statusReports;
    context.calls = &calls;
    context.modemInfo = &modemInfo;

    QObject::connect(&context.exchange, &Exchange::noticesReceived, &context,
                     [this](const QList<Notice> &notices) { routeNotices(notices); });
    QObject::connect(&context.timerReport, &QTimer::timeout, &context,
                     [this] { statusReports.onTimerReport(); });

    QObject::connect(&context, &ModemContext::statusChange, q, &Tarvex::OnStatusChange);
    QObject::connect(&context, &ModemContext::recvMsg, q, &Tarvex::OnRecvMsg);
    QObject::connect(&context, &ModemContext::revReport, q, &Tarvex::OnRevReport);
    QObject::connect(&context, &ModemContext::call, q, &Tarvex::OnCall);
    QObject::connect(&context.exchange, &Exchange::waitProgress, q, &Tarvex::waitProgress);
    QObject::connect(&context.exchange, &Exchange::waitFinished, q, &Tarvex::waitFinished);
}

void TarvexPrivate::routeNotices(const QList<Notice> &notices)
{
    const bool newMessage = std::any_of(notices.begin(), notices.end(), [](const Notice &n) {
        return n.kind == NoticeKind::NewMessage;
    });
    if (newMessage)
        receiving.onNewMessage();
    for (const Notice &notice : notices) {
        switch (notice.kind) {
        case NoticeKind::StoredReport:
            statusReports.onStoredReport(notice.storage(), notice.index());
            break;
        case NoticeKind::DirectReport:
            statusReports.onDirectReport(notice.pduLine);
            break;
        case NoticeKind::Ring:
            // With automatic receiving off, a notification that brings a new message is not
            // acted on at all, a ring in it included, as hosts of this control have known it.
            if (!newMessage || context.autoReceive)
                calls.onRing();
            break;
        default:
            break; // other status lines are of no use to the control
        }
    }
}

template<typename Result, typename Operation>
Result TarvexPrivate::whenPortFree(Result refused, Operation operation)
{
    ModemContext::PortClaim claim(context);
    if (!claim)
        return refused;
    return operation();
}

QString TarvexPrivate::defaultCopyRight()
{
    return QStringLiteral("Lonvera GSM modem control");
}

bool TarvexPrivate::readLogSwitch()
{
    const platform::ProfileFile switchFile(
        platform::mapWindowsPath(QStringLiteral("c:\\SmsInKf.ini")));
    QString value = switchFile.readString(QStringLiteral("InKf"), QStringLiteral("InKf"), {}, 128);
    const qsizetype nul = value.indexOf(QChar(0));
    if (nul >= 0)
        value.truncate(nul);
    return value.trimmed() == QLatin1String("1");
}

Tarvex::Tarvex(QObject *parent) : QObject(parent), d(std::make_unique<TarvexPrivate>(this))
{
    d->context.logReplies = TarvexPrivate::readLogSwitch();
    d->context.autoReceive = true;
    d->copyRight = TarvexPrivate::defaultCopyRight();
}

Tarvex::~Tarvex()
{
    // End every wait still running on this control before its parts go away.
    d->context.exchange.setAbortWait(true);
    d->context.exchange.closePort();
}

QString Tarvex::Connect(qint16 WaitTime)
{
    // Stays so only when another operation holds the port and nothing is tried.
    d->context.connectFailure = ConnectFailure::Busy;
    return d->whenPortFree<QString>(QStringLiteral("B"),
                                    [&] { return d->connection.connect(WaitTime); });
}

ConnectFailure Tarvex::lastConnectFailure() const
{
    return d->context.connectFailure;
}

bool Tarvex::Link()
{
    return d->connection.link();
}

QString Tarvex::RevAuto()
{
    return d->whenPortFree<QString>(QStringLiteral("B"), [&] { return d->connection.revAuto(); });
}

QString Tarvex::RevAutoClose()
{
    return d->whenPortFree<QString>(QStringLiteral("B"),
                                    [&] { return d->connection.revAutoClose(); });
}

QString Tarvex::ClosePort()
{
    return d->connection.closePort();
}

QString Tarvex::Sendsms(QString &Msg, const QString &Mobile, qint16 s_Report, bool pV)
{
    return d->sending.sendSms(Msg, Mobile, s_Report, pV);
}

QString Tarvex::Sendsms(const QString &Msg, const QString &Mobile, qint16 s_Report, bool pV)
{
    QString text = Msg;
    return d->sending.sendSms(text, Mobile, s_Report, pV);
}

QString Tarvex::SendAsc2(const QVariant &AscMsg, const QVariant &tomobile,
                         const QVariant &smsreport)
{
    return d->whenPortFree<QString>(
        QStringLiteral("B"), [&] { return d->sending.sendAsc2(AscMsg, tomobile, smsreport); });
}

QVariant Tarvex::ReadMsg(qint16 &whyre)
{
    return d->whenPortFree<QVariant>(QVariant(QStringLiteral("n")),
                                     [&] { return d->receiving.readMsg(whyre); });
}

QVariant Tarvex::ReadMsg(const qint16 &whyre)
{
    qint16 state = whyre;
    return d->whenPortFree<QVariant>(QVariant(QStringLiteral("n")),
                                     [&] { return d->receiving.readMsg(state); });
}

QString Tarvex::DelSms(qint16 &del_which)
{
    return d->whenPortFree<QString>(QStringLiteral("n"),
                                    [&] { return d->receiving.delSms(del_which); });
}

QString Tarvex::DelSms(const qint16 &del_which)
{
    qint16 which = del_which;
    return d->whenPortFree<QString>(QStringLiteral("n"),
                                    [&] { return d->receiving.delSms(which); });
}

QVariant Tarvex::NewMsg()
{
    return d->receiving.newMsg();
}

QVariant Tarvex::get_report_all(const QVariant &start_is, const QVariant &strCodeis)
{
    return d->statusReports.getReportAll(start_is, strCodeis);
}

QVariant Tarvex::NewReport()
{
    return d->statusReports.newReport();
}

QVariant Tarvex::GetPhoneNo()
{
    return d->whenPortFree<QVariant>(QVariant(QStringLiteral("0000")),
                                     [&] { return d->calls.getPhoneNo(); });
}

QVariant Tarvex::AnswerCall()
{
    return d->whenPortFree<QVariant>(QVariant(false), [&] { return d->calls.answerCall(); });
}

bool Tarvex::HangUpCall()
{
    return d->whenPortFree<bool>(false, [&] { return d->calls.hangUpCall(); });
}

QVariant Tarvex::CallPhone(const QString &PhoneNo, qint16 WaitTime)
{
    return d->whenPortFree<QVariant>(QVariant(QStringLiteral("B")),
                                     [&] { return d->calls.callPhone(PhoneNo, WaitTime); });
}

QVariant Tarvex::M_model()
{
    return d->whenPortFree<QVariant>(QVariant(QString()), [&] { return d->modemInfo.model(); });
}

QVariant Tarvex::M_ltd()
{
    return d->whenPortFree<QVariant>(QVariant(QString()), [&] { return d->modemInfo.maker(); });
}

QVariant Tarvex::M_ver()
{
    return d->whenPortFree<QVariant>(QVariant(QString()), [&] { return d->modemInfo.revision(); });
}

QVariant Tarvex::M_imei()
{
    return d->whenPortFree<QVariant>(QVariant(QString()), [&] { return d->modemInfo.imei(); });
}

QVariant Tarvex::M_ServiceNo()
{
    return d->whenPortFree<QVariant>(QVariant(QString()), [&] { return d->modemInfo.serviceNo(); });
}

QVariant Tarvex::RdCenNo()
{
    return d->whenPortFree<QVariant>(QVariant(QString()), [&] { return d->modemInfo.rdCenNo(); });
}

QVariant Tarvex::InputAT(const QString &strAT)
{
    return d->whenPortFree<QVariant>(QVariant(QString()),
                                     [&] { return d->modemInfo.inputAt(strAT); });
}

QVariant Tarvex::ReadNB(const QVariant &pb_why)
{
    return d->whenPortFree<QVariant>(QVariant(QString()),
                                     [&] { return d->modemInfo.readNb(pb_why); });
}

bool Tarvex::portInUse() const
{
    return d->context.portClaimed();
}

bool Tarvex::isRefusal(const QString &reply)
{
    return parseReply(u"at", reply).final.isError();
}

bool Tarvex::isAccepted(const QString &reply)
{
    return parseReply(u"at", reply).final.isOk();
}

bool Tarvex::logsReplies() const
{
    return d->context.logReplies;
}

} // namespace lonvera::control
