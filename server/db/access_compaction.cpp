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

// The backup reads while other programs may write; in WAL mode they never block it, in rollback
// mode a writer's commit is waited for this long.
constexpr int backupBusyTimeoutMs = 2000;

// A connection of its own for one step of the compaction, closed and removed when it ends.
class StepConnection
{
public:
    StepConnection(const QString &file, int busyTimeoutMs)
        : m_name(QStringLiteral("lonvera-compaction-%1").arg(++s_serial))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(file);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs));
        m_open = db.open();
    }
    ~StepConnection()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    StepConnection(const StepConnection &) = delete;
    StepConnection &operator=(const StepConnection &) = delete;

    /// Runs the statements in order; false at the first that fails. firstValue receives the
    /// first column of the first row of the first statement that returns one.
    bool run(const QStringList &statements, QString *firstValue = nullptr)
    {
        if (!m_open)
            return false;
        QSqlQuery query(QSqlDatabase::database(m_name, false));
        for (const QString &statement : statements) {
            if (!query.exec(statement))
                return false;
            if (firstValue && firstValue->isEmpty() && query.next())
                *firstValue = query.value(0).toString();
        }
        return true;
    }

private:
    static inline int s_serial = 0;
    QString m_name;
    bool m_open = false;
};

QString quoted(const QString &file)
{
    QString text = file;
    text.replace(u'\'', QLatin1String("''"));
    return u'\'' + text + u'\'';
}

// The backup holds every committed row, those still in the write-ahead log included: VACUUM
// INTO reads the database as SQLite sees it, where a copy of the file would miss the log.
bool backUp(const QString &database, const QString &backupFile)
{
    StepConnection source(database, backupBusyTimeoutMs);
    return source.run({QStringLiteral("VACUUM INTO ") + quoted(backupFile)});
}

struct FileId
{
    dev_t device = 0;
    ino_t inode = 0;
    bool valid = false;
};

FileId fileIdOf(const QString &path)
{
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return {st.st_dev, st.st_ino, true};
}

/// How many descriptors of this process and of others refer to the file.
struct Holders
{
    int own = 0;
    int others = 0;
};

Holders holdersOf(const FileId &file)
{
    Holders holders;
    if (!file.valid)
        return holders;
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return holders;
    const QByteArray self = QByteArray::number(::getpid());
    while (const dirent *process = ::readdir(proc)) {
        if (process->d_name[0] < '0' || process->d_name[0] > '9')
            continue;
        const QByteArray fdFolder = QByteArray("/proc/") + process->d_name + "/fd";
        DIR *fds = ::opendir(fdFolder.constData()); // fails for other users' processes
        if (!fds)
            continue;
        const bool isSelf = self == process->d_name;
        while (const dirent *fd = ::readdir(fds)) {
            struct stat st
            {
            };
            const QByteArray link = fdFolder + '/' + fd->d_name;
            if (fd->d_name[0] != '.' && ::stat(link.constData(), &st) == 0 &&
                st.st_dev == file.device && st.st_ino == file.inode)
                ++(isSelf ? holders.own : holders.others);
        }
        ::closedir(fds);
    }
    ::closedir(proc);
    return holders;
}

// Held by anybody but the compaction's own one connection.
bool heldElsewhere(const FileId &file)
{
    const Holders holders = holdersOf(file);
    return holders.others > 0 || holders.own > 1;
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
    const Holders holders = holdersOf(fileIdOf(filePath));
    return holders.own + holders.others > 0;
}

void CompactAccessDatabase(QString &path, bool backup)
{
    const QString database = localFilePath(path);
    if (!QFileInfo(database).isFile())
        return;

    if (backup) {
        // A machine without drive D: has no <prefix>/drive_d; the backup fails and we stop here.
        const QString backupFile = platform::mapWindowsPath(QStringLiteral("D:\\AA.mdb"));
        if (QFileInfo::exists(backupFile) && !QFile::remove(backupFile))
            return;
        if (!backUp(database, backupFile)) {
            QFile::remove(backupFile);
            return;
        }
    }

    const QString tempFolder = TempDirectory();
    if (tempFolder.isEmpty())
        return;
    const QString temp = tempFolder + QStringLiteral("temp.mdb");
    if (QFileInfo::exists(temp) && !QFile::remove(temp))
        return;

    // The database is ours alone from the first step to the rename: a program that writes to it
    // meanwhile would write into the file the rename replaces, and its rows would be lost. In
    // exclusive locking mode SQLite keeps the lock it takes until the connection closes; when
    // another program has the database open or in a transaction the lock is refused at once and
    // the database is not compacted this time.
    StepConnection owner(database, 0);
    QString journalMode;
    if (!owner.run({QStringLiteral("PRAGMA locking_mode=EXCLUSIVE"),
                    QStringLiteral("PRAGMA journal_mode"), QStringLiteral("BEGIN EXCLUSIVE"),
                    QStringLiteral("COMMIT")},
                   &journalMode))
        return;
    const bool wal = journalMode.compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0;
    const FileId original = fileIdOf(database);
    // VACUUM INTO writes a rollback-journal file; a database kept in WAL mode gets its mode back.
    if (!owner.run({QStringLiteral("VACUUM INTO ") + quoted(temp)}) ||
        (wal && !StepConnection(temp, 0).run({QStringLiteral("PRAGMA journal_mode=WAL")})) ||
        heldElsewhere(original) || QFileInfo::exists(database + QStringLiteral("-journal"))) {
        QFile::remove(temp);
        return;
    }

    // The compacted copy goes beside the database first, so the replacement is one rename within
    // a folder: at every moment the database path holds either the old or the new file.
    const QString staged = database + QStringLiteral(".compacted");
    if (!copyDurably(temp, staged) ||
        !QFile::setPermissions(staged, QFile::permissions(database))) {
        QFile::remove(staged);
        QFile::remove(temp);
        return;
    }
    QFile::remove(temp);
    // Our connection leaves WAL mode before the rename: closing it afterwards would otherwise
    // remove the "-wal" file beside the path, which by then belongs to the new file.
    if (wal && !owner.run({QStringLiteral("PRAGMA journal_mode=DELETE")})) {
        QFile::remove(staged);
        return;
    }
    // A program that opened the file after the check above waits for our lock and would then
    // write into the replaced file, which nobody reads again. Its header is spoilt before the
    // lock goes, so that program's statement fails (it can open the database again) instead of
    // succeeding into nowhere.
    QFile replaced(database);
    if (!replaced.open(QIODevice::ReadWrite) ||
        ::rename(QFile::encodeName(staged).constData(), QFile::encodeName(database).constData()) !=
            0) {
        QFile::remove(staged);
        if (wal)
            owner.run({QStringLiteral("PRAGMA journal_mode=WAL")});
        return;
    }
    const Holders holders = holdersOf(original);
    if (holders.others > 0 || holders.own > 2) {
        replaced.write(QByteArray(16, '\0'));
        replaced.flush();
        ::fsync(replaced.handle());
    }
}

} // namespace lonvera::db
