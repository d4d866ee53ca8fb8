// Test databases. See test_databases.h.
#include "test_databases.h"

#include "server/db/schema.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace lonvera::db::test {

namespace {

const char *sqliteOdbcDriver = "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so";

QString pgString(const QString &database)
{
    return QStringLiteral("Driver={PostgreSQL Unicode};Server=%1;Port=%2;Database=%3;Uid=%4;Pwd=;")
        .arg(qEnvironmentVariable("LONVERA_TEST_PG_HOST"),
             qEnvironmentVariable("LONVERA_TEST_PG_PORT"), database,
             qEnvironmentVariable("LONVERA_TEST_PG_USER"));
}

bool applySchema(const QString &connectionString, QString *reason)
{
    Database db(QStringLiteral("test-schema"));
    const OpenOutcome opened = db.open(connectionString);
    if (!opened.ok()) {
        *reason = opened.description;
        return false;
    }
    return createSchema(db, reason);
}

} // namespace

QString engineName(TestEngine engine)
{
    switch (engine) {
    case TestEngine::Sqlite:
        return QStringLiteral("sqlite");
    case TestEngine::PostgreSql:
        return QStringLiteral("postgresql");
    case TestEngine::OdbcSqlite:
        return QStringLiteral("odbc-sqlite");
    }
    return {};
}

QString freshDatabase(TestEngine engine, const QTemporaryDir &folder, QString *reason)
{
    static int counter = 0;
    ++counter;
    const QString file = folder.filePath(QStringLiteral("db%1.sqlite").arg(counter));
    switch (engine) {
    case TestEngine::Sqlite: {
        if (!createDefaultDatabase(file, reason))
            return {};
        return QStringLiteral("Driver={Microsoft Access Driver (*.mdb)};Dbq=%1;Uid=Admin;Pwd=;")
            .arg(file);
    }
    case TestEngine::OdbcSqlite: {
        if (!QFileInfo::exists(QLatin1String(sqliteOdbcDriver))) {
            *reason = QStringLiteral("SQLite ODBC driver not installed");
            return {};
        }
        if (!createDefaultDatabase(file, reason))
            return {};
        return QStringLiteral("Driver=%1;Database=%2;").arg(QLatin1String(sqliteOdbcDriver), file);
    }
    case TestEngine::PostgreSql: {
        if (qEnvironmentVariableIsEmpty("LONVERA_TEST_PG_HOST")) {
            *reason = QStringLiteral("LONVERA_TEST_PG_* not set");
            return {};
        }
        // One database per test program, so programs run side by side by ctest never meet.
        const QString name =
            QStringLiteral("lonvera_%1").arg(QCoreApplication::applicationName().toLower());
        {
            Database admin(QStringLiteral("test-admin"));
            const OpenOutcome opened =
                admin.open(pgString(qEnvironmentVariable("LONVERA_TEST_PG_DB")));
            if (!opened.ok()) {
                *reason = opened.description;
                return {};
            }
            QSqlQuery query(admin.connection());
            query.exec(QStringLiteral("set client_min_messages to warning"));
            if (!query.exec(QStringLiteral("drop database if exists %1 with (force)").arg(name)) ||
                !query.exec(QStringLiteral("create database %1").arg(name))) {
                *reason = query.lastError().text();
                return {};
            }
        }
        const QString s = pgString(name);
        return applySchema(s, reason) ? s : QString();
    }
    }
    return {};
}

qint64 insertOutbox(Database &db, const QString &mbno, const QDateTime &sendTime, int comPort,
                    const QString &msg)
{
    QSqlQuery query(db.connection());
    query.prepare(QStringLiteral("insert into outbox (Mbno,Msg,SendTime,ComPort,V1) values "
                                 "(?,?,%1,?,?)")
                      .arg(timeParameter(db.dialect())));
    query.addBindValue(mbno);
    query.addBindValue(msg);
    query.addBindValue(timeText(sendTime));
    query.addBindValue(comPort);
    query.addBindValue(QStringLiteral("v1-") + mbno);
    if (!query.exec())
        qFatal("insert failed: %s", qPrintable(query.lastError().text()));
    QSqlQuery last(db.connection());
    last.exec(QStringLiteral("select max(id) from outbox"));
    last.next();
    return last.value(0).toLongLong();
}

} // namespace lonvera::db::test
