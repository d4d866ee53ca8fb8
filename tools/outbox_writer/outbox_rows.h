// What the outbox writer writes and reads: the connection string for a chosen database file, the
// number of rows asked for, and outbox rows written in one transaction, so that a failing insert
// leaves none of one request behind. Shared by the window and the command line. Runs on the
// thread that owns the Database.
#pragma once

#include "server/db/database.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace lonvera::outbox_writer {

/// The connection string that opens a database file the way the server opens its embedded
/// default: through the Access driver's string, user "Admin", empty password.
QString fileConnectionString(const QString &filePath);

/// A row count typed by a person: a whole number from 0, blanks around it allowed.
std::optional<int> parseRowCount(const QString &text);

/// Rows to write: `count` rows whose text is `text` followed by 1 … count, or, without a count,
/// one row of `text` as it stands.
struct OutboxRequest
{
    QString mbno;
    QString text;
    std::optional<int> count;
    QDateTime sendAt; ///< SendTime when valid; otherwise the table's default
    bool report = false;
};

/// The message texts of a request, in writing order.
QStringList rowTexts(const OutboxRequest &request);

struct WriteOutcome
{
    QList<qint64> ids; ///< ids of the rows written, in order; empty when nothing was written
    QString error;     ///< why nothing was written; empty on success
    bool ok() const { return error.isEmpty(); }
};

/// Writes the rows of a request in one transaction: all of them, or none.
WriteOutcome writeOutboxRows(db::Database &db, const OutboxRequest &request);

/// Empty when the open database has an outbox the writer can fill, otherwise why not.
QString outboxProblem(db::Database &db);

} // namespace lonvera::outbox_writer
