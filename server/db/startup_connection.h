// Opening the shared connection at start-up: the connection string from "set.ini" with "Dbq=.\"
// resolved, compaction of an Access-kind file first, hosted mode's string from syset of the
// default database, and the start-up error with its explanation line. Runs on the server's thread.
#pragma once

#include "server/db/connection_plan.h"
#include "server/db/database.h"

#include <QString>

namespace lonvera::db {

/// What start-up got: the plan (kind and Access path keep the "set.ini" string's values even in
/// hosted mode) and, on failure, the error's own text and the explanation line.
struct StartupConnection
{
    ConnectionPlan plan;
    OpenOutcome outcome;
    QString explanation; ///< explanationLine(outcome.error); empty when opened or unexplained
};

/// What the settings file held before the server wrote its defaults into it.
enum class SettingsFileState {
    Missing, ///< there was no file
    Empty,   ///< nothing but blanks and comments
    Present  ///< it holds settings
};

/// The state of a settings file, read before anything is written into it.
SettingsFileState settingsFileState(const QString &filePath);

/// The start-up error for an empty connection string: which file lacks what. Without it the
/// driver manager would answer "Data source name not found", naming neither.
QString missingConnectionText(const QString &settingsFile, SettingsFileState state);

/// Builds the string, compacts an Access-kind file, takes the hosted string when hosted is true,
/// and opens db. An empty string (outside hosted mode) is not opened: the outcome says what is
/// missing in settingsFile, as state tells.
StartupConnection openAtStartup(Database &db, const QString &configured,
                                const QString &programFolder, bool hosted,
                                const QString &settingsFile = {},
                                SettingsFileState state = SettingsFileState::Present);

/// Mvalue of the row 'database1' of syset in the default database of the program folder.
/// On failure the outcome says why and the text is empty.
QString readHostedConnectionString(const QString &programFolder, OpenOutcome *outcome = nullptr);

} // namespace lonvera::db
