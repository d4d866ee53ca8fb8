// See cnmi.h.
#include "control/replies/cnmi.h"

namespace lonvera::control {

QString parseCnmiMode(const QString &reply)
{
    const qsizetype close = reply.indexOf(QLatin1Char(')'));
    if (close <= 0)
        return QStringLiteral("1");
    const QChar highest = reply.at(close - 1);
    if (!highest.isDigit() || highest.digitValue() <= 1)
        return QStringLiteral("1");
    return QStringLiteral("2");
}

QStringList cnmiSettings(const QString &mode)
{
    const QString head = QStringLiteral("at+cnmi=") + mode;
    return {head + QLatin1String(",1,0,1,0"), head + QLatin1String(",1,0,1,1"),
            head + QLatin1String(",1,0,2,1"), head + QLatin1String(",1,0,2,0"),
            head + QLatin1String(",1"),       QStringLiteral("at+cnmi=1,1,0,1,0"),
            head + QLatin1String(",1,0"),     head + QLatin1String(",1,0,1"),
            head + QLatin1String(",1,0,1,1")};
}

} // namespace lonvera::control
