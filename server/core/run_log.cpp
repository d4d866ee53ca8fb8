// See run_log.h.
#include "server/core/run_log.h"

#include <QDir>
#include <QFile>
#include <QTime>

namespace lonvera::server {

using namespace Qt::StringLiterals;

void RunLog::append(const QString &line)
{
    m_lines.append(line);
    emit lineAppended(line);
}

bool RunLog::trim(bool writeFile, const QString &reportFolder, const QDate &day)
{
    if (m_lines.size() <= kTrimAbove)
        return false;
    if (writeFile)
        writeReportFile(reportFolder, day);
    clear();
    return true;
}

bool RunLog::writeReportFile(const QString &reportFolder, const QDate &day) const
{
    // A missing report folder is the operator's choice: nothing is written, nothing created.
    QFile file(reportFilePath(reportFolder, day));
    if (!QDir(reportFolder).exists() || !file.open(QIODevice::Append | QIODevice::Text))
        return false;
    QByteArray text;
    for (const QString &line : m_lines) {
        text += line.toUtf8();
        text += '\n';
    }
    return file.write(text) == text.size();
}

void RunLog::clear()
{
    m_lines.clear();
    emit cleared();
}

QString RunLog::reportFilePath(const QString &reportFolder, const QDate &day)
{
    return QDir(reportFolder).filePath(day.toString(u"yyyy-MM-dd"_s) + u"运行报告.txt"_s);
}

QString RunLog::timeText()
{
    return QTime::currentTime().toString(u"HH:mm:ss"_s);
}

} // namespace lonvera::server
