// The received-message record text handed to the host, the decoding of one listed PDU into
// it, and the reassembly of concatenated parts across listings.
// Pure apart from the LongParts state the caller owns; one thread per LongParts.
#pragma once

#include "pdu.h"

#include <QHash>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

namespace lonvera::pdu {

/// Joins records of the received-message text.
inline constexpr QChar RecordSeparator = QChar(1);
/// Separates the fields of one received-message record.
inline constexpr QChar FieldSeparator = QChar(2);

/// Outputs of decoding one PDU line; an empty text means the line gives no record.
struct ReceivedMessage
{
    QString sender;
    QString text;
    QString centre;
    QString time;
    bool hasRecord() const { return !text.isEmpty(); }
};

/// Parts of concatenated messages that wait for their siblings, keyed by sender and reference.
class LongParts
{
public:
    /// Stores a part; returns the joined text when it completes its message (whose parts are
    /// then forgotten).
    std::optional<QString> add(const QString &sender, const Concatenation &concatenation,
                               const QString &text);
    /// Number of messages still incomplete.
    int pendingMessages() const { return int(m_messages.size()); }
    void clear() { m_messages.clear(); }

private:
    struct Pending
    {
        int total = 0;
        QMap<int, QString> parts;
    };
    QHash<QString, Pending> m_messages;
};

/// One record: sender (first 18 characters), the whole text, time stamp; separator
/// characters inside the fields become blanks so they cannot break the record text.
QString messageRecord(const QString &sender, const QString &text, const QString &time);

/// Decodes one listed PDU line (hex, blanks ignored) into the record fields. now is the time
/// text used for stored outgoing messages. Bad input gives an empty result.
ReceivedMessage DecodePdu(QStringView line, LongParts &longParts, const QString &now);

/// Same, from a decoded PDU.
ReceivedMessage receivedMessage(const Pdu &pdu, LongParts &longParts, const QString &now);

} // namespace lonvera::pdu
