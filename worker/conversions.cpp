// See conversions.h.
#include "worker/conversions.h"

#include "worker/protocol/identity.h"

#include <QLocale>

#include <cmath>

namespace lonvera::worker {

namespace {

constexpr int kOverflow = 6;

bool isTextual(const QVariant &value)
{
    const int id = value.metaType().id();
    return id == QMetaType::QString || id == QMetaType::QByteArray;
}

// The runtime reads numeric text in the invariant format and accepts blanks around it.
bool parseNumber(const QString &text, double *number)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return false;
    bool ok = false;
    *number = QLocale::c().toDouble(trimmed, &ok);
    return ok && std::isfinite(*number);
}

} // namespace

Coerced toInt16(const QVariant &value, qint16 defaultValue)
{
    if (!value.isValid() || value.isNull())
        return {QVariant::fromValue(defaultValue), 0};
    double number = 0;
    if (value.metaType().id() == QMetaType::Bool) {
        number = value.toBool() ? -1 : 0;
    } else if (isTextual(value)) {
        if (!parseNumber(value.toString(), &number))
            return {{}, protocol::errors::kTypeMismatch};
    } else {
        bool ok = false;
        number = value.toDouble(&ok);
        if (!ok || !std::isfinite(number))
            return {{}, protocol::errors::kTypeMismatch};
    }
    // Round half to even, as the runtime's integer conversion does.
    const double rounded = std::nearbyint(number);
    if (rounded < -32768.0 || rounded > 32767.0)
        return {{}, kOverflow};
    return {QVariant::fromValue(static_cast<qint16>(rounded)), 0};
}

Coerced toBoolean(const QVariant &value, bool defaultValue)
{
    if (!value.isValid() || value.isNull())
        return {defaultValue, 0};
    if (value.metaType().id() == QMetaType::Bool)
        return {value.toBool(), 0};
    if (isTextual(value)) {
        const QString text = value.toString().trimmed();
        if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
            return {true, 0};
        if (text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
            return {false, 0};
        double number = 0;
        if (!parseNumber(text, &number))
            return {{}, protocol::errors::kTypeMismatch};
        return {number != 0, 0};
    }
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (!ok)
        return {{}, protocol::errors::kTypeMismatch};
    return {number != 0, 0};
}

QString toText(const QVariant &value, const QString &defaultValue)
{
    if (!value.isValid() || value.isNull())
        return defaultValue;
    if (value.metaType().id() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    if (value.metaType().id() == QMetaType::Double)
        return QString::number(value.toDouble(), 'g', 15);
    return value.toString();
}

} // namespace lonvera::worker
