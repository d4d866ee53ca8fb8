// The messages exchanged between the worker client (in the server program) and the worker server
// process, and their framing on the local socket: a 4-byte big-endian payload length followed by
// one CBOR map. Pure code: no sockets, no event loop; any thread.
//
// Every frame is checked before it is trusted: a length above kMaxFrameBytes, a payload that is
// not a CBOR map, an unknown message type or a field of the wrong type is an error, and the
// receiving side closes the connection on it.
#pragma once

#include "worker/protocol/reports.h"

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include <optional>

namespace lonvera::worker::protocol {

/// The largest payload a frame may carry; stored-message listings stay far below it.
inline constexpr quint32 kMaxFrameBytes = 4u * 1024u * 1024u;
/// The most arguments a call may carry (the widest member takes 18).
inline constexpr int kMaxArguments = 64;

enum class MessageType : int {
    Hello = 1,    // client -> server: name = magic, code = protocol version
    Welcome = 2,  // server -> client: code = protocol version, args = [server pid]
    Create = 3,   // requestId, name = class id or ProgID
    Created = 4,  // requestId, objectId
    Call = 5,     // requestId, objectId, name = member, code = CallKind, args
    Result = 6,   // requestId, args = [value] (empty for none)
    Failure = 7,  // requestId, code = error number, text = description
    Release = 8,  // requestId, objectId
    Released = 9, // requestId
    Event = 10,   // objectId, name = event, code = dispatch id, args; report for OnOtherReport
    Quit = 11,    // client -> server: release everything and end the process
    Bye = 12,     // server -> client: the process is ending; no further answers
};

/// How a member is invoked; the numbers are the component model's invoke flags.
enum class CallKind : int { Method = 1, PropertyGet = 2, PropertyPut = 4 };

struct Message
{
    MessageType type = MessageType::Hello;
    qint64 requestId = 0;
    qint64 objectId = 0;
    QString name;
    qint64 code = 0;
    QVariantList args;
    QString text;
    /// The kind of a status report, beside its text in args.
    std::optional<StatusReport> report;
};

/// The frame for a message: length prefix and CBOR payload. Argument values are carried as
/// null (an omitted optional argument), booleans, integers, doubles, texts and byte arrays; any
/// other variant travels as its text.
QByteArray encodeFrame(const Message &message);

/// Reads frames out of a byte stream that arrives in arbitrary pieces.
class FrameDecoder
{
public:
    enum class Status { NeedMore, Ready, Failed };

    /// Adds received bytes.
    void append(const QByteArray &bytes);

    /// Takes the next complete message. After Failed the stream is unusable (error() says why).
    Status next(Message *message);

    QString error() const { return m_error; }
    qsizetype buffered() const { return m_buffer.size() - m_offset; }

private:
    Status fail(const QString &reason);

    QByteArray m_buffer;
    qsizetype m_offset = 0;
    QString m_error;
};

/// Decodes one payload (without its length prefix); false with a reason when it is not a
/// well-formed message.
bool decodePayload(const QByteArray &payload, Message *message, QString *error);

} // namespace lonvera::worker::protocol
