// The whole road: gateway core, the worker server Tarvex80 and emulated modems on
// pseudo-terminals, with the default SQLite database (and PostgreSQL when the test cluster is
// configured). Queued messages end in SendedOutBox exactly once and arrive in the other modems'
// inbox; counts survive the close.
#include "server/core/server_app.h"
#include "server/core/socket_worker_factory.h"
#include "server/db/database.h"
#include "server/db/schema.h"

#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace lonvera::server;
using namespace Qt::StringLiterals;

namespace {

qint64 scalar(const QString &dbPath, const QString &sql)
{
    const QString name = u"e2e-check"_s;
    qint64 value = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
        db.setDatabaseName(dbPath);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(sql) && q.next())
                value = q.value(0).toLongLong();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return value;
}

bool execAll(const QString &dbPath, const QStringList &statements)
{
    const QString name = u"e2e-setup"_s;
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
        db.setDatabaseName(dbPath);
        ok = db.open();
        QSqlQuery q(db);
        for (const QString &s : statements) {
            if (ok && !q.exec(s)) {
                qWarning() << q.lastError().text() << s;
                ok = false;
            }
        }
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

} // namespace

class TstGatewayEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void messagesTravelEndToEnd();

private:
    QTemporaryDir m_dir;
    QProcess m_emulator;
    QStringList m_numbers;
    QString m_home;
    QString m_db;
};

void TstGatewayEndToEnd::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_home = m_dir.filePath(u"home"_s);
    QVERIFY(QDir().mkpath(m_home + u"/report"_s));
    const QString prefix = m_dir.filePath(u"prefix"_s);
    qputenv("LONVERA_PREFIX", prefix.toUtf8());
    const QString bin = QCoreApplication::applicationDirPath();
    m_emulator.setProgram(bin + u"/modem-emulator"_s);
    m_emulator.setArguments({u"--modems"_s, u"4"_s, u"--prefix"_s, prefix});
    m_emulator.start();
    QVERIFY(m_emulator.waitForStarted());
    while (m_numbers.size() < 4 && m_emulator.waitForReadyRead(10000)) {
        while (m_emulator.canReadLine())
            m_numbers << QString::fromUtf8(m_emulator.readLine()).split(u' ').value(1);
    }
    QCOMPARE(m_numbers.size(), 4);

    m_db = m_home + u"/qx.qxocx"_s;
    QString error;
    QVERIFY2(lonvera::db::createDefaultDatabase(m_db, &error), qPrintable(error));
    QVERIFY(execAll(m_db, {u"UPDATE comset SET InUseing='启用' WHERE id<=4"_s}));
    QFile ini(m_home + u"/set.ini"_s);
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[Ocxdb]\ndatabase=Driver={Microsoft Access Driver (*.mdb)};Dbq=.\\qx.qxocx;"
              "Uid=Admin;Pwd=x;\n[ocx]\nVer=1\n[AUTOC]\nreport=1\n");
    ini.close();
}

void TstGatewayEndToEnd::cleanupTestCase()
{
    m_emulator.terminate();
    m_emulator.waitForFinished(5000);
}

void TstGatewayEndToEnd::messagesTravelEndToEnd()
{
    const int messages = 40;
    QStringList inserts;
    for (int i = 0; i < messages; ++i) {
        const QString to = m_numbers[(i + 1) % 4];
        QString text = u"message %1"_s.arg(i);
        if (i % 10 == 9)
            text = QString(u"long message %1 "_s.arg(i)).repeated(12); // several parts
        inserts << u"INSERT INTO outbox (Mbno, Msg) VALUES ('%1', '%2')"_s.arg(to, text);
    }
    QVERIFY(execAll(m_db, inserts));

    SocketWorkerFactory factory(QCoreApplication::applicationDirPath() + u"/Tarvex80"_s);
    {
        ServerApp app(m_home, &factory);
        QCOMPARE(app.start(1, 0, 0), ServerApp::StartResult::Running);
        Gateway *gateway = app.gateway();
        gateway->connectAll();
        QTRY_VERIFY_WITH_TIMEOUT(gateway->slot(4).connected && gateway->slot(1).connected, 60000);
        QTRY_COMPARE_WITH_TIMEOUT(scalar(m_db, u"select count(*) from outbox"_s), 0, 120000);
        QCOMPARE(scalar(m_db, u"select count(*) from SendedOutBox"_s), messages);
        QCOMPARE(scalar(m_db, u"select count(*) from badoutbox"_s), 0);
        QCOMPARE(scalar(m_db, u"select count(distinct Msg) from SendedOutBox"_s), messages);
        // Messages between the emulated modems land in inbox (long ones as one text each).
        QTRY_VERIFY_WITH_TIMEOUT(scalar(m_db, u"select count(*) from inbox"_s) >= 1, 60000);
        qint64 shown = 0;
        for (int n = 1; n <= 4; ++n)
            shown += app.view()->cell(n, ColumnSent).toLongLong();
        QCOMPARE(shown, messages);
        QVERIFY(gateway->requestClose());
        QVERIFY(gateway->shutdownFlag());
    }
    QCOMPARE(scalar(m_db, u"select sum(MsgSendedCount) from comset"_s), messages);
    QFile report(RunLog::reportFilePath(m_home + u"/report"_s, QDate::currentDate()));
    QVERIFY(report.open(QIODevice::ReadOnly));
    QVERIFY(QString::fromUtf8(report.readAll()).trimmed().endsWith(u"：关闭短信服务器"_s));
}

QTEST_GUILESS_MAIN(TstGatewayEndToEnd)
#include "tst_gateway_end_to_end.moc"
