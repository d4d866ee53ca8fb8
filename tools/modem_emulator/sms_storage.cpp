// Message storage of an emulated modem.
#include "sms_storage.h"

namespace lonvera::emulator {

int StoredMessage::tpduLength() const
{
    // The service-centre part counts its own octets in its first octet (3GPP TS 24.011 8.2.5.1).
    const int octets = int(pdu.size() / 2);
    const int centre = octets > 0 ? QByteArray::fromHex(pdu.left(2)).at(0) & 0xFF : 0;
    return qMax(0, octets - 1 - centre);
}

int SmsStorage::store(int status, const QByteArray &pdu)
{
    for (int i = 1; i <= m_capacity; ++i) {
        if (!m_slots.contains(i)) {
            m_slots.insert(i, StoredMessage{i, status, pdu});
            return i;
        }
    }
    return -1;
}

const StoredMessage *SmsStorage::at(int index) const
{
    const auto it = m_slots.constFind(index);
    return it == m_slots.cend() ? nullptr : &it.value();
}

QList<StoredMessage> SmsStorage::list(int state, bool markRead)
{
    QList<StoredMessage> out;
    for (auto it = m_slots.begin(); it != m_slots.end(); ++it) {
        if (state != 4 && it->status != state)
            continue;
        out.append(*it);
        if (markRead && it->status == 0)
            it->status = 1;
    }
    return out;
}

std::optional<StoredMessage> SmsStorage::read(int index, bool markRead)
{
    const auto it = m_slots.find(index);
    if (it == m_slots.end())
        return std::nullopt;
    const StoredMessage before = it.value();
    if (markRead && it->status == 0)
        it->status = 1;
    return before;
}

bool SmsStorage::remove(int index)
{
    return m_slots.remove(index) > 0;
}

void SmsStorage::removeByFlag(int flag)
{
    for (auto it = m_slots.begin(); it != m_slots.end();) {
        const int s = it->status;
        const bool gone = flag >= 4 || (s == 1) || (flag >= 2 && s == 3) || (flag >= 3 && s == 2);
        it = gone ? m_slots.erase(it) : std::next(it);
    }
}

} // namespace lonvera::emulator
