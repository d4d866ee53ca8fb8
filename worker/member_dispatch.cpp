// See member_dispatch.h.
#include "worker/member_dispatch.h"

#include "worker/conversions.h"
#include "worker/protocol/identity.h"
#include "worker/qxsms.h"

namespace lonvera::worker {

namespace {

using protocol::CallKind;
using protocol::Member;
using protocol::ValueType;
namespace errors = protocol::errors;

CallOutcome failure(int number, const QString &detail = {})
{
    CallOutcome outcome;
    outcome.error = number;
    outcome.text = protocol::errorText(number);
    if (!detail.isEmpty())
        outcome.text += QStringLiteral(" (") + detail + QLatin1Char(')');
    return outcome;
}

// The value of one parameter, coerced to its type; omitted ones get the table's default.
Coerced coerce(const protocol::ParamInfo &param, const QVariant &value)
{
    switch (param.type) {
    case ValueType::Int16:
        return toInt16(value, static_cast<qint16>(param.defaultValue));
    case ValueType::Boolean:
        return toBoolean(value, param.defaultValue != 0);
    case ValueType::Text:
        return {toText(value), 0};
    }
    return {};
}

// The coerced arguments of a checked call, or the error of the first that fails.
struct Arguments
{
    QVariantList values;
    CallOutcome failure;

    qint16 int16(int i) const { return static_cast<qint16>(values.at(i).toInt()); }
    bool boolean(int i) const { return values.at(i).toBool(); }
    QString text(int i) const { return values.at(i).toString(); }
};

Arguments coerceArguments(const protocol::MemberInfo &member, const QVariantList &args)
{
    Arguments a;
    for (const protocol::ParamInfo &param : member.params) {
        const Coerced c = coerce(param, args.value(a.values.size()));
        if (c.error) {
            a.failure = failure(c.error, QString::fromLatin1(param.name));
            return a;
        }
        a.values.append(c.value);
    }
    return a;
}

CallOutcome getProperty(QXSms &worker, Member id)
{
    CallOutcome outcome;
    switch (id) {
    case Member::spiidd:
        outcome.value = worker.spiidd();
        break;
    case Member::Comport:
        outcome.value = QVariant::fromValue(worker.Comport());
        break;
    case Member::Settings:
        outcome.value = worker.Settings();
        break;
    case Member::Smsservice:
        outcome.value = worker.Smsservice();
        break;
    default:
        break;
    }
    return outcome;
}

CallOutcome putProperty(QXSms &worker, const protocol::MemberInfo &member, const QVariant &value)
{
    const QString name = QString::fromLatin1(member.name);
    const Coerced c = coerce({member.name, member.propertyType, 0}, value);
    if (c.error)
        return failure(c.error, name);
    switch (member.id) {
    case Member::spiidd:
        worker.setSpiidd(c.value.toString());
        break;
    case Member::Comport:
        worker.setComport(static_cast<qint16>(c.value.toInt()));
        break;
    case Member::Settings:
        if (!worker.setSettings(c.value.toString()))
            return failure(errors::kInvalidPropertyValue, name);
        break;
    case Member::Smsservice:
        worker.setSmsservice(c.value.toString());
        break;
    default:
        break;
    }
    return {};
}

CallOutcome runMethod(QXSms &worker, Member id, const Arguments &a)
{
    CallOutcome outcome;
    switch (id) {
    case Member::Connect:
        worker.Connect(a.int16(0), a.boolean(1));
        break;
    case Member::Dailphone:
        worker.Dailphone(a.text(0));
        break;
    case Member::DVts123:
        worker.DVts123(a.text(0));
        break;
    case Member::SendsmsA:
        outcome.value =
            worker.SendsmsA(a.text(0), a.text(1), a.text(2), a.int16(3), a.boolean(4), a.int16(5));
        break;
    case Member::Dovote_task: {
        std::array<qint16, 8> waits{};
        std::array<QString, 8> keys{};
        for (int i = 0; i < 8; ++i) {
            waits[static_cast<size_t>(i)] = a.int16(2 + 2 * i);
            keys[static_cast<size_t>(i)] = a.text(3 + 2 * i);
        }
        worker.Dovote_task(a.text(0), a.int16(1), waits, keys);
        break;
    }
    case Member::ReadMsg:
        worker.ReadMsg();
        break;
    case Member::HandupCall:
        worker.HandupCall();
        break;
    case Member::ClosePort:
        worker.ClosePort();
        break;
    default:
        break;
    }
    return outcome;
}

} // namespace

CallOutcome checkCall(const QString &name, CallKind kind, const QVariantList &args)
{
    const protocol::MemberInfo *member = protocol::findMember(name);
    if (!member)
        return failure(errors::kNoSuchMember, name);
    if (member->isProperty) {
        if (kind == CallKind::PropertyGet)
            return args.isEmpty() ? CallOutcome{} : failure(errors::kWrongArgumentCount, name);
        if (kind == CallKind::PropertyPut)
            return args.size() == 1 ? CallOutcome{} : failure(errors::kWrongArgumentCount, name);
        return failure(errors::kNoSuchMember, name);
    }
    if (kind != CallKind::Method)
        return failure(errors::kNoSuchMember, name);
    if (args.size() > member->maxArgs())
        return failure(errors::kWrongArgumentCount, name);
    for (int i = 0; i < member->requiredArgs; ++i) {
        if (i >= args.size() || !args[i].isValid())
            return failure(errors::kArgumentNotOptional, name);
    }
    return {};
}

CallOutcome invokeMember(QXSms &worker, const QString &name, CallKind kind,
                         const QVariantList &args)
{
    CallOutcome checked = checkCall(name, kind, args);
    if (checked.error)
        return checked;
    const protocol::MemberInfo &member = *protocol::findMember(name);
    if (kind == CallKind::PropertyGet)
        return getProperty(worker, member.id);
    if (kind == CallKind::PropertyPut)
        return putProperty(worker, member, args.first());
    const Arguments a = coerceArguments(member, args);
    if (a.failure.error)
        return a.failure;
    return runMethod(worker, member.id, a);
}

} // namespace lonvera::worker
