// Why the last Connect of a control failed, for a host that tells a modem that did not answer
// from a failure with a reason a person can act on. errmsg carries the text for people; this is
// what code decides by, so no host has to compare texts.
#pragma once

namespace lonvera::control {

enum class ConnectFailure {
    None,     ///< the last Connect succeeded, or none has run yet
    Refused,  ///< Connect refused at once ("n"): setting CommPort had failed
    Busy,     ///< Connect answered "B": another operation held the port, nothing was tried
    NoAnswer, ///< the modem answered nothing usable (or nothing to the PIN)
    Port,     ///< the port could not be opened or went away; errmsg names the port error
    Sim,      ///< the SIM stops the connect: its PUK, no SIM, no PIN configured, a refused PIN
};

/// True when errmsg names the reason (the port, the SIM) rather than saying nobody answered.
inline bool hasNamedReason(ConnectFailure failure)
{
    return failure == ConnectFailure::Port || failure == ConnectFailure::Sim;
}

} // namespace lonvera::control
