// Database compaction. See access_compaction.h.
#include "server/db/access_compaction.h"

#include "platform/paths.h"
#include "server/db/connection_plan.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lonvera::db {

namespace {

// 259 characters and the NUL fill the 260-character buffer the folder has always been asked with.
constexpr qsizetype maxTempPathLength = 259;

// SQLite's VACUUM INTO writes a rollback-journal file; a database kept in WAL mode gets its mode
// back before it replaces the original.
bool runOn(const QString &file, const QStringList &statements, QString *firstValue = nullptr)
{
    const QString name = QStringLiteral("lonvera-compaction");
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        // Another writer in the middle of a transaction fails the compaction at once.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=0"));
        if (db.open()) {
            QSqlQuery query(db);
            ok = true;
            for (const QString &statement : statements) {
                if (!query.exec(statement)) {
                    ok = false;
                    break;
                }
                if (firstValue && firstValue->isEmpty() && query.next())
                    *firstValue = query.value(0).toString();
            }
            query.finish();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

bool vacuumInto(const QString &source, const QString &destination)
{
    QString journalMode;
    QString quoted = destination;
    quoted.replace(u'\'', QLatin1String("''"));
    if (!runOn(source,
               {QStringLiteral("PRAGMA journal_mode"),
                QStringLiteral("VACUUM INTO '") + quoted + u'\''},
               &journalMode))
        return false;
    if (journalMode.compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0)
        return runOn(destination, {QStringLiteral("PRAGMA journal_mode=WAL")});
    return true;
}

// Copies a file and flushes it to disk, so the rename that follows never exposes a partly
// written database after a power failure.
bool copyDurably(const QString &from, const QString &to)
{
    QFile::remove(to);
    if (!QFile::copy(from, to))
        return false;
    QFile copy(to);
    if (!copy.open(QIODevice::ReadWrite))
        return false;
    return ::fsync(copy.handle()) == 0;
}

} // namespace

QString TempDirectory()
{
    const QString folder = platform::mapWindowsPath(QStringLiteral("C:\\windows\\temp"));
    if (!QDir().mkpath(folder))
        return {};
    const QString withSeparator = folder + u'/';
    if (withSeparator.size() > maxTempPathLength)
        return {};
    return withSeparator;
}

bool isFileOpenAnywhere(const QString &filePath)
{
    struct stat target
    {
    };
    if (::stat(QFile::encodeName(filePath).constData(), &target) != 0)
        return false;
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return false;
    bool held = false;
    while (!held) {
        const dirent *process = ::readdir(proc);
        if (!process)
            break;
        if (process->d_name[0] < '0' || process->d_name[0] > '9')
            continue;
        const QByteArray fdFolder = QByteArray("/proc/") + process->d_name + "/fd";
        DIR *fds = ::opendir(fdFolder.constData()); // fails for other users' processes
        if (!fds)
            continue;
        while (const dirent *fd = ::readdir(fds)) {
            struct stat st
            {
            };
            const QByteArray link = fdFolder + '/' + fd->d_name;
            if (fd->d_name[0] != '.' && ::stat(link.constData(), &st) == 0 &&
                st.st_dev == target.st_dev && st.st_ino == target.st_ino) {
                held = true;
                break;
            }
        }
        ::closedir(fds);
    }
    ::closedir(proc);
    return held;
}

void CompactAccessDatabase(QString &path, bool backup)
{
    const QString database = localFilePath(path);
    if (!QFileInfo(database).isFile())
        return;

    if (backup) {
        // A machine without drive D: has no <prefix>/drive_d; the copy fails and we stop here.
        const QString backupFile = platform::mapWindowsPath(QStringLiteral("D:\\AA.mdb"));
        if (QFileInfo::exists(backupFile) && !QFile::remove(backupFile))
            return;
        if (!QFile::copy(database, backupFile))
            return;
    }

    const QString tempFolder = TempDirectory();
    if (tempFolder.isEmpty())
        return;
    const QString temp = tempFolder + QStringLiteral("temp.mdb");
    if (QFileInfo::exists(temp) && !QFile::remove(temp))
        return;

    if (!vacuumInto(database, temp))
        return;

    // Replacing the file under a program that holds it open would leave that program writing
    // into the replaced copy, and its rows would be lost. Such a database is left as it is, as
    // is one with a journal beside it (a transaction of another program is under way).
    if (isFileOpenAnywhere(database) || QFileInfo::exists(database + QStringLiteral("-journal")) ||
        QFileInfo::exists(database + QStringLiteral("-wal"))) {
        QFile::remove(temp);
        return;
    }

    // The compacted copy goes beside the database first, so the replacement is one rename within
    // a folder: at every moment the database path holds either the old or the new file.
    const QString staged = database + QStringLiteral(".compacted");
    if (!copyDurably(temp, staged) ||
        !QFile::setPermissions(staged, QFile::permissions(database))) {
        QFile::remove(staged);
        return;
    }
    if (::rename(QFile::encodeName(staged).constData(), QFile::encodeName(database).constData()) !=
        0) {
        QFile::remove(staged);
        return;
    }
    QFile::remove(temp);
}

} // namespace lonvera::db
