// See autostart.h.
#include "server/ui/autostart.h"

#include "server/core/server_settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace lonvera::ui {

using namespace Qt::StringLiterals;

namespace {

// Characters that force an Exec argument into double quotes.
const QString kReserved = u" \t\n\"'\\><~|&;$*?#()`"_s;

// The folder of user configuration: $XDG_CONFIG_HOME when it is an absolute path, else ~/.config.
QString configHome()
{
    QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return xdg;
    return QDir::homePath() + u"/.config"_s;
}

} // namespace

QString Autostart::entryPath()
{
    return configHome() + u"/autostart/"_s + QString::fromLatin1(server::kProgramTitle) +
           u".desktop"_s;
}

bool Autostart::isSet()
{
    return QFileInfo::exists(entryPath());
}

QString Autostart::execArgument(const QString &argument)
{
    // A percent sign would be read as a field code even inside quotes.
    QString text = argument;
    text.replace(u'%', u"%%"_s);
    const bool quote = text.isEmpty() || std::any_of(text.begin(), text.end(),
                                                     [](QChar c) { return kReserved.contains(c); });
    if (!quote)
        return text;
    QString quoted = u"\""_s;
    for (const QChar c : text) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    return quoted + u'"';
}

QString Autostart::execLine(const QStringList &command)
{
    QStringList parts;
    for (const QString &argument : command)
        parts << execArgument(argument);
    // The Exec value is a string value: its own backslashes and line breaks are escaped once more.
    QString line = parts.join(u' ');
    line.replace(u"\\"_s, u"\\\\"_s);
    line.replace(u"\n"_s, u"\\n"_s);
    line.replace(u"\t"_s, u"\\t"_s);
    line.replace(u"\r"_s, u"\\r"_s);
    return line;
}

QStringList Autostart::commandFor(const QString &programFolder, const QString &runningExecutable)
{
    const QString brevin = QDir(programFolder).absoluteFilePath(u"Brevin"_s);
    if (QFileInfo(brevin).isExecutable() || runningExecutable.isEmpty())
        return {QDir::cleanPath(brevin)};
    // A program folder given by --home holds no program: start the one running now with it.
    return {runningExecutable, u"--home"_s, QDir(programFolder).absolutePath()};
}

bool Autostart::write(const QString &program, const QStringList &arguments)
{
    const QString path = entryPath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    const QString title = QString::fromLatin1(server::kProgramTitle);
    const QString text = u"[Desktop Entry]\n"
                         u"Type=Application\n"
                         u"Name="_s +
                         title + u"\nExec="_s + execLine(QStringList{program} + arguments) +
                         u"\nTerminal=false\n"
                         u"X-GNOME-Autostart-enabled=true\n"_s;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(text.toUtf8());
    return file.commit();
}

bool Autostart::remove()
{
    const QString path = entryPath();
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return true;
    return QFile::remove(path);
}

} // namespace lonvera::ui
