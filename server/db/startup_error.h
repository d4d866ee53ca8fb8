// The three start-up failures the operator gets an explanation line for (wrong login, wrong server
// name, missing database file), recognised from the errors of every engine. Pure; any thread.
#pragma once

#include "server/db/connection_target.h"

#include <QSqlError>
#include <QString>

namespace lonvera::db {

/// Why the database connection could not be opened, as far as the operator can mend it.
enum class StartupError { None, WrongLogin, WrongServer, MissingDatabase, Other };

/// Classifies a driver's error from opening a connection to the given engine.
StartupError classifyOpenError(Engine engine, const QSqlError &error);

/// The explanation line shown under the error's own text; empty for None and Other.
QString explanationLine(StartupError error);

} // namespace lonvera::db
