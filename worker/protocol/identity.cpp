// See identity.h.
#include "worker/protocol/identity.h"

#include <array>

namespace lonvera::worker::protocol {

namespace {

using enum ValueType;

constexpr std::array<ParamInfo, 2> kConnectParams{
    {{"WaitTime", Int16, 0}, {"AutoRevMsg", Boolean, 1}}};
constexpr std::array<ParamInfo, 1> kDialParams{{{"PhoneStr1", Text, 0}}};
constexpr std::array<ParamInfo, 1> kKeysParams{{{"key123", Text, 0}}};
constexpr std::array<ParamInfo, 6> kSendParams{{{"ppidd", Text, 0},
                                                {"msg1", Text, 0},
                                                {"mb1", Text, 0},
                                                {"rp1", Int16, 0},
                                                {"pV", Boolean, 0},
                                                {"waittm", Int16, 0}}};
constexpr std::array<ParamInfo, 18> kVoteParams{{
    {"mb", Text, 0},
    {"voteMax1", Int16, 0},
    {"T1", Int16, 0},
    {"key1", Text, 0},
    {"T2", Int16, 0},
    {"key2", Text, 0},
    {"T3", Int16, 0},
    {"key3", Text, 0},
    {"T4", Int16, 0},
    {"key4", Text, 0},
    {"T5", Int16, 0},
    {"key5", Text, 0},
    {"T6", Int16, 0},
    {"key6", Text, 0},
    {"T7", Int16, 0},
    {"key7", Text, 0},
    {"T8", Int16, 0},
    {"key8", Text, 0},
}};

constexpr MemberInfo property(Member id, const char *name, ValueType type)
{
    return {id, name, true, type, {}, 0};
}
constexpr MemberInfo method(Member id, const char *name, std::span<const ParamInfo> params,
                            int required)
{
    return {id, name, false, Text, params, required};
}

constexpr std::array<MemberInfo, kMemberCount> kMembers{{
    property(Member::spiidd, "spiidd", Text),
    property(Member::Comport, "Comport", Int16),
    property(Member::Settings, "Settings", Text),
    property(Member::Smsservice, "Smsservice", Text),
    method(Member::Connect, "Connect", kConnectParams, 1),
    method(Member::Dailphone, "Dailphone", kDialParams, 1),
    method(Member::DVts123, "DVts123", kKeysParams, 1),
    method(Member::SendsmsA, "SendsmsA", kSendParams, 3),
    method(Member::Dovote_task, "Dovote_task", kVoteParams, 2),
    method(Member::ReadMsg, "ReadMsg", {}, 0),
    method(Member::HandupCall, "HandupCall", {}, 0),
    method(Member::ClosePort, "ClosePort", {}, 0),
}};

constexpr bool inIdOrder()
{
    for (std::size_t i = 0; i < kMembers.size(); ++i) {
        if (static_cast<std::size_t>(kMembers[i].id) != i)
            return false;
    }
    return true;
}
static_assert(inIdOrder(), "the member table is indexed by Member");

constexpr std::array<EventInfo, 6> kEvents{{
    {Event::OnRevMsg, "OnRevMsg", 1},
    {Event::OnStatusChange, "OnStatusChange", 1},
    {Event::OnSendReport, "OnSendReport", 2},
    {Event::OnOtherReport, "OnOtherReport", 1},
    {Event::OnInCall, "OnInCall", 1},
    {Event::OnReceipt, "OnReceipt", 1},
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

const MemberInfo &member(Member id)
{
    return kMembers[static_cast<std::size_t>(id)];
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

const EventInfo &event(Event id)
{
    return *findEvent(static_cast<qint64>(id));
}

const EventInfo *findEvent(const QString &name)
{
    for (const EventInfo &e : kEvents) {
        if (name == QLatin1String(e.name))
            return &e;
    }
    return nullptr;
}

const EventInfo *findEvent(qint64 dispatchId)
{
    for (const EventInfo &e : kEvents) {
        if (dispatchId == e.dispatchId())
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
