// See window_rig.h.
#include "window_rig.h"

#include "platform/profile_file.h"
#include "server/db/schema.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTreeWidget>

namespace lonvera::ui::test {

using namespace Qt::StringLiterals;

WindowRig::WindowRig(const QStringList &setIni, bool withDatabase)
{
    QDir().mkpath(home() + u"/report"_s);
    qputenv("LONVERA_PREFIX", prefix().toUtf8());
    // Registered already, so the start copies nothing and shows no message for it.
    const QString system = prefix() + u"/drive_c/windows/system32"_s;
    QDir().mkpath(system);
    QFile(system + u"/libQuillon308.so"_s).open(QIODevice::WriteOnly);
    platform::ProfileFile(prefix() + u"/drive_c/wintic.ini"_s)
        .writeString(u"test"_s, u"RegOcxVer"_s, u"1"_s);
    if (withDatabase)
        db::createDefaultDatabase(home() + u"/qx.qxocx"_s);

    QStringList lines = {u"[Ocxdb]"_s,
                         u"database=Driver={Microsoft Access Driver (*.mdb)};Dbq=.\\qx.qxocx;"_s,
                         u"[ocx]"_s, u"Ver=1"_s};
    lines += setIni;
    QFile ini(home() + u"/set.ini"_s);
    ini.open(QIODevice::WriteOnly);
    ini.write(lines.join(u'\n').toUtf8() + '\n');
    ini.close();

    MessageBoxes::setHandler([this](const MessageBoxes::Request &r) {
        MessageBoxes::Answer answer;
        if (r.kind == MessageBoxes::Kind::Question) {
            questions << r.text;
            answer.yes = answerYes;
        } else {
            messages << r.text;
        }
        return answer;
    });
}

WindowRig::~WindowRig()
{
    MessageBoxes::setHandler({});
    form.reset();
    app.reset();
}

bool WindowRig::exec(const QString &sql)
{
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"window-rig"_s);
        db.setDatabaseName(home() + u"/qx.qxocx"_s);
        if (db.open())
            ok = QSqlQuery(db).exec(sql);
    }
    QSqlDatabase::removeDatabase(u"window-rig"_s);
    return ok;
}

QString WindowRig::scalar(const QString &sql)
{
    QString value;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"window-rig"_s);
        db.setDatabaseName(home() + u"/qx.qxocx"_s);
        QSqlQuery query(db);
        if (db.open() && query.exec(sql) && query.next())
            value = query.value(0).toString();
    }
    QSqlDatabase::removeDatabase(u"window-rig"_s);
    return value;
}

server::ServerApp::StartResult WindowRig::start()
{
    app = std::make_unique<server::ServerApp>(home(), &factory);
    form = std::make_unique<Form1>(*app);
    return app->start(1, 2, 3);
}

void WindowRig::select(int n)
{
    QTreeWidget *list = form->listView1();
    list->clearSelection();
    if (QTreeWidgetItem *item = list->topLevelItem(n - 1))
        item->setSelected(true);
}

server::testing::FakeWorker *WindowRig::worker(int n) const
{
    return static_cast<server::testing::FakeWorker *>(app->gateway()->slot(n).worker.get());
}

server::testing::FakeWorker *WindowRig::connectRow(int n)
{
    select(n);
    form->startSelectedDevice();
    server::testing::FakeWorker *w = worker(n);
    if (w)
        emit w->otherReport(u"成功连接设备SIM900(COM%1)"_s.arg(n));
    return w;
}

} // namespace lonvera::ui::test
