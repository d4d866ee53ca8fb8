// Outbox rows. See outbox_rows.h.
#include "tools/outbox_writer/outbox_rows.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

namespace lonvera::outbox_writer {

namespace {

// Whether the insert itself hands back the new id. SQL Server's OUTPUT always does; RETURNING
// does through the native drivers, but the SQLite ODBC driver drops its row.
bool insertReturnsId(db::Database &db)
{
    return db.dialect() == db::Dialect::TSql ||
           db.connection().driverName() != QLatin1String("QODBC");
}

// The id of the row this connection inserted last, for inserts that do not hand it back.
QString lastIdStatement(db::Dialect dialect)
{
    return dialect == db::Dialect::PostgreSql ? QStringLiteral("select lastval()")
                                              : QStringLiteral("select last_insert_rowid()");
}

// One insert per row, in the connected engine's own words.
QString insertStatement(db::Dialect dialect, const OutboxRequest &request, bool returningId)
{
    QStringList columns{QStringLiteral("mbno"), QStringLiteral("msg")};
    QStringList values{QStringLiteral("?"), QStringLiteral("?")};
    if (request.sendAt.isValid()) {
        columns << QStringLiteral("SendTime");
        values << db::timeParameter(dialect);
    }
    if (request.report) {
        columns << QStringLiteral("report");
        values << QStringLiteral("?");
    }
    const QString into = QStringLiteral("insert into outbox (%1)").arg(columns.join(u','));
    const QString valueList = QStringLiteral(" values (%1)").arg(values.join(u','));
    if (!returningId)
        return into + valueList;
    if (dialect == db::Dialect::TSql)
        return into + QStringLiteral(" output inserted.id") + valueList;
    return into + valueList + QStringLiteral(" returning id");
}

// The id of the row the insert just wrote, 0 when the database gives none.
qint64 newId(db::Database &db, QSqlQuery &insert, bool returnedId)
{
    if (returnedId)
        return insert.next() ? insert.value(0).toLongLong() : 0;
    QSqlQuery last(db.connection());
    if (!last.exec(lastIdStatement(db.dialect())) || !last.next())
        return 0;
    return last.value(0).toLongLong();
}

WriteOutcome failed(db::Database &db, const QString &error)
{
    db.rollback();
    return {{}, error};
}

} // namespace

QString fileConnectionString(const QString &filePath)
{
    return QStringLiteral("Driver={Microsoft Access Driver (*.mdb)};Dbq=") +
           QFileInfo(filePath).absoluteFilePath() + QStringLiteral(";Uid=Admin;Pwd=;");
}

std::optional<int> parseRowCount(const QString &text)
{
    const QString trimmed = text.trimmed();
    for (QChar c : trimmed)
        if (c < u'0' || c > u'9')
            return std::nullopt; // no signs, no full-width or other digits
    bool ok = false;
    const int n = trimmed.toInt(&ok);
    return ok ? std::optional<int>(n) : std::nullopt;
}

QStringList rowTexts(const OutboxRequest &request)
{
    if (!request.count)
        return {request.text};
    QStringList texts;
    texts.reserve(*request.count);
    for (int i = 1; i <= *request.count; ++i)
        texts << request.text + QString::number(i);
    return texts;
}

WriteOutcome writeOutboxRows(db::Database &db, const OutboxRequest &request)
{
    const QStringList texts = rowTexts(request);
    if (texts.isEmpty())
        return {};
    if (!db.beginWrite())
        return {{}, db.connection().lastError().text()};
    const bool returnsId = insertReturnsId(db);
    QSqlQuery insert(db.connection());
    if (!insert.prepare(insertStatement(db.dialect(), request, returnsId)))
        return failed(db, insert.lastError().text());
    WriteOutcome outcome;
    outcome.ids.reserve(texts.size());
    for (const QString &text : texts) {
        insert.addBindValue(request.mbno);
        insert.addBindValue(text);
        if (request.sendAt.isValid())
            insert.addBindValue(db::timeText(request.sendAt));
        if (request.report)
            insert.addBindValue(1);
        if (!insert.exec())
            return failed(db, insert.lastError().text());
        const qint64 id = newId(db, insert, returnsId);
        if (id <= 0)
            return failed(db, QStringLiteral("the database gave no id for the new row"));
        outcome.ids << id;
        // SQLite keeps a statement with an unread end open, and that blocks the commit.
        insert.finish();
    }
    if (!db.commit())
        return failed(db, db.connection().lastError().text());
    return outcome;
}

QString outboxProblem(db::Database &db)
{
    QSqlQuery probe(db.connection());
    if (!probe.exec(QStringLiteral("select id, mbno, msg from outbox where 1=0")))
        return probe.lastError().text();
    return {};
}

} // namespace lonvera::outbox_writer
