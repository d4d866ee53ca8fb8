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
    s.database = value(keys::Database);
    s.iconBaseName = value(keys::IconName);
    s.caption = value(keys::Caption);
    s.sendValidity = isOn(keys::SendValidity);
    s.soundErr = isOn(keys::SoundErr);
    s.soundInMsg = isOn(keys::SoundInMsg);
    s.soundLimit = isOn(keys::SoundLimit);
    s.sendIn = intValue(keys::SendIn, 0);
    s.sendEnd = intValue(keys::SendEnd, 24);
    s.justTm = intValue(keys::JustTm, 0);
    s.serviceMode = serviceMode();
    s.autoConnect = isOn(keys::AutoConnect);
    s.autoOpenSet = isOn(keys::AutoOpenSet);
    s.setErrMsgCount = intValue(keys::SetErrMsgCount, 6);
    return s;
}

int ServerSettings::serviceMode() const
{
    return intValue(keys::ServiceMode, 0);
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
    if (value(keys::AutoOpenSet).isEmpty())
        setValue(keys::AutoOpenSet, u"0"_s);
    if (value(keys::SetErrMsgCount).isEmpty())
        setValue(keys::SetErrMsgCount, u"6"_s);
}

} // namespace lonvera::server
