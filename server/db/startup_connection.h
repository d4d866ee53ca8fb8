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

/// Builds the string, compacts an Access-kind file, takes the hosted string when hosted is true,
/// and opens db.
StartupConnection openAtStartup(Database &db, const QString &configured,
                                const QString &programFolder, bool hosted);

/// Mvalue of the row 'database1' of syset in the default database of the program folder.
/// On failure the outcome says why and the text is empty.
QString readHostedConnectionString(const QString &programFolder, OpenOutcome *outcome = nullptr);

} // namespace lonvera::db
