// Connection strings: the start-up rewrite, the engine each string reaches, the SQL Server driver
// lookup, and the start-up explanations for each engine's errors.
#include "server/db/connection_plan.h"
#include "server/db/connection_target.h"
#include "server/db/startup_error.h"

#include <QTemporaryDir>
#include <QTest>

using namespace lonvera::db;

class TestConnectionStrings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qputenv("LONVERA_PREFIX", "/prefix"); }

    void plan_data()
    {
        QTest::addColumn<QString>("configured");
        QTest::addColumn<QString>("connectionString");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("accessPath");
        QTest::newRow("relative access file")
            << "Driver={Microsoft Access Driver (*.mdb)};Dbq=.\\qx.qxocx;Uid=Admin;Pwd=1;"
            << "Driver={Microsoft Access Driver (*.mdb)};Dbq=/opt/gw\\qx.qxocx;Uid=Admin;Pwd=1;"
            << "mdb"
            << "/opt/gw\\qx.qxocx";
        QTest::newRow("absolute access file")
            << "Driver={Microsoft Access Driver (*.mdb)};Dbq=C:\\sms\\a.mdb;Uid=Admin;Pwd=;"
            << "Driver={Microsoft Access Driver (*.mdb)};Dbq=C:\\sms\\a.mdb;Uid=Admin;Pwd=;"
            << "mdb"
            << "C:\\sms\\a.mdb";
        QTest::newRow("no Uid after the file")
            << "Driver={Microsoft Access Driver (*.mdb)};Dbq=.\\x.mdb;"
            << "Driver={Microsoft Access Driver (*.mdb)};Dbq=/opt/gw\\x.mdb;"
            << "mdb"
            << "/opt/gw\\x.mdb";
        QTest::newRow("lower-case dbq is not rewritten")
            << "Driver={Microsoft Access Driver (*.mdb)};dbq=.\\x.mdb;Uid=a"
            << "Driver={Microsoft Access Driver (*.mdb)};dbq=.\\x.mdb;Uid=a"
            << "mdb"
            << "";
        QTest::newRow("sql server")
            << "Provider=SQLOLEDB;Data Source=db1;Initial Catalog=sms;User ID=sa;Password=x"
            << "Provider=SQLOLEDB;Data Source=db1;Initial Catalog=sms;User ID=sa;Password=x"
            << ""
            << "db1";
        QTest::newRow("jet provider")
            << "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=D:\\a.mdb;Jet OLEDB:Database "
               "Password=1"
            << "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=D:\\a.mdb;Jet OLEDB:Database "
               "Password=1"
            << ""
            << "D:\\a.mdb";
    }
    void plan()
    {
        QFETCH(QString, configured);
        const ConnectionPlan p = planConnection(configured, QStringLiteral("/opt/gw"));
        QTEST(p.connectionString, "connectionString");
        QTEST(p.kind, "kind");
        QTEST(p.accessPath, "accessPath");
    }

    void defaultStringNamesTheProgramFolder()
    {
        const ConnectionPlan p = planConnection(defaultConnectionString(QStringLiteral("/opt/gw")),
                                                QStringLiteral("/elsewhere"));
        QCOMPARE(p.kind, QStringLiteral("mdb"));
        QCOMPARE(localFilePath(p.accessPath), QStringLiteral("/opt/gw/qx.qxocx"));
        const ConnectionTarget t = targetFor(p.connectionString, QStringLiteral("FreeTDS"));
        QCOMPARE(t.driver, QStringLiteral("QSQLITE"));
        QCOMPARE(t.databaseName, QStringLiteral("/opt/gw/qx.qxocx"));
    }

    void target_data()
    {
        QTest::addColumn<QString>("connectionString");
        QTest::addColumn<QString>("driver");
        QTest::addColumn<QString>("databaseName");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::newRow("access file on drive C")
            << "Driver={Microsoft Access Driver (*.mdb)};Dbq=C:\\sms\\a.mdb;Uid=Admin;Pwd=1;"
            << "QSQLITE"
            << "/prefix/drive_c/sms/a.mdb"
            << "" << -1 << ""
            << "";
        QTest::newRow("postgresql odbc form")
            << "Driver={PostgreSQL Unicode};Server=db.lan;Port=5433;Database=sms;Uid=gw;"
               "Pwd={a;b};"
            << "QPSQL"
            << "sms"
            << "db.lan" << 5433 << "gw"
            << "a;b";
        QTest::newRow("postgresql ado form")
            << "Provider=PostgreSQL OLE DB Provider;Data Source=db.lan:5434;Location=sms;"
               "User ID=gw;Password=pw"
            << "QPSQL"
            << "sms"
            << "db.lan" << 5434 << "gw"
            << "pw";
        QTest::newRow("other odbc string as it stands") << "Driver={MySQL};Server=m;Database=d;"
                                                        << "QODBC"
                                                        << "Driver={MySQL};Server=m;Database=d;"
                                                        << "" << -1 << ""
                                                        << "";
        QTest::newRow("data source name") << "DSN=gateway;UID=a;PWD=b"
                                          << "QODBC"
                                          << "gateway;UID=a;PWD=b"
                                          << "" << -1 << ""
                                          << "";
        QTest::newRow("sql server through freetds")
            << "Provider=SQLOLEDB.1;Data Source=10.0.0.5,1444;Initial Catalog=sms;User "
               "ID=sa;Password=p}w"
            << "QODBC"
            << "Driver={FreeTDS};Server=10.0.0.5;Port=1444;ClientCharset=UTF-8;Database=sms;"
               "UID=sa;PWD={p}}w};"
            << "" << -1 << ""
            << "";
    }
    void target()
    {
        QFETCH(QString, connectionString);
        const ConnectionTarget t = targetFor(connectionString, QStringLiteral("FreeTDS"));
        QTEST(t.driver, "driver");
        QTEST(t.databaseName, "databaseName");
        QTEST(t.hostName, "host");
        QTEST(t.port, "port");
        QTEST(t.userName, "user");
        QTEST(t.password, "password");
        // Every server engine waits 30 seconds for its connection; SQLite waits a quarter of a
        // second for another program's lock, as the server's one thread waits with it.
        if (t.driver == QLatin1String("QSQLITE"))
            QCOMPARE(t.connectOptions, QStringLiteral("QSQLITE_BUSY_TIMEOUT=250"));
        else
            QVERIFY(t.connectOptions.contains(QLatin1String("30")));
    }

    void sqlServerForMicrosoftDriver()
    {
        const QString s = sqlServerOdbcString(
            parseConnectionString(QStringLiteral("Provider=SQLNCLI11;Data Source=(local);"
                                                 "Initial Catalog=sms;Integrated Security=SSPI")),
            QStringLiteral("ODBC Driver 18 for SQL Server"));
        QCOMPARE(s, QStringLiteral("Driver={ODBC Driver 18 for SQL Server};Server=localhost;"
                                   "Database=sms;Trusted_Connection=Yes;"));
    }

    void findsSqlServerDriver_data()
    {
        QTest::addColumn<QString>("ini");
        QTest::addColumn<QString>("driver");
        QTest::newRow("newest microsoft driver wins")
            << "[FreeTDS]\nDriver=libtdsodbc.so\n[ODBC Driver 17 for SQL Server]\nDriver=a\n"
               "[ODBC Driver 18 for SQL Server]\nDriver=b\n"
            << "ODBC Driver 18 for SQL Server";
        QTest::newRow("freetds under another name")
            << "[SQLite3]\nDriver=libsqlite3odbc.so\n[TDS]\nDriver=/usr/lib/x/libtdsodbc.so\n"
            << "TDS";
    }
    void findsSqlServerDriver()
    {
        QFETCH(QString, ini);
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("odbcinst.ini")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(ini.toUtf8());
        file.close();
        QTEST(findSqlServerOdbcDriver({file.fileName()}), "driver");
    }

    void classify_data()
    {
        QTest::addColumn<Engine>("engine");
        QTest::addColumn<QString>("nativeCode");
        QTest::addColumn<QString>("text");
        QTest::addColumn<StartupError>("expected");
        const auto pg = Engine::PostgreSql;
        const auto ms = Engine::SqlServer;
        QTest::newRow("pg wrong password")
            << pg << ""
            << "FATAL:  password authentication failed for user \"gw\"" << StartupError::WrongLogin;
        QTest::newRow("pg unknown role")
            << pg << ""
            << "FATAL:  role \"nobody\" does not exist" << StartupError::WrongLogin;
        QTest::newRow("pg unknown database")
            << pg << ""
            << "FATAL:  database \"nope\" does not exist" << StartupError::MissingDatabase;
        QTest::newRow("pg refused")
            << pg << ""
            << "connection to server at \"127.0.0.1\", port 1 failed: Connection refused"
            << StartupError::WrongServer;
        QTest::newRow("pg unknown host")
            << pg << ""
            << "could not translate host name \"nohost\" to address" << StartupError::WrongServer;
        QTest::newRow("pg other") << pg << ""
                                  << "out of memory" << StartupError::Other;
        QTest::newRow("ms login failed")
            << ms << "28000"
            << "[FreeTDS][SQL Server]Login failed for user 'sa'." << StartupError::WrongLogin;
        QTest::newRow("ms no database") << ms << "42000"
                                        << "Cannot open database \"sms\" requested by the login."
                                        << StartupError::MissingDatabase;
        QTest::newRow("ms unreachable")
            << ms << "08001"
            << "[FreeTDS][SQL Server]Unable to connect to data source" << StartupError::WrongServer;
        QTest::newRow("odbc no such dsn")
            << Engine::Other << "IM002"
            << "[unixODBC][Driver Manager]Data source name not found and no default driver"
            << StartupError::WrongServer;
        QTest::newRow("sqlite cannot open")
            << Engine::Sqlite << "14"
            << "unable to open database file" << StartupError::MissingDatabase;
    }
    void classify()
    {
        QFETCH(Engine, engine);
        QFETCH(QString, nativeCode);
        QFETCH(QString, text);
        const QSqlError error(QStringLiteral("Unable to connect"), text, QSqlError::ConnectionError,
                              nativeCode);
        QTEST(classifyOpenError(engine, error), "expected");
    }

    void explanationLines()
    {
        QCOMPARE(explanationLine(StartupError::WrongLogin),
                 QStringLiteral("说明：“登陆名”或“密码”有误!"));
        QCOMPARE(explanationLine(StartupError::WrongServer),
                 QStringLiteral("说明：“服务器”名称有误!"));
        QCOMPARE(explanationLine(StartupError::MissingDatabase),
                 QStringLiteral("说明：未找到数据库文件"));
        QVERIFY(explanationLine(StartupError::Other).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestConnectionStrings)
#include "tst_connection_strings.moc"
