// See modem_info.h.
#include "control/modem/modem_info.h"

#include "control/modem/modem_context.h"
#include "control/replies/modem_info_replies.h"

namespace lonvera::control {

namespace {

bool hasError(const QString &reply)
{
    return reply.contains(QLatin1String("ERR")) || reply.contains(QLatin1String("err"));
}

} // namespace

QString ModemInfo::query(const QString &command, int seconds)
{
    // Every way out frees the control: a port that cannot be opened gives an empty reply.
    ModemContext::BusyScope busy(m_context);
    Exchange &exchange = m_context.exchange;
    if (exchange.ensureOpen() != 0)
        return {};
    exchange.discardInput();
    exchange.writeCommand(command);
    return exchange.waitReply(seconds);
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
    return parseCscaWhole(query(QStringLiteral("AT+CSCA?"), 6));
}

QVariant ModemInfo::rdCenNo()
{
    return parseCscaLines(query(QStringLiteral("at+csca?"), 6));
}

QVariant ModemInfo::inputAt(const QString &command)
{
    return query(command, 8);
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
    if (!hasError(exchange.waitReply(12))) {
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
