// Compaction of the embedded database file at start-up: a backup to "D:\AA.mdb" that holds every
// committed row, a compacted copy made with SQLite's VACUUM INTO in the temporary folder, and an
// atomic replacement of the database file, all under an exclusive lock so no other program's
// write is lost; a database another program has open is left as it is. Every failure ends the
// operation silently and leaves the database file as it was. Runs on the start-up thread before
// the shared connection is opened.
#pragma once

#include <QString>

namespace lonvera::db {

/// Backs the database up (when backup is true) and compacts it in place. path is the file as
/// written in the connection string (a Windows path is mapped through the machine prefix).
void CompactAccessDatabase(QString &path, bool backup);

/// The temporary folder, ending with "/": the user's own <prefix>/drive_c/windows/temp, created
/// when missing; empty when it cannot be made.
QString TempDirectory();

/// Whether any process of this machine that we may inspect holds the file open (this one
/// included).
bool isFileOpenAnywhere(const QString &filePath);

} // namespace lonvera::db
