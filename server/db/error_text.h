// Reading the engines' error texts: drivers pass some faults on only as words in a message.
#pragma once

#include <QLatin1String>
#include <QString>

#include <initializer_list>

namespace lonvera::db {

/// True when text holds any of the needles, ignoring case.
inline bool containsAny(const QString &text, std::initializer_list<const char *> needles)
{
    for (const char *needle : needles) {
        if (text.contains(QLatin1String(needle), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

} // namespace lonvera::db
