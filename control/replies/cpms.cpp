// See cpms.h.
#include "control/replies/cpms.h"

#include "control/pdu/reply_fields.h"

namespace lonvera::control {

int parseCpms(const QString &reply)
{
    const int capacity = pdu::CpmsField(reply, 2);
    return capacity < 0 ? 20 : capacity;
}

} // namespace lonvera::control
