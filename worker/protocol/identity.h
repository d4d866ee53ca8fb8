// The worker's automation identity: the type library, class and interface identifiers, the
// members of the default interface in interface order, the events with their dispatch ids, and
// the error numbers a caller can meet. Shared by the worker server and its client; pure data.
#pragma once

#include "worker/protocol/message.h"

#include <QString>

#include <span>

namespace lonvera::worker::protocol {

inline constexpr char kTypeLibrary[] = "QXGate";
inline constexpr char kClassName[] = "QXSms";
inline constexpr char kProgId[] = "QXGate.QXSms";
inline constexpr char kClassId[] = "{47E6C1F2-D9ED-481C-A3E0-E0AC10CF47CF}";
inline constexpr char kDefaultInterfaceName[] = "_QXSms";
inline constexpr char kDefaultInterfaceId[] = "{FD73F055-F562-4BE0-B35B-DA9003150FC1}";
inline constexpr char kEventInterfaceName[] = "__QXSms";
inline constexpr char kEventInterfaceId[] = "{2EE80344-86A6-4A22-82EF-AD280037CDCE}";
/// The worker server's project title (the name its window had).
inline constexpr char kServerTitle[] = "QXDAIL";

/// The members of `_QXSms` in interface order. The worker's dispatch and the client proxy take
/// their names, kinds and parameters from the one table behind members().
enum class Member : int {
    spiidd,
    Comport,
    Settings,
    Smsservice,
    Connect,
    Dailphone,
    DVts123,
    SendsmsA,
    Dovote_task,
    ReadMsg,
    HandupCall,
    ClosePort,
};
inline constexpr int kMemberCount = 12;

/// How an argument or property value is coerced before the worker sees it.
enum class ValueType { Int16, Boolean, Text };

struct ParamInfo
{
    const char *name;
    ValueType type;
    int defaultValue; // Int16 and Boolean (0 or 1) when omitted; Text defaults to ""
};

struct MemberInfo
{
    Member id;
    const char *name;
    bool isProperty;                   // get and put; otherwise a method
    ValueType propertyType;            // for properties
    std::span<const ParamInfo> params; // for methods, in order
    int requiredArgs;                  // for methods: the leading params that may not be omitted

    int maxArgs() const { return static_cast<int>(params.size()); }
};

/// The members of `_QXSms` in interface order; members()[int(id)].id == id.
std::span<const MemberInfo> members();
const MemberInfo &member(Member id);
/// The member of that name (exact case), or nullptr.
const MemberInfo *findMember(const QString &name);

/// The events of `__QXSms`, numbered by their dispatch ids.
enum class Event : int {
    OnRevMsg = 1,
    OnStatusChange = 2,
    OnOtherReport = 3,
    OnSendReport = 4,
    OnInCall = 5,
    OnReceipt = 6,
};

struct EventInfo
{
    Event id;
    const char *name;
    int argCount;

    int dispatchId() const { return static_cast<int>(id); }
};

/// The events of `__QXSms` in interface order (dispatch ids 1, 2, 4, 3, 5, 6).
std::span<const EventInfo> events();
const EventInfo &event(Event id);
const EventInfo *findEvent(const QString &name);
/// The event of a dispatch id, or nullptr.
const EventInfo *findEvent(qint64 dispatchId);

/// True when text names the worker class, by class id (braces and case optional) or ProgID.
bool isWorkerClass(const QString &text);

/// Error numbers as the component runtime numbers them.
namespace errors {
inline constexpr int kOverflow = 6;
inline constexpr int kTypeMismatch = 13;
inline constexpr int kObjectNotSet = 91;
inline constexpr int kCannotCreateObject = 429;
inline constexpr int kAutomationError = 440;
inline constexpr int kInvalidPropertyValue = 380;
inline constexpr int kNoSuchMember = 438;
inline constexpr int kArgumentNotOptional = 449;
inline constexpr int kWrongArgumentCount = 450;
inline constexpr int kServerUnavailable = 462;
} // namespace errors

/// The runtime's text for an error number ("" for unknown numbers).
QString errorText(int number);

/// The protocol version both sides must speak, and the greeting word of the handshake.
inline constexpr int kProtocolVersion = 2;
inline constexpr char kHelloMagic[] = "QXGate/worker";

/// The client's first frame.
Message makeHello();
/// The server's check of the first frame: true, or false with the reason for the refusal.
bool acceptHello(const Message &message, QString *reason);
/// The server's answer to an accepted hello.
Message makeWelcome(qint64 serverPid);
/// The client's check of the answer: true with the server's process id, or false with a reason.
bool acceptWelcome(const Message &message, qint64 *serverPid, QString *reason);

} // namespace lonvera::worker::protocol
