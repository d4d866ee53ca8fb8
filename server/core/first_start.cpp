// See first_start.h.
#include "server/core/first_start.h"

#include "server/db/schema.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace lonvera::server {

using namespace Qt::StringLiterals;

namespace {

const QString kSettingsFile = u"set.ini"_s;
const QString kDatabaseFile = u"qx.qxocx"_s;

bool fail(QString *reason, const QString &text)
{
    if (reason)
        *reason = text;
    return false;
}

bool writeSettings(const QString &path, const QString &version, QString *reason)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(reason, u"cannot create %1: %2"_s.arg(path, file.errorString()));
    file.write(defaultSettingsText(version).toUtf8());
    if (!file.commit())
        return fail(reason, u"cannot write %1: %2"_s.arg(path, file.errorString()));
    return true;
}

} // namespace

QString defaultSettingsText(const QString &version)
{
    // Lines starting with ";" are comments: no key of the gateway starts with one, so even a
    // commented example with "=" in it never reads as a setting.
    return uR"(; Settings of the Lonvera gateway, created at its first start in this folder.
; The settings dialog of the window writes the same keys.

[Ocxdb]
; The database. The default is the embedded file qx.qxocx in this folder. PostgreSQL:
; database=Driver={PostgreSQL};Server=localhost;Port=5432;Database=sms;Uid=gateway;Pwd=secret;
; Any other connection string goes to unixODBC as it stands (SQL Server through FreeTDS).
database=Driver={Microsoft Access Driver (*.mdb)};Dbq=.\qx.qxocx;Uid=Admin;Pwd=;

[ocx]
; Version of the shipped components; a new value registers them again at the next start.
Ver=%1
Quillon=Quillon308
Tarvex=Tarvex80
; 1: send only, 2: receive only, anything else: both.
myserver=0

[AUTOC]
; 1: connect every device in use one second after start. Devices are the rows of the table
; comset: set InUseing to 启用 and com to the port (COM3 is <prefix>/dosdevices/com3).
AUTOC=1
; 1: write the run log to the folder report/.
report=1
AutoOpenSet=0
SetErrMsgCount=6
)"_s.arg(version);
}

FirstStart prepareProgramFolder(const QString &folder, const QString &version, QString *reason)
{
    const QDir dir(folder);
    if (QFileInfo::exists(dir.filePath(kSettingsFile)) ||
        QFileInfo::exists(dir.filePath(kDatabaseFile)))
        return FirstStart::NotNeeded;
    if (!QDir().mkpath(folder)) {
        fail(reason, u"cannot create the program folder %1"_s.arg(folder));
        return FirstStart::Failed;
    }
    QString error;
    // The database first: a settings file that names a database which could not be made would
    // turn the next start into an ordinary start with a missing database.
    if (!db::createDefaultDatabase(dir.filePath(kDatabaseFile), &error)) {
        fail(reason, dir.filePath(kDatabaseFile) + u": "_s + error);
        return FirstStart::Failed;
    }
    if (!writeSettings(dir.filePath(kSettingsFile), version, reason))
        return FirstStart::Failed;
    QDir().mkpath(dir.filePath(u"report"_s));
    return FirstStart::Prepared;
}

} // namespace lonvera::server
