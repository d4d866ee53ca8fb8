// See modem_info.h. The queries come with the next step; until then they find nothing.
#include "control/modem/modem_info.h"

#include "control/modem/modem_context.h"

namespace lonvera::control {

QVariant ModemInfo::model()
{
    return QString();
}

QVariant ModemInfo::maker()
{
    return QString();
}

QVariant ModemInfo::revision()
{
    return QString();
}

QVariant ModemInfo::imei()
{
    return QString();
}

QVariant ModemInfo::serviceNo()
{
    return QString();
}

QVariant ModemInfo::rdCenNo()
{
    return QString();
}

QVariant ModemInfo::inputAt(const QString &command)
{
    Q_UNUSED(command);
    return QString();
}

QVariant ModemInfo::readNb(const QVariant &storage)
{
    Q_UNUSED(storage);
    return QString();
}

} // namespace lonvera::control
