// The reply to a storage listing ("+CMGL" lines followed by PDUs) turned into records of the
// received messages; stored outgoing messages are passed over.
// Pure apart from the LongParts state the caller owns; one thread per LongParts.
#pragma once

#include "control/pdu/received_record.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace lonvera::control {

struct Listing
{
    QStringList records;        ///< in the order of the listing
    int maxIndex = -1;          ///< highest message index seen, starting from the given value
    QList<int> receivedIndexes; ///< indexes of the received messages listed (not stored outgoing)

    /// Records joined by RecordSeparator.
    QString recordText() const { return records.join(pdu::RecordSeparator); }
};

/// Parses a listing reply. simCapacity stands in for an index that is not a positive number;
/// maxIndex is the highest index known before; now is the time text for stored outgoing
/// messages.
Listing parseListing(QStringView reply, pdu::LongParts &longParts, int simCapacity, int maxIndex,
                     const QString &now);

} // namespace lonvera::control
