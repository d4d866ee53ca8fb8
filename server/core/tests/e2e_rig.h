// A whole gateway on one machine prefix for the end-to-end tests: emulated modems on
// pseudo-terminals (served from their own thread), a fresh database on SQLite or PostgreSQL, a
// program folder whose set.ini points at it, and a second connection to look at the tables.
// Test thread only.
#pragma once

#include "server/db/database.h"
#include "server/db/tests/test_databases.h"
#include "tools/modem_emulator/emulator.h"

#include <QHash>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace lonvera::server::test {

class E2eRig
{
public:
    E2eRig();
    ~E2eRig();

    /// Starts `modems` emulated modems and prepares the database and program folder; comset rows
    /// 1 … modems are in use. False, with reason, when the engine is not at hand.
    bool setUp(db::test::TestEngine engine, int modems, QString *reason,
               const emulator::ProfileSet &profiles = {});

    QString home() const { return m_dir.filePath(QStringLiteral("home")); }
    QString prefix() const { return m_dir.filePath(QStringLiteral("prefix")); }
    QString connectionString() const { return m_connection; }
    QString number(int com) const { return m_numbers.value(com - 1); }
    emulator::Emulator &emulator() { return m_emulator; }

    /// Queues `count` messages tagged "#first" … to the other modems (modem k's message goes to
    /// modem k+1's number); every `longEvery`-th is several parts long, every `reportEvery`-th
    /// asks for a status report. 0 disables either.
    bool queue(int first, int count, int longEvery = 0, int reportEvery = 0);
    /// A number of one statement, -1 when it cannot be read.
    qint64 scalar(const QString &sql);
    QStringList column(const QString &sql);
    bool exec(const QString &sql);
    /// Opens the check connection again (after the database server was restarted).
    bool reconnect();

    /// How often each tag's first part went out through any emulated modem.
    QHash<int, int> sentTags() const;
    /// The tag of a message text, -1 when it has none.
    static int tagOf(const QString &text);

    /// A server's run-log lines as a failed test shows them: every line but the routine "sent"
    /// and "received" ones, which would bury the few that tell what went wrong.
    static QString unusualLines(const QStringList &lines);

    /// Writes a set.ini line (after the defaults) before the server starts.
    void addSetting(const QString &section, const QString &key, const QString &value);

private:
    /// Prints the rows left in outbox and badoutbox (a failed test's evidence).
    void reportLeftRows();

    QTemporaryDir m_dir;
    QString m_connection;
    QStringList m_numbers;
    emulator::Emulator m_emulator;
    std::unique_ptr<db::Database> m_check;
};

} // namespace lonvera::server::test
