// Test databases on every engine the gateway runs on: SQLite files, a fresh PostgreSQL database
// on the throwaway cluster named by LONVERA_TEST_PG_* (skipped only when those are unset), and
// SQLite through unixODBC with Debian's SQLite ODBC driver.
#pragma once

#include "server/db/database.h"

#include <QString>
#include <QTemporaryDir>

namespace lonvera::db::test {

enum class TestEngine { Sqlite, PostgreSql, OdbcSqlite };

QString engineName(TestEngine engine);

/// Connection string of a fresh database with the gateway's tables (and 16 comset rows) on the
/// engine; folder receives SQLite files. Empty, with reason set, when the engine is not at hand.
QString freshDatabase(TestEngine engine, const QTemporaryDir &folder, QString *reason);

/// Inserts an outbox row with the given send time (a local time) and port; returns its id.
qint64 insertOutbox(Database &db, const QString &mbno, const QDateTime &sendTime, int comPort = 0,
                    const QString &msg = QStringLiteral("test"));

} // namespace lonvera::db::test
