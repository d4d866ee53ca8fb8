// See message.h.
#include "worker/protocol/message.h"

#include <QCborArray>
#include <QCborMap>
#include <QCborValue>
#include <QtEndian>

namespace lonvera::worker::protocol {

namespace {

// Integer keys keep frames small; the order is the order of the Message fields.
enum Key : int {
    KeyType = 0,
    KeyRequest = 1,
    KeyObject = 2,
    KeyName = 3,
    KeyCode = 4,
    KeyArgs = 5,
    KeyText = 6,
    KeyReport = 7 // [kind, model, port]
};

QCborValue toCbor(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return QCborValue(QCborValue::Null);
    switch (value.metaType().id()) {
    case QMetaType::Bool:
        return QCborValue(value.toBool());
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return QCborValue(value.toLongLong());
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return QCborValue(static_cast<qint64>(value.toULongLong()));
    case QMetaType::Float:
    case QMetaType::Double:
        return QCborValue(value.toDouble());
    case QMetaType::QByteArray:
        return QCborValue(value.toByteArray());
    default:
        return QCborValue(value.toString());
    }
}

bool fromCbor(const QCborValue &value, QVariant *out)
{
    switch (value.type()) {
    case QCborValue::Null:
    case QCborValue::Undefined:
        *out = QVariant();
        return true;
    case QCborValue::False:
    case QCborValue::True:
        *out = value.toBool();
        return true;
    case QCborValue::Integer:
        *out = value.toInteger();
        return true;
    case QCborValue::Double:
        *out = value.toDouble();
        return true;
    case QCborValue::String:
        *out = value.toString();
        return true;
    case QCborValue::ByteArray:
        *out = value.toByteArray();
        return true;
    default:
        return false;
    }
}

QCborArray reportToCbor(const StatusReport &report)
{
    return {static_cast<int>(report.kind), report.model, report.port};
}

bool reportFromCbor(const QCborValue &value, StatusReport *report)
{
    const QCborArray a = value.toArray();
    if (!value.isArray() || a.size() != 3 || !a[0].isInteger() || !a[1].isString() ||
        !a[2].isInteger())
        return false;
    const qint64 kind = a[0].toInteger();
    const qint64 port = a[2].toInteger();
    if (kind < 0 || kind > kLastReportKind || port < 0 || port > 0xFFFF)
        return false;
    report->kind = static_cast<ReportKind>(kind);
    report->model = a[1].toString();
    report->port = static_cast<int>(port);
    return true;
}

bool isKnownType(qint64 type)
{
    return type >= static_cast<int>(MessageType::Hello) &&
           type <= static_cast<int>(MessageType::Bye);
}

} // namespace

QByteArray encodeFrame(const Message &message)
{
    QCborMap map;
    map.insert(KeyType, static_cast<int>(message.type));
    if (message.requestId)
        map.insert(KeyRequest, message.requestId);
    if (message.objectId)
        map.insert(KeyObject, message.objectId);
    if (!message.name.isEmpty())
        map.insert(KeyName, message.name);
    if (message.code)
        map.insert(KeyCode, message.code);
    if (!message.args.isEmpty()) {
        QCborArray args;
        for (const QVariant &arg : message.args)
            args.append(toCbor(arg));
        map.insert(KeyArgs, args);
    }
    if (!message.text.isEmpty())
        map.insert(KeyText, message.text);
    if (message.report)
        map.insert(KeyReport, reportToCbor(*message.report));

    const QByteArray payload = map.toCborValue().toCbor();
    QByteArray frame(4, Qt::Uninitialized);
    qToBigEndian<quint32>(static_cast<quint32>(payload.size()), frame.data());
    frame += payload;
    return frame;
}

bool decodePayload(const QByteArray &payload, Message *message, QString *error)
{
    QCborParserError parseError;
    const QCborValue root = QCborValue::fromCbor(payload, &parseError);
    if (parseError.error != QCborError::NoError) {
        *error = QStringLiteral("frame is not valid CBOR: %1").arg(parseError.errorString());
        return false;
    }
    if (parseError.offset != payload.size()) {
        *error = QStringLiteral("frame has bytes after its message");
        return false;
    }
    if (!root.isMap()) {
        *error = QStringLiteral("frame is not a map");
        return false;
    }
    const QCborMap map = root.toMap();
    Message m;
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        if (!it.key().isInteger()) {
            *error = QStringLiteral("frame has a key that is not a number");
            return false;
        }
        const QCborValue value = it.value();
        const qint64 key = it.key().toInteger();
        switch (key) {
        case KeyType:
        case KeyRequest:
        case KeyObject:
        case KeyCode:
            if (!value.isInteger()) {
                *error = QStringLiteral("field %1 is not an integer").arg(key);
                return false;
            }
            if (key == KeyType) {
                if (!isKnownType(value.toInteger())) {
                    *error = QStringLiteral("unknown message type %1").arg(value.toInteger());
                    return false;
                }
                m.type = static_cast<MessageType>(value.toInteger());
            } else if (key == KeyRequest) {
                m.requestId = value.toInteger();
            } else if (key == KeyObject) {
                m.objectId = value.toInteger();
            } else {
                m.code = value.toInteger();
            }
            break;
        case KeyName:
        case KeyText:
            if (!value.isString()) {
                *error = QStringLiteral("field %1 is not a text").arg(key);
                return false;
            }
            (key == KeyName ? m.name : m.text) = value.toString();
            break;
        case KeyArgs: {
            if (!value.isArray()) {
                *error = QStringLiteral("arguments are not an array");
                return false;
            }
            const QCborArray args = value.toArray();
            if (args.size() > kMaxArguments) {
                *error = QStringLiteral("too many arguments (%1)").arg(args.size());
                return false;
            }
            for (const auto &arg : args) {
                QVariant v;
                if (!fromCbor(arg, &v)) {
                    *error = QStringLiteral("an argument is not a simple value");
                    return false;
                }
                m.args.append(v);
            }
            break;
        }
        case KeyReport:
            if (!reportFromCbor(value, &m.report.emplace())) {
                *error = QStringLiteral("the report kind is malformed");
                return false;
            }
            break;
        default:
            *error = QStringLiteral("unknown field %1").arg(key);
            return false;
        }
    }
    if (!map.contains(qint64(KeyType))) {
        *error = QStringLiteral("frame has no message type");
        return false;
    }
    *message = std::move(m);
    return true;
}

