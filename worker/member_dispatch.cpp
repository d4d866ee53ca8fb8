// See member_dispatch.h.
#include "worker/member_dispatch.h"

#include "worker/conversions.h"
#include "worker/protocol/identity.h"
#include "worker/qxsms.h"

namespace lonvera::worker {

namespace {

using protocol::CallKind;
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

// Collects the coerced arguments of one call; the first failing one decides the error.
class Arguments
{
public:
    explicit Arguments(const QVariantList &args) : m_args(args) {}

    qint16 int16(int index, qint16 defaultValue, const char *name)
    {
        const Coerced c = toInt16(m_args.value(index), defaultValue);
        note(c.error, name);
        return c.error ? 0 : static_cast<qint16>(c.value.toInt());
    }
    bool boolean(int index, bool defaultValue, const char *name)
    {
        const Coerced c = toBoolean(m_args.value(index), defaultValue);
        note(c.error, name);
        return c.error ? false : c.value.toBool();
    }
    QString text(int index) const { return toText(m_args.value(index)); }

    int error() const { return m_error; }
    QString failedName() const { return m_failedName; }

private:
    void note(int error, const char *name)
    {
        if (error && !m_error) {
            m_error = error;
            m_failedName = QString::fromLatin1(name);
        }
    }

    const QVariantList &m_args;
    int m_error = 0;
    QString m_failedName;
};

CallOutcome getProperty(QXSms &worker, const QString &name)
{
    CallOutcome outcome;
    if (name == QLatin1String("spiidd"))
        outcome.value = worker.spiidd();
    else if (name == QLatin1String("Comport"))
        outcome.value = QVariant::fromValue(worker.Comport());
    else if (name == QLatin1String("Settings"))
        outcome.value = worker.Settings();
    else if (name == QLatin1String("Smsservice"))
        outcome.value = worker.Smsservice();
    return outcome;
}

CallOutcome putProperty(QXSms &worker, const QString &name, const QVariant &value)
{
    if (name == QLatin1String("spiidd")) {
        worker.setSpiidd(toText(value));
    } else if (name == QLatin1String("Comport")) {
        const Coerced port = toInt16(value);
        if (port.error)
            return failure(port.error, name);
        worker.setComport(static_cast<qint16>(port.value.toInt()));
    } else if (name == QLatin1String("Settings")) {
        if (!worker.setSettings(toText(value)))
            return failure(errors::kInvalidPropertyValue, name);
    } else if (name == QLatin1String("Smsservice")) {
        worker.setSmsservice(toText(value));
    }
    return {};
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
    if (args.size() > member->maxArgs)
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
    if (kind == CallKind::PropertyGet)
        return getProperty(worker, name);
    if (kind == CallKind::PropertyPut)
        return putProperty(worker, name, args.first());

    Arguments a(args);
    CallOutcome outcome;
    if (name == QLatin1String("Connect")) {
        const qint16 waitTime = a.int16(0, 0, "WaitTime");
        const bool autoRevMsg = a.boolean(1, true, "AutoRevMsg");
        if (!a.error())
            worker.Connect(waitTime, autoRevMsg);
    } else if (name == QLatin1String("Dailphone")) {
        worker.Dailphone(a.text(0));
    } else if (name == QLatin1String("DVts123")) {
        worker.DVts123(a.text(0));
    } else if (name == QLatin1String("SendsmsA")) {
        const qint16 rp1 = a.int16(3, 0, "rp1");
        const bool pV = a.boolean(4, false, "pV");
        const qint16 waittm = a.int16(5, 0, "waittm");
        if (!a.error())
            outcome.value = worker.SendsmsA(a.text(0), a.text(1), a.text(2), rp1, pV, waittm);
    } else if (name == QLatin1String("Dovote_task")) {
        const qint16 rounds = a.int16(1, 0, "voteMax1");
        std::array<qint16, 8> waits{};
        std::array<QString, 8> keys{};
        static const char *const waitNames[8] = {"T1", "T2", "T3", "T4", "T5", "T6", "T7", "T8"};
        for (int i = 0; i < 8; ++i) {
            waits[static_cast<size_t>(i)] = a.int16(2 + 2 * i, 0, waitNames[i]);
            keys[static_cast<size_t>(i)] = a.text(3 + 2 * i);
        }
        if (!a.error())
            worker.Dovote_task(a.text(0), rounds, waits, keys);
    } else if (name == QLatin1String("ReadMsg")) {
        worker.ReadMsg();
    } else if (name == QLatin1String("HandupCall")) {
        worker.HandupCall();
    } else if (name == QLatin1String("ClosePort")) {
        worker.ClosePort();
    }
    if (a.error())
        return failure(a.error(), a.failedName());
    return outcome;
}

} // namespace lonvera::worker
