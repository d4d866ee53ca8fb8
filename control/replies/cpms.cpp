// See cpms.h.
#include "control/replies/cpms.h"

#include "control/pdu/hex.h"
#include "control/replies/reply_fields.h"

namespace lonvera::control {

int parseCpms(const QString &reply)
{
    const int capacity = CpmsField(reply, 2);
    return capacity < 0 ? 20 : capacity;
}

} // namespace lonvera::control
