// Replies and settings of "at+cnmi": the mode a modem supports, and the notification settings
// tried in turn until the modem accepts one. Pure functions; any thread.
#pragma once

#include <QString>
#include <QStringList>

namespace lonvera::control {

/// The first parameter (mode) to use from the reply to "at+cnmi=?": the character before the
/// first ")" is the highest mode; "1" when that is 0 or 1, when there is no ")", or when it is not
/// a digit (mode 1 is the one every modem knows); otherwise "2".
QString parseCnmiMode(const QString &reply);

/// The nine "at+cnmi=" settings for the mode, in the order they are tried. The second parameter 1
/// stores a new message and announces it with "+CMTI"; the fourth asks for status reports directly
/// ("+CDS", 1) or stored and announced ("+CDSI", 2); the fifth flushes buffered results.
QStringList cnmiSettings(const QString &mode);

} // namespace lonvera::control
