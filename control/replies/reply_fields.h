// Small parsers of AT reply fragments. Pure functions; any thread.
#pragma once

#include <QString>

namespace lonvera::control {

/// Field 1 (messages stored) or 2 (capacity) of a "+CPMS" reply; -1 when absent, not a
/// number, negative or above 200.
int CpmsField(QStringView text, int n);

/// The storage read and deleted from (the first one) in a "+CPMS?" reply ("SM" of
/// "+CPMS: "SM",3,30,..."); "" when the reply names none.
QString CpmsStorage(QStringView text);

/// The caller's number in a "+CLCC" reply: from the call that rings (state 4 incoming or 5
/// waiting) when a line gives its state, otherwise from the first call line: the first comma
/// field longer than 4 characters that does not contain "CLCC", without double quotes; "0000"
/// when there is none.
QString ClccNumber(QStringView text);

} // namespace lonvera::control
