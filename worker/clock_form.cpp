// See clock_form.h.
#include "worker/clock_form.h"

#include "control/tarvex.h"

namespace lonvera::worker {

ClockForm::ClockForm(QObject *parent) : QObject(parent), m_tarvex(new control::Tarvex(this))
{
    setObjectName(QStringLiteral("frmClock"));
    m_tarvex->setObjectName(QStringLiteral("Tarvex1"));
    // A control placed on a form starts from its design-time values.
    m_tarvex->initNewInstance();
    m_timClock.setObjectName(QStringLiteral("timClock"));
    m_timClock.setInterval(0);
    m_timClock.setSingleShot(false);
    // The worker's deferral is what the interface's timing rests on; a coarse timer would add
    // up to 5% to every 100 ms step.
    m_timClock.setTimerType(Qt::PreciseTimer);
}

ClockForm::~ClockForm() = default;

} // namespace lonvera::worker
