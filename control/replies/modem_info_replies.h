// Replies of the modem information commands ("at+cgmm", "at+cgmi", "at+cgmr", "at+cgsn",
// "at+csca?"), "at+cscs?" and the phonebook ("at+cpbr=?", "at+cpbr=a,b"), reduced to the texts the
// control returns. The reductions drop the command echo and result words by plain text removal,
// which is what hosts of this control have always been given.
// Pure functions; any thread.
#pragma once

#include <QString>

namespace lonvera::control {

/// Model: "at", "cgmm", "CGMM", "AT", "+", "OK" and blanks removed; the last line longer than 2.
QString parseCgmm(const QString &reply);
/// Manufacturer: "at", "cgmi", "CGMI", "AT", "+" and blanks removed; the first line longer than 3.
QString parseCgmi(const QString &reply);
/// Revision: "at", "cgmr", "CGMR", "AT", "+", "OK", blanks and line feeds removed; the rest
/// without control characters.
QString parseCgmr(const QString &reply);
/// Serial number: "at", "cgsn", "CGSN", "AT", "+" and blanks removed; the first line longer
/// than 6.
QString parseCgsn(const QString &reply);

/// The service centre (M_ServiceNo): the number starting at the first "+86" of the whole reply
/// (at most 14 characters, digits only after the "+"); a number in another form as the modem
/// gave it in quotes; "" when the reply holds none.
QString parseCscaWhole(const QString &reply);
/// The service centre (RdCenNo): as parseCscaWhole, taken per line longer than 11 characters;
/// the last such line gives the result.
QString parseCscaLines(const QString &reply);

/// The character set from "+CSCS: "IRA"" ("IRA"); "" when the reply names none.
QString parseCscsRead(const QString &reply);

/// The index range of "+CPBR: (1-250),40,14" as "1,250"; "" when no "+CPBR" line has one.
QString parseCpbrRange(const QString &reply);
/// The entries of a "+CPBR" listing in UCS2: name, character 2, number; joined by character 1.
/// The echo of the command is passed over.
QString parseCpbrEntries(const QString &reply);

} // namespace lonvera::control
