// The run log: time-stamped lines the operator reads in the main window (or on standard output
// without one), trimmed when it grows past its limit, and copied into the day's report file.
// Server thread only.
#pragma once

#include <QDate>
#include <QObject>
#include <QStringList>

namespace lonvera::server {

class RunLog : public QObject
{
    Q_OBJECT
public:
    /// Lines beyond which the next trim clears the log.
    static constexpr int kTrimAbove = 3000;

    using QObject::QObject;

    const QStringList &lines() const { return m_lines; }
    /// Appends a line and makes it the selected (last) one.
    void append(const QString &line);
    /// When the log holds more than kTrimAbove lines: writes the report file first when
    /// writeFile is set, then clears the log. True when it cleared.
    bool trim(bool writeFile, const QString &reportFolder, const QDate &day);
    /// Appends every line to the day's report file; false (and nothing written) on any failure.
    bool writeReportFile(const QString &reportFolder, const QDate &day) const;
    void clear();

    /// "<folder>/<yyyy-MM-dd>运行报告.txt": the date form keeps the path separator out of the name.
    static QString reportFilePath(const QString &reportFolder, const QDate &day);
    /// The current time as the log writes it before every message.
    static QString timeText();

signals:
    void lineAppended(const QString &line);
    void cleared();

private:
    QStringList m_lines;
};

} // namespace lonvera::server
