// Result of a decoding step: a value, or the reason it could not be produced.
// Pure value type; any thread.
#pragma once

#include <QString>

#include <optional>
#include <utility>

namespace lonvera::pdu {

/// A value or an error text such as "PDU too short for the time stamp".
template<typename T> class Result
{
public:
    Result(T value) : m_value(std::move(value)) {}
    /// A failed result carrying the reason.
    static Result failure(const QString &reason)
    {
        Result r;
        r.m_error = reason;
        return r;
    }

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }
    const T &value() const { return *m_value; }
    T &value() { return *m_value; }
    const T *operator->() const { return &*m_value; }
    const T &operator*() const { return *m_value; }
    /// Empty when ok().
    const QString &error() const { return m_error; }

private:
    Result() = default;
    std::optional<T> m_value;
    QString m_error;
};

} // namespace lonvera::pdu
