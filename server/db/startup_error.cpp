// Database errors to start-up explanations. See startup_error.h.
#include "server/db/startup_error.h"

#include "server/db/error_text.h"

#include <QStringList>

namespace lonvera::db {

namespace {

// libpq reports a failed connection without an SQLSTATE, so its message texts decide; the server's
// own FATAL messages carry one when Qt passes it on.
StartupError classifyPostgreSql(const QString &state, const QString &text)
{
    if (state == QLatin1String("28P01") || state == QLatin1String("28000") ||
        containsAny(text, {"password authentication failed", "no password supplied", "role \"",
                           "authentication failed", "no pg_hba.conf entry"}))
        return StartupError::WrongLogin;
    if (state == QLatin1String("3D000") || (text.contains(QLatin1String("database \"")) &&
                                            text.contains(QLatin1String("does not exist"))))
        return StartupError::MissingDatabase;
    if (state.startsWith(QLatin1String("08")) ||
        containsAny(text, {"could not translate host name", "could not connect to server",
                           "connection refused", "connection to server", "timeout expired",
                           "no route to host", "name or service not known"}))
        return StartupError::WrongServer;
    return StartupError::Other;
}

// ODBC diagnostics: Qt lists the SQLSTATEs of the failed call in the native error code.
StartupError classifyOdbc(const QString &states, const QString &text)
{
    const QStringList codes = states.split(u';', Qt::SkipEmptyParts);
    auto has = [&codes](const char *prefix) {
        for (const QString &code : codes) {
            if (code.trimmed().startsWith(QLatin1String(prefix)))
                return true;
        }
        return false;
    };
    // SQL Server 18456 "Login failed"; FreeTDS and psqlODBC use 28000 as well.
    if (has("28") || containsAny(text, {"login failed", "password authentication failed"}))
        return StartupError::WrongLogin;
    // Unreachable or unknown server, and data sources or drivers that are not there: the provider
    // failure a wrongly named server produces. FreeTDS words it "... unavailable or does not
    // exist", so this comes before the missing database.
    if (has("08") || has("HYT") || has("IM002") || has("IM003") || has("S1T00") ||
        containsAny(text, {"server does not exist", "network-related", "timeout expired",
                           "is unavailable"}))
        return StartupError::WrongServer;
    // SQL Server 4060 "Cannot open database ... requested by the login".
    if (containsAny(text,
                    {"cannot open database", "unable to open database", "could not find file"}) ||
        (text.contains(QLatin1String("database"), Qt::CaseInsensitive) &&
         text.contains(QLatin1String("does not exist"), Qt::CaseInsensitive)))
        return StartupError::MissingDatabase;
    if (containsAny(text, {"unable to connect", "could not connect"}))
        return StartupError::WrongServer;
    return StartupError::Other;
}

} // namespace

StartupError classifyOpenError(Engine engine, const QSqlError &error)
{
    if (!error.isValid())
        return StartupError::None;
    const QString code = error.nativeErrorCode();
    // Qt's own driver text is the same for every failure ("Unable to connect"); the engine's
    // text tells them apart.
    const QString text = error.databaseText();
    switch (engine) {
    case Engine::PostgreSql:
        return classifyPostgreSql(code, text);
    case Engine::Sqlite:
        // A missing file is found before SQLite is asked (it would create an empty one).
        if (containsAny(text, {"unable to open database", "no such file"}))
            return StartupError::MissingDatabase;
        return StartupError::Other;
    case Engine::SqlServer:
    case Engine::Other:
        return classifyOdbc(code, text);
    }
    return StartupError::Other;
}

QString explanationLine(StartupError error)
{
    switch (error) {
    case StartupError::WrongLogin:
        return QStringLiteral("说明：“登陆名”或“密码”有误!");
    case StartupError::WrongServer:
        return QStringLiteral("说明：“服务器”名称有误!");
    case StartupError::MissingDatabase:
        return QStringLiteral("说明：未找到数据库文件");
    case StartupError::None:
    case StartupError::Other:
        break;
    }
    return {};
}

} // namespace lonvera::db
