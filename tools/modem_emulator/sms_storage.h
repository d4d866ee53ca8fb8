// The message storage of one emulated modem (its SIM): numbered slots holding PDUs with their
// 3GPP TS 27.005 status. Plain data; lives on its emulator's thread.
#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>

#include <optional>

namespace lonvera::emulator {

struct StoredMessage
{
    int index = 0;
    int status = 0; // 0 REC UNREAD, 1 REC READ, 2 STO UNSENT, 3 STO SENT
    QByteArray pdu; // hex with its service-centre part, as listed
    int tpduLength() const;
};

class SmsStorage
{
public:
    explicit SmsStorage(int capacity = 30) : m_capacity(capacity) {}

    int capacity() const { return m_capacity; }
    void setCapacity(int capacity) { m_capacity = capacity; }
    int count() const { return int(m_slots.size()); }
    bool isValidIndex(int index) const { return index >= 1 && index <= m_capacity; }

    // Stores in the lowest free slot; the index, or -1 when the storage is full.
    int store(int status, const QByteArray &pdu);
    const StoredMessage *at(int index) const;
    // The messages of a +CMGL state (4 = all), in index order. Listing or reading a received
    // unread message marks it read, as 3GPP TS 27.005 3.4.2 has it.
    QList<StoredMessage> list(int state, bool markRead);
    // The message as it was before this read.
    std::optional<StoredMessage> read(int index, bool markRead);
    bool remove(int index);
    // 3GPP TS 27.005 3.5.4 <delflag>: 1 read, 2 read and sent, 3 read, sent and unsent, 4 all.
    void removeByFlag(int flag);
    void clear() { m_slots.clear(); }
    QList<StoredMessage> all() const { return m_slots.values(); }

private:
    int m_capacity;
    QMap<int, StoredMessage> m_slots;
};

} // namespace lonvera::emulator
