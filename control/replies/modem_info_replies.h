// Replies of the modem information commands ("at+cgmm", "at+cgmi", "at+cgmr", "at+cgsn",
// "at+csca?"), "at+cscs?" and the phonebook ("at+cpbr=?", "at+cpbr=a,b"), reduced to the texts the
// control returns. The information commands work on the reply's own lines (no echo, no final, no
// notice), so a name is never cut where it only looks like an echo or a result word ("ZTE
// INCORPORATED", "Nokia"); blanks go, as hosts of this control have always been given names
// without them; a refused command gives an empty text.
// Pure functions; any thread.
#pragma once

#include "control/exchange/line_reader.h"

#include <QString>

namespace lonvera::control {

/// Model: the last line longer than 2 (its "+CGMM:" and blanks removed).
QString parseCgmm(const Reply &reply);
/// Manufacturer: the first line longer than 3 (its "+CGMI:" and blanks removed).
QString parseCgmi(const Reply &reply);
/// Revision: every line (its "+CGMR:" removed) joined, without control characters and blanks.
QString parseCgmr(const Reply &reply);
/// Serial number: the first line longer than 6 (its "+CGSN:" and blanks removed).
QString parseCgsn(const Reply &reply);

/// The service centre (M_ServiceNo): the number starting at the first "+86" of the reply (at
/// most 14 characters, digits only after the "+"); a number in another form as the modem gave
/// it in quotes; "" when the reply holds none.
QString parseCscaWhole(const Reply &reply);
/// The service centre (RdCenNo): as parseCscaWhole, taken per line longer than 11 characters;
/// the last such line gives the result.
QString parseCscaLines(const Reply &reply);

/// The character set from "+CSCS: "IRA"" ("IRA"); "" when the reply names none.
QString parseCscsRead(const QString &reply);

/// The index range of "+CPBR: (1-250),40,14" as "1,250"; "" when no "+CPBR" line has one.
QString parseCpbrRange(const QString &reply);
/// The entries of a "+CPBR" listing in UCS2: name, character 2, number; joined by character 1.
/// The echo of the command is passed over.
QString parseCpbrEntries(const QString &reply);

} // namespace lonvera::control