void FrameDecoder::append(const QByteArray &bytes)
{
    if (!m_error.isEmpty())
        return;
    // Drop what was consumed before growing, so a long-lived connection does not keep old bytes.
    if (m_offset > 0 && m_offset == m_buffer.size()) {
        m_buffer.clear();
        m_offset = 0;
    } else if (m_offset > 64 * 1024) {
        m_buffer.remove(0, m_offset);
        m_offset = 0;
    }
    m_buffer.append(bytes);
}

FrameDecoder::Status FrameDecoder::next(Message *message)
{
    if (!m_error.isEmpty())
        return Status::Failed;
    const qsizetype available = m_buffer.size() - m_offset;
    if (available < 4)
        return Status::NeedMore;
    const quint32 length = qFromBigEndian<quint32>(m_buffer.constData() + m_offset);
    if (length > kMaxFrameBytes)
        return fail(QStringLiteral("frame of %1 bytes is larger than allowed").arg(length));
    if (available - 4 < static_cast<qsizetype>(length))
        return Status::NeedMore;
    const QByteArray payload = m_buffer.mid(m_offset + 4, length);
    m_offset += 4 + length;
    QString reason;
    if (!decodePayload(payload, message, &reason))
        return fail(reason);
    return Status::Ready;
}

FrameDecoder::Status FrameDecoder::fail(const QString &reason)
{
    m_error = reason;
    m_buffer.clear();
    m_offset = 0;
    return Status::Failed;
}

} // namespace lonvera::worker::protocol
