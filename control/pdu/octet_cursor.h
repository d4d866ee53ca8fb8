// A read cursor over PDU octets that checks bounds on every read.
// Pure value type; any thread.
#pragma once

#include <QByteArray>
#include <QString>

namespace lonvera::pdu {

/// Reads octets in order; the first read past the end records "PDU too short for the <what>"
/// and every later read returns zeros, so a decoder checks failed() once per field group.
class OctetCursor
{
public:
    explicit OctetCursor(QByteArrayView octets) : m_data(octets) {}

    /// One octet, or 0 after a failure.
    quint8 take(const char *what);
    /// n octets, or an empty view after a failure.
    QByteArrayView take(qsizetype n, const char *what);
    /// Everything that is left.
    QByteArrayView rest();

    qsizetype position() const { return m_pos; }
    qsizetype remaining() const { return m_data.size() - m_pos; }
    bool atEnd() const { return m_pos >= m_data.size(); }
    bool failed() const { return !m_error.isEmpty(); }
    const QString &error() const { return m_error; }
    /// Records a decoder's own reason (the first error wins).
    void fail(const QString &reason);

private:
    QByteArrayView m_data;
    qsizetype m_pos = 0;
    QString m_error;
};

} // namespace lonvera::pdu
