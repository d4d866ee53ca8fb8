// The settings the running server holds in memory and the settings dialog changes at once: the
// sending window, the three sound switches and the unattended-mode values. Plain values.
#pragma once

namespace lonvera::server {

struct LiveSettings
{
    int sendIn = 0;   ///< first hour of the sending window
    int sendEnd = 24; ///< last hour of the sending window
    int justTm = 0;   ///< 1: the sending window is on
    bool soundLimit = false;
    bool soundErr = false;
    bool soundInMsg = false;
    bool autoOpenSet = false; ///< connect a standby device when one reaches its limit
    int setErrMsgCount = 6;

    friend bool operator==(const LiveSettings &, const LiveSettings &) = default;
};

} // namespace lonvera::server
