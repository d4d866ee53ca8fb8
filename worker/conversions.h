// Argument coercion as the component runtime does it for calls that arrive by name: a number
// given as text becomes a number, a number given where text is wanted becomes text, and a value
// that cannot be converted is a "Type mismatch" for the caller, never a crash. Pure; any thread.
#pragma once

#include <QString>
#include <QVariant>

namespace lonvera::worker {

struct Coerced
{
    QVariant value;
    int error = 0; // 0, or the runtime error number (13 type mismatch, 6 overflow)
};

/// A 16-bit integer: integers, doubles rounded half to even, booleans (-1/0), numeric text.
/// An omitted argument (invalid variant) gives defaultValue.
Coerced toInt16(const QVariant &value, qint16 defaultValue = 0);

/// A boolean: booleans, numbers (non-zero is true), "True"/"False" or numeric text.
Coerced toBoolean(const QVariant &value, bool defaultValue = false);

/// Text: booleans as "True"/"False", numbers in their shortest form, text as it is.
QString toText(const QVariant &value, const QString &defaultValue = {});

} // namespace lonvera::worker
