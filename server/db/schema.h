// The gateway's tables per engine (the SQL files of schema/, built into the library) and their
// creation on an open database, including the default database "qx.qxocx". Runs on the thread
// that owns the Database.
#pragma once

#include "server/db/database.h"

#include <QString>
#include <QStringList>

namespace lonvera::db {

/// The schema script of a dialect (CREATE statements and the 16 default comset rows).
QString schemaScript(Dialect dialect);

/// Splits a script into statements: "--" comments dropped, a statement ends with ";" at the end
/// of a line (a trigger body at "END;"), or at a line "GO".
QStringList splitSqlScript(const QString &script);

/// Creates the missing tables and indexes, and the 16 comset rows when comset is empty.
bool createSchema(Database &db, QString *error = nullptr);

/// Brings the SendTime triggers of an SQLite database made by an older version up to date and
/// normalises the rows it queued meanwhile; other engines and current databases are left alone.
/// True when nothing was needed or the upgrade ran.
bool upgradeSendTimeTriggers(Database &db, QString *error = nullptr);

/// Creates the SQLite database file with the schema; an existing file only gets what it lacks.
bool createDefaultDatabase(const QString &filePath, QString *error = nullptr);

} // namespace lonvera::db
