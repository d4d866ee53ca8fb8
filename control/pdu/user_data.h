// Data coding scheme, user-data header and user data (3GPP TS 23.038 4, TS 23.040 9.2.3.24).
// Pure functions; any thread.
#pragma once

#include "octet_cursor.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace lonvera::pdu {

enum class Alphabet { Gsm7, EightBit, Ucs2 };

/// The alphabet of a data coding scheme by its coding group (3GPP TS 23.038 4): general data
/// coding with or without a message class, message waiting groups, data coding/class group.
Alphabet alphabetOf(quint8 dcs);
/// Short name for listings: "7bit", "8bit", "ucs2".
QString alphabetName(Alphabet alphabet);

/// A concatenation element (3GPP TS 23.040 9.2.3.24.1 and .8).
struct Concatenation
{
    int reference = 0; ///< 0..255, or 0..65535 for the 16-bit form
    int total = 0;
    int sequence = 0;
    bool sixteenBit = false;
    bool operator==(const Concatenation &) const = default;
};

/// User data of a TPDU. raw and length are what travels (so a SUBMIT's user data can be copied
/// into a DELIVER unchanged); the other members are decoded from them.
struct UserData
{
    int length = 0;    ///< TP-UDL: septets for 7-bit, else octets; header included
    QByteArray raw;    ///< the octets after TP-UDL, header included
    QByteArray header; ///< the header elements without the UDHL octet; empty when none
    std::optional<Concatenation> concatenation;
    QByteArray payload; ///< 7-bit: septet values after the header; else octets after it
    QString text;       ///< 7-bit and UCS2: the text; 8-bit: the payload as hex
};

/// Reads TP-UDL and the user data; hasHeader is the TP-UDHI bit of the first octet.
UserData readUserData(OctetCursor &cursor, quint8 dcs, bool hasHeader);
/// Writes TP-UDL and raw.
void writeUserData(QByteArray &out, const UserData &userData);

/// Header elements (without UDHL) for a concatenation element; 8-bit or 16-bit reference.
QByteArray concatenationHeader(const Concatenation &concatenation);

/// User data for a text in the given alphabet (8-bit: the text's Latin-1 octets), with an
/// optional header; the 7-bit septets start after the fill bits that align the header.
UserData makeUserData(QStringView text, Alphabet alphabet, const QByteArray &header = {});
/// Same as makeUserData; the user data's text shares the given string.
UserData makeTextUserData(const QString &text, Alphabet alphabet, const QByteArray &header = {});
/// User data of given septet values (7-bit) or octets (8-bit/UCS2) and an optional header.
UserData makeRawUserData(QByteArrayView payload, Alphabet alphabet, const QByteArray &header = {});

} // namespace lonvera::pdu
