// Reply of "at+cpms?": the size of the modem's message storage. Pure; any thread.
#pragma once

#include <QString>

namespace lonvera::control {

/// The storage capacity (field 2 of "+CPMS: "SM",3,30,..."), or 20 when the reply gives no usable
/// number (none, negative, or above 200).
int parseCpms(const QString &reply);

} // namespace lonvera::control
