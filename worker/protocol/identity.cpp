// See identity.h.
#include "worker/protocol/identity.h"

#include <array>

namespace lonvera::worker::protocol {

namespace {

constexpr std::array<MemberInfo, 12> kMembers{{
    {"spiidd", true, 0, 0},
    {"Comport", true, 0, 0},
    {"Settings", true, 0, 0},
    {"Smsservice", true, 0, 0},
    {"Connect", false, 1, 2},
    {"Dailphone", false, 1, 1},
    {"DVts123", false, 1, 1},
    {"SendsmsA", false, 3, 6},
    {"Dovote_task", false, 2, 18},
    {"ReadMsg", false, 0, 0},
    {"HandupCall", false, 0, 0},
    {"ClosePort", false, 0, 0},
}};

constexpr std::array<EventInfo, 6> kEvents{{
    {"OnRevMsg", 1, 1},
    {"OnStatusChange", 2, 1},
    {"OnSendReport", 4, 2},
    {"OnOtherReport", 3, 1},
    {"OnInCall", 5, 1},
    {"OnReceipt", 6, 1},
}};

QString bare(QString id)
{
    id = id.trimmed();
    if (id.startsWith(QLatin1Char('{')) && id.endsWith(QLatin1Char('}')))
        id = id.mid(1, id.size() - 2);
    return id;
}

} // namespace

std::span<const MemberInfo> members()
{
    return kMembers;
}

const MemberInfo *findMember(const QString &name)
{
    for (const MemberInfo &m : kMembers) {
        if (name == QLatin1String(m.name))
            return &m;
    }
    return nullptr;
}

std::span<const EventInfo> events()
{
    return kEvents;
}

const EventInfo *findEvent(const QString &name)
{
    for (const EventInfo &e : kEvents) {
        if (name == QLatin1String(e.name))
            return &e;
    }
    return nullptr;
}

bool isWorkerClass(const QString &text)
{
    if (text.trimmed().compare(QLatin1String(kProgId), Qt::CaseInsensitive) == 0)
        return true;
    return bare(text).compare(bare(QLatin1String(kClassId)), Qt::CaseInsensitive) == 0;
}

QString errorText(int number)
{
    switch (number) {
    case errors::kOverflow:
        return QStringLiteral("Overflow");
    case errors::kInvalidPropertyValue:
        return QStringLiteral("Invalid property value");
    case errors::kTypeMismatch:
        return QStringLiteral("Type mismatch");
    case errors::kObjectNotSet:
        return QStringLiteral("Object variable or With block variable not set");
    case errors::kCannotCreateObject:
        return QStringLiteral("ActiveX component can't create object");
    case errors::kAutomationError:
        return QStringLiteral("Automation error");
    case errors::kNoSuchMember:
        return QStringLiteral("Object doesn't support this property or method");
    case errors::kArgumentNotOptional:
        return QStringLiteral("Argument not optional");
    case errors::kWrongArgumentCount:
        return QStringLiteral("Wrong number of arguments or invalid property assignment");
    case errors::kServerUnavailable:
        return QStringLiteral("The remote server machine does not exist or is unavailable");
    default:
        return {};
    }
}

Message makeHello()
{
    Message m;
    m.type = MessageType::Hello;
    m.name = QLatin1String(kHelloMagic);
    m.code = kProtocolVersion;
    return m;
}

bool acceptHello(const Message &message, QString *reason)
{
    if (message.type != MessageType::Hello || message.name != QLatin1String(kHelloMagic)) {
        *reason = QStringLiteral("the first frame is not a worker-protocol greeting");
        return false;
    }
    if (message.code != kProtocolVersion) {
        *reason = QStringLiteral("protocol version %1 is not supported (this server speaks %2)")
                      .arg(message.code)
                      .arg(kProtocolVersion);
        return false;
    }
    return true;
}

Message makeWelcome(qint64 serverPid)
{
    Message m;
    m.type = MessageType::Welcome;
    m.code = kProtocolVersion;
    m.args = {serverPid};
    return m;
}

bool acceptWelcome(const Message &message, qint64 *serverPid, QString *reason)
{
    if (message.type == MessageType::Failure) {
        *reason = message.text;
        return false;
    }
    if (message.type != MessageType::Welcome || message.code != kProtocolVersion ||
        message.args.size() != 1) {
        *reason = QStringLiteral("the worker server answered the greeting with something else");
        return false;
    }
    *serverPid = message.args.first().toLongLong();
    return true;
}

} // namespace lonvera::worker::protocol
