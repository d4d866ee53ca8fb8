// The gateway's connection string as built at start-up, and what it tells about the database: the
// database kind ("mdb" when it names the Access driver) and the Access file path that compaction
// works on. Pure text functions; any thread.
#pragma once

#include <QString>

namespace lonvera::db {

/// The connection string after start-up has rewritten it, with the facts read from it.
struct ConnectionPlan
{
    QString connectionString; ///< "Dbq=.\" already replaced by the program folder
    QString kind;             ///< "mdb" when the string names the Access driver, else empty
    QString accessPath;       ///< the Access file as written in the string (may be a Windows path)
};

/// The kind of database a connection string names: "mdb" when it contains "*.mdb", else empty.
QString databaseKind(const QString &connectionString);

/// The file path in a connection string: after "Dbq=" up to ";Uid", or, when the string has
/// "Source=", after it up to ";Jet". A missing end marker ends the path at the next ";".
QString accessPathOf(const QString &connectionString);

/// Builds the start-up plan from the configured string ([Ocxdb] database of "set.ini").
ConnectionPlan planConnection(const QString &configured, const QString &programFolder);

/// The string that opens the default database "qx.qxocx" in the program folder.
QString defaultConnectionString(const QString &programFolder);

/// A path as written in a connection string, as a path on this machine: drive letters go through
/// the machine prefix, backslashes become slashes.
QString localFilePath(const QString &pathInConnectionString);

} // namespace lonvera::db
