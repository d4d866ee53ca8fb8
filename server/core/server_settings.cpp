// See server_settings.h.
#include "server/core/server_settings.h"

#include <QDir>
#include <QFile>

#include <limits>
#include <sys/stat.h>
#include <time.h>

namespace lonvera::server {

using namespace Qt::StringLiterals;

int leadingInt(const QString &text)
{
    const QString t = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == u'-' || t[i] == u'+')) {
        negative = t[i] == u'-';
        ++i;
    }
    qint64 value = 0;
    for (; i < t.size() && t[i].isDigit() && t[i].unicode() < 128; ++i) {
        value = value * 10 + (t[i].unicode() - '0');
        if (value > std::numeric_limits<int>::max())
            return negative ? std::numeric_limits<int>::min() : std::numeric_limits<int>::max();
    }
    return int(negative ? -value : value);
}

ServerSettings::ServerSettings(QString programFolder)
    : m_folder(std::move(programFolder)), m_set(filePath(u"set.ini"_s))
{
}

QString ServerSettings::filePath(const QString &name) const
{
    return QDir(m_folder).filePath(name);
}

namespace {

// Longer than the coarsest step of file times (a kernel tick of 10 ms at HZ=100).
constexpr qint64 kSettleNs = 50'000'000;

} // namespace

ServerSettings::FileStamp ServerSettings::stamp() const
{
    struct stat info = {};
    if (::stat(QFile::encodeName(m_set.path()).constData(), &info) != 0)
        return {};
    return {qint64(info.st_dev), qint64(info.st_ino), qint64(info.st_size),
            qint64(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec};
}

QString ServerSettings::value(const QString &section, const QString &key) const
{
    const FileStamp now = stamp();
    // File times move in steps of the kernel's tick: a file changed within the last moments may
    // change again with the same stamp, so it is read as it stands until it has settled.
    timespec clock = {};
    ::clock_gettime(CLOCK_REALTIME, &clock);
    const qint64 nowNs = qint64(clock.tv_sec) * 1000000000 + clock.tv_nsec;
    if (now.changedNs < 0 || nowNs - now.changedNs < kSettleNs)
        return m_set.readString(section, key);
    if (!(now == m_cachedStamp)) {
        m_cache.clear();
        m_cachedStamp = now;
    }
    // Section and key names match without regard to case, so the cache's keys do too.
    const QString cacheKey = section.toLower() + u'\n' + key.toLower();
    const auto it = m_cache.constFind(cacheKey);
    if (it != m_cache.constEnd())
        return it.value();
    const QString v = m_set.readString(section, key);
    m_cache.insert(cacheKey, v);
    return v;
}

bool ServerSettings::setValue(const QString &section, const QString &key, const QString &value)
{
    m_cache.clear();
    m_cachedStamp = {};
    return m_set.writeString(section, key, value);
}

int ServerSettings::intValue(const QString &section, const QString &key, int emptyValue) const
{
    const QString text = value(section, key);
    return text.isEmpty() ? emptyValue : leadingInt(text);
}

bool ServerSettings::isOn(const QString &section, const QString &key) const
{
    return value(section, key) == u"1"_s;
}

LoadedSettings ServerSettings::load() const
{
    LoadedSettings s;
    s.database = value(u"Ocxdb"_s, u"database"_s);
    s.iconBaseName = value(u"ocx"_s, u"LOGONA"_s);
    s.caption = value(u"ltdname"_s, u"caption"_s);
    s.sendValidity = isOn(u"UserSet"_s, u"CloseMobileCanRev"_s);
    s.soundErr = isOn(u"Sound"_s, u"SoundErr"_s);
    s.soundInMsg = isOn(u"Sound"_s, u"InMsg"_s);
    s.soundLimit = isOn(u"Sound"_s, u"limit_sound"_s);
    s.sendIn = intValue(u"Pull"_s, u"sendin"_s, 0);
    s.sendEnd = intValue(u"Pull"_s, u"sendend"_s, 24);
    s.justTm = intValue(u"Pull"_s, u"JustTm"_s, 0);
    s.serviceMode = serviceMode();
    s.autoConnect = isOn(u"AUTOC"_s, u"AUTOC"_s);
    return s;
}

int ServerSettings::serviceMode() const
{
    return intValue(u"ocx"_s, u"myserver"_s, 0);
}

bool ServerSettings::testMode() const
{
    const platform::ProfileFile inkf(filePath(u"InKF.ini"_s));
    return leadingInt(inkf.readString(u"SMS"_s, u"IsTest"_s)) == 1;
}

bool ServerSettings::hostedMode() const
{
    const platform::ProfileFile crm(filePath(u"QXCRM.QX"_s));
    return !crm.readString(u"Seting"_s, QLatin1String(hostedMarkerKey)).isEmpty();
}

void ServerSettings::writeDefaults()
{
    if (value(u"AUTOC"_s, u"AutoOpenSet"_s).isEmpty())
        setValue(u"AUTOC"_s, u"AutoOpenSet"_s, u"0"_s);
    if (value(u"AUTOC"_s, u"SetErrMsgCount"_s).isEmpty())
        setValue(u"AUTOC"_s, u"SetErrMsgCount"_s, u"6"_s);
}

} // namespace lonvera::server
