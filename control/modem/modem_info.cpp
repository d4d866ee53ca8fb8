// See modem_info.h.
#include "control/modem/modem_info.h"

#include "control/modem/modem_context.h"
#include "control/replies/modem_info_replies.h"

namespace lonvera::control {

namespace {

// 3GPP TS 27.007 9.2.1: "SIM busy", a SIM still starting up after power-on.
constexpr int kSimBusy = 14;
constexpr int kSimBusyRetries = 3;
constexpr int kSimBusyPauseMs = 1500;

} // namespace

Reply ModemInfo::query(const QString &command, int seconds)
{
    // Every way out frees the control: a port that cannot be opened gives an empty reply.
    ModemContext::BusyScope busy(m_context);
    Exchange &exchange = m_context.exchange;
    if (exchange.ensureOpen() != 0)
        return {};
    exchange.discardInput();
    exchange.writeCommand(command);
    exchange.waitReply(seconds);
    Reply reply = exchange.reply();
    reply.text = exchange.replyText();
    return reply;
}

Reply ModemInfo::queryCentre(const QString &command)
{
    Reply reply = query(command, 6);
    for (int retry = 0; retry < kSimBusyRetries && reply.final.word == FinalWord::CmeError &&
                        reply.final.code == kSimBusy && !m_context.exchange.abortWait();
         ++retry) {
        m_context.exchange.wait(kSimBusyPauseMs);
        reply = query(command, 6);
    }
    return reply;
}

QVariant ModemInfo::model()
{
    return parseCgmm(query(QStringLiteral("at+cgmm"), 6));
}

QVariant ModemInfo::maker()
{
    return parseCgmi(query(QStringLiteral("at+cgmi"), 2));
}

QVariant ModemInfo::revision()
{
    return parseCgmr(query(QStringLiteral("at+cgmr"), 2));
}

QVariant ModemInfo::imei()
{
    return parseCgsn(query(QStringLiteral("at+cgsn"), 8));
}

QVariant ModemInfo::serviceNo()
{
    return parseCscaWhole(queryCentre(QStringLiteral("AT+CSCA?")));
}

QVariant ModemInfo::rdCenNo()
{
    return parseCscaLines(queryCentre(QStringLiteral("at+csca?")));
}

QVariant ModemInfo::inputAt(const QString &command)
{
    return query(command, 8).text;
}

QVariant ModemInfo::readNb(const QVariant &storage)
{
    ModemContext::BusyScope busy(m_context);
    Exchange &exchange = m_context.exchange;
    if (exchange.ensureOpen() != 0)
        return QString();
    const QChar quote(u'"');

    // Names come as UCS2 hex only in that character set; the set the modem had is put back
    // afterwards, or later caller numbers and texts would come as hex too.
    exchange.writeCommand(QStringLiteral("at+cscs?"));
    const QString previousSet = parseCscsRead(exchange.waitReply(8));
    exchange.writeCommand(QStringLiteral("at+cscs =") + quote + QStringLiteral("ucs2") + quote);
    exchange.waitReply(8);

    QString result;
    exchange.writeCommand(QStringLiteral("at+cpbs = ") + quote + storage.toString() + quote);
    exchange.waitReply(12);
    if (!exchange.reply().final.isError()) {
        exchange.writeCommand(QStringLiteral("at + cpbr = ?"));
        const QString range = parseCpbrRange(exchange.waitReply(12));
        if (!range.isEmpty()) {
            exchange.writeCommand(QStringLiteral("at+cpbr=") + range);
            result = parseCpbrEntries(exchange.waitReply(28));
        }
    }

    if (!previousSet.isEmpty() && previousSet.compare(QLatin1String("UCS2"), Qt::CaseInsensitive)) {
        exchange.writeCommand(QStringLiteral("at+cscs=") + quote + previousSet + quote);
        exchange.waitReply(8);
    }
    return result;
}

} // namespace lonvera::control
