// Small parsers of AT reply fragments. Pure functions; any thread.
#pragma once

#include <QString>

namespace lonvera::pdu {

/// The text without every character whose code is 1 to 32, except 30 and 31.
QString StripControls(QStringView text);

/// Field 1 (messages stored) or 2 (capacity) of a "+CPMS" reply; -1 when absent, not a
/// number, negative or above 200.
int CpmsField(QStringView text, int n);

/// The caller's number in a "+CLCC" reply: the first comma field longer than 4 characters that
/// does not contain "CLCC", without double quotes; "0000" when there is none.
QString ClccNumber(QStringView text);

} // namespace lonvera::pdu
