// Bounds-checked reading of PDU octets.
#include "octet_cursor.h"

namespace lonvera::pdu {

quint8 OctetCursor::take(const char *what)
{
    if (failed())
        return 0;
    if (m_pos >= m_data.size()) {
        fail(QStringLiteral("PDU too short for the %1").arg(QLatin1String(what)));
        return 0;
    }
    return quint8(m_data[m_pos++]);
}

QByteArrayView OctetCursor::take(qsizetype n, const char *what)
{
    if (failed())
        return {};
    if (n < 0 || n > remaining()) {
        fail(QStringLiteral("PDU too short for the %1").arg(QLatin1String(what)));
        return {};
    }
    const QByteArrayView out = m_data.sliced(m_pos, n);
    m_pos += n;
    return out;
}

QByteArrayView OctetCursor::rest()
{
    if (failed())
        return {};
    const QByteArrayView out = m_data.sliced(m_pos);
    m_pos = m_data.size();
    return out;
}

void OctetCursor::fail(const QString &reason)
{
    if (m_error.isEmpty())
        m_error = reason;
}

} // namespace lonvera::pdu
