// The server's settings files in the program folder: "set.ini" with every key the core reads and
// its default, the test switch of "InKF.ini" and the hosted-mode marker of "QXCRM.QX". A value is
// read from "set.ini" as it stands now, so one the settings dialog changed takes effect at its
// next use; values already read are kept until the file changes (its identity, size or time of
// change to the nanosecond), so the dispatcher's reads per message cost a stat, not a parse.
// One thread per instance (the cache is the instance's own).
#pragma once

#include "platform/profile_file.h"
#include "server/core/settings_keys.h"

#include <QHash>
#include <QString>

namespace lonvera::server {

inline constexpr char kProgramTitle[] = "Lonvera";

/// The values the server loads once at start-up.
struct LoadedSettings
{
    QString database;          ///< [Ocxdb] database
    QString iconBaseName;      ///< [ocx] LOGONA
    QString caption;           ///< [ltdname] caption
    bool sendValidity = false; ///< [UserSet] CloseMobileCanRev = 1
    bool soundErr = false;
    bool soundInMsg = false;
    bool soundLimit = false;
    int sendIn = 0;
    int sendEnd = 24;
    int justTm = 0;
    int serviceMode = 0; ///< 1 send only, 2 receive only, else both
    bool autoConnect = false;
    bool autoOpenSet = false; ///< [AUTOC] AutoOpenSet = 1
    int setErrMsgCount = 6;   ///< [AUTOC] SetErrMsgCount
};

class ServerSettings
{
public:
    explicit ServerSettings(QString programFolder);

    QString programFolder() const { return m_folder; }
    QString filePath(const QString &name) const;

    /// A "set.ini" value, trimmed, empty when missing.
    QString value(const QString &section, const QString &key) const;
    bool setValue(const QString &section, const QString &key, const QString &value);
    /// A "set.ini" value read as an integer the way the runtime converts text (leading digits);
    /// emptyValue when the value is empty or missing.
    int intValue(const QString &section, const QString &key, int emptyValue) const;
    /// True when the value is exactly "1".
    bool isOn(const QString &section, const QString &key) const;

    // The same by the shared key names.
    QString value(SettingKey k) const { return value(name(k.section), name(k.key)); }
    bool setValue(SettingKey k, const QString &v)
    {
        return setValue(name(k.section), name(k.key), v);
    }
    int intValue(SettingKey k, int emptyValue) const
    {
        return intValue(name(k.section), name(k.key), emptyValue);
    }
    bool isOn(SettingKey k) const { return isOn(name(k.section), name(k.key)); }

    LoadedSettings load() const;

    /// [ocx] myserver, read now.
    int serviceMode() const;
    bool testMode() const;   ///< "InKF.ini" [SMS] IsTest = 1
    bool hostedMode() const; ///< "QXCRM.QX" [Seting] marker key not empty
    /// Writes "0" for an empty [AUTOC] AutoOpenSet and "6" for an empty SetErrMsgCount.
    void writeDefaults();

    /// Name of the hosted-mode marker key in "QXCRM.QX".
    static constexpr const char *hostedMarkerKey = "Hosted";

private:
    static QString name(const char *text) { return QString::fromLatin1(text); }
    /// What identifies one version of the file; a change of any part drops the cache.
    struct FileStamp
    {
        qint64 device = -1, inode = -1, size = -1, changedNs = -1;
        bool operator==(const FileStamp &) const = default;
    };
    FileStamp stamp() const;

    QString m_folder;
    platform::ProfileFile m_set;
    mutable FileStamp m_cachedStamp;
    mutable QHash<QString, QString> m_cache; // "section\nkey" in lower case -> value
};

/// Leading digits with an optional sign, as the runtime reads a number out of text; 0 without.
int leadingInt(const QString &text);

} // namespace lonvera::server
