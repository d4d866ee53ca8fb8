// Profile (".ini") files with the semantics Windows programs expect of them: sections and keys
// match without regard to case, values come back trimmed and cut to the caller's buffer (127
// characters by default), a missing key gives the default, and a write changes one line and keeps
// the rest of the file. The file is read afresh on every call, so settings changed by another
// program or a dialog take effect at once. Files may be UTF-8 or in the Chinese Windows code page;
// a write keeps the encoding the file had. Any thread, no shared state.
#pragma once

#include <QString>
#include <QStringList>

namespace lonvera::platform {

class ProfileFile
{
public:
    explicit ProfileFile(QString path);

    QString path() const { return m_path; }
    bool exists() const;

    /// The value of key in section, trimmed and cut to maxChars (negative: no cut); the default
    /// (also cut) when the section or key is missing.
    QString readString(const QString &section, const QString &key, const QString &defaultValue = {},
                       int maxChars = 127) const;

    /// The value read as Windows reads integers: leading digits with an optional sign; 0 when the
    /// value has none; the default when the key is missing.
    int readInt(const QString &section, const QString &key, int defaultValue) const;

    /// Sets key in section, creating the file and section as needed. Returns false when the file
    /// cannot be written (the old file then stays as it was).
    bool writeString(const QString &section, const QString &key, const QString &value);

    bool removeKey(const QString &section, const QString &key);

    /// The keys of a section in file order.
    QStringList keys(const QString &section) const;

private:
    struct Lines;
    Lines load() const;
    bool save(const Lines &lines) const;

    QString m_path;
};

} // namespace lonvera::platform
