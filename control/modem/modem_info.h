// Modem information and phonebook: model, maker, revision, IMEI, service centre, a raw AT
// command, and the entries of a phonebook storage. Each ends with Isbusy false, whatever the
// port does.
// Lives on its control's thread; no locks.
#pragma once

#include "control/exchange/line_reader.h"

#include <QString>
#include <QVariant>

namespace lonvera::control {

class ModemContext;

class ModemInfo
{
public:
    explicit ModemInfo(ModemContext &context) : m_context(context) {}

    QVariant model();
    QVariant maker();
    QVariant revision();
    QVariant imei();
    QVariant serviceNo();
    QVariant rdCenNo();
    QVariant inputAt(const QString &command);
    QVariant readNb(const QVariant &storage);

private:
    /// One exchange under Isbusy: pending input dropped, the command, its reply (empty when the
    /// port cannot be opened).
    Reply query(const QString &command, int seconds);
    /// The centre query, asked again after a short pause while the SIM is still starting.
    Reply queryCentre(const QString &command);

    ModemContext &m_context;
};

} // namespace lonvera::control
