// Profile file parsing and line-preserving writes. See profile_file.h.
#include "platform/profile_file.h"

#include "platform/paths.h"
#include "platform/text_codec.h"

#include <QFile>
#include <QSaveFile>

#include <optional>
#include <utility>

namespace lonvera::platform {

struct ProfileFile::Lines
{
    QStringList lines;
    TextEncoding encoding = TextEncoding::Utf8;
    bool hadBom = false;
    QString newline = QStringLiteral("\n");
};

namespace {

std::optional<QString> sectionName(const QString &line)
{
    const QString trimmed = line.trimmed();
    if (!trimmed.startsWith(u'['))
        return std::nullopt;
    const qsizetype close = trimmed.indexOf(u']');
    if (close < 0)
        return std::nullopt;
    return trimmed.mid(1, close - 1).trimmed();
}

bool isKeyLine(const QString &line, const QString &key)
{
    const qsizetype eq = line.indexOf(u'=');
    return eq >= 0 && line.left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0;
}

// Windows strips one pair of matching quotes around a value.
QString unquote(QString value)
{
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front())
        return value.mid(1, value.size() - 2);
    return value;
}

// Index range [first line after the header, end) of a section, or {-1, -1}.
std::pair<qsizetype, qsizetype> findSection(const QStringList &lines, const QString &section)
{
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const auto name = sectionName(lines[i]);
        if (!name || name->compare(section, Qt::CaseInsensitive) != 0)
            continue;
        qsizetype end = i + 1;
        while (end < lines.size() && !sectionName(lines[end]))
            ++end;
        return {i + 1, end};
    }
    return {-1, -1};
}

qsizetype findKey(const QStringList &lines, std::pair<qsizetype, qsizetype> range,
                  const QString &key)
{
    for (qsizetype i = range.first; i >= 0 && i < range.second; ++i) {
        if (isKeyLine(lines[i], key))
            return i;
    }
    return -1;
}

QString cut(const QString &value, int maxChars)
{
    return maxChars >= 0 && value.size() > maxChars ? value.left(maxChars) : value;
}

} // namespace

ProfileFile::ProfileFile(QString path) : m_path(std::move(path)) {}

bool ProfileFile::exists() const
{
    return QFile::exists(m_path);
}

ProfileFile::Lines ProfileFile::load() const
{
    Lines result;
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return result;
    const DecodedText decoded = decodeFileText(file.readAll());
    result.encoding = decoded.encoding;
    result.hadBom = decoded.hadBom;
    if (decoded.text.contains(QLatin1String("\r\n")))
        result.newline = QStringLiteral("\r\n");
    QString text = decoded.text;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    result.lines = text.split(u'\n');
    if (!result.lines.isEmpty() && result.lines.back().isEmpty())
        result.lines.removeLast();
    return result;
}

bool ProfileFile::save(const Lines &lines) const
{
    if (!ensureParentFolder(m_path))
        return false;
    // QSaveFile writes beside the file and renames, so a full disk never leaves half a file.
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QString text = lines.lines.join(lines.newline);
    if (!lines.lines.isEmpty())
        text += lines.newline;
    file.write(encodeFileText(text, lines.encoding, lines.hadBom));
    return file.commit();
}

QString ProfileFile::readString(const QString &section, const QString &key,
                                const QString &defaultValue, int maxChars) const
{
    const Lines file = load();
    const auto range = findSection(file.lines, section);
    const qsizetype at = findKey(file.lines, range, key);
    if (at < 0)
        return cut(defaultValue.trimmed(), maxChars);
    const QString &line = file.lines[at];
    return cut(unquote(line.mid(line.indexOf(u'=') + 1).trimmed()), maxChars);
}

int ProfileFile::readInt(const QString &section, const QString &key, int defaultValue) const
{
    const Lines file = load();
    const qsizetype at = findKey(file.lines, findSection(file.lines, section), key);
    if (at < 0)
        return defaultValue;
    const QString value = file.lines[at].mid(file.lines[at].indexOf(u'=') + 1).trimmed();
    qsizetype end = 0;
    if (end < value.size() && (value[end] == u'-' || value[end] == u'+'))
        ++end;
    while (end < value.size() && value[end].isDigit() && value[end].unicode() < 128)
        ++end;
    bool ok = false;
    const int number = value.left(end).toInt(&ok);
    return ok ? number : 0;
}

bool ProfileFile::writeString(const QString &section, const QString &key, const QString &value)
{
    Lines file = load();
    const QString line = key + u'=' + value;
    const auto range = findSection(file.lines, section);
    if (range.first < 0) {
        if (!file.lines.isEmpty() && !file.lines.back().trimmed().isEmpty())
            file.lines.append(QString());
        file.lines.append(u'[' + section + u']');
        file.lines.append(line);
        return save(file);
    }
    const qsizetype at = findKey(file.lines, range, key);
    if (at >= 0) {
        file.lines[at] = line;
        return save(file);
    }
    // New keys go after the section's last non-blank line, before the blank lines that separate
    // it from the next section.
    qsizetype insertAt = range.second;
    while (insertAt > range.first && file.lines[insertAt - 1].trimmed().isEmpty())
        --insertAt;
    file.lines.insert(insertAt, line);
    return save(file);
}

bool ProfileFile::removeKey(const QString &section, const QString &key)
{
    Lines file = load();
    const qsizetype at = findKey(file.lines, findSection(file.lines, section), key);
    if (at < 0)
        return true;
    file.lines.removeAt(at);
    return save(file);
}

QStringList ProfileFile::keys(const QString &section) const
{
    const Lines file = load();
    const auto range = findSection(file.lines, section);
    QStringList result;
    for (qsizetype i = range.first; i >= 0 && i < range.second; ++i) {
        const qsizetype eq = file.lines[i].indexOf(u'=');
        if (eq > 0)
            result.append(file.lines[i].left(eq).trimmed());
    }
    return result;
}

} // namespace lonvera::platform
