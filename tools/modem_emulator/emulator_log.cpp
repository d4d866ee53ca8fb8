// Record of the emulated modems' dialogues.
#include "emulator_log.h"

#include "wire_log.h"

#include <QDateTime>
#include <QMutexLocker>

namespace lonvera::emulator {

EmulatorLog::EmulatorLog(QObject *parent) : QObject(parent) {}

EmulatorLog::~EmulatorLog() = default;

bool EmulatorLog::openWireLog(const QString &path, QString *error)
{
    auto wire = std::make_unique<WireLog>();
    if (!wire->open(path, error))
        return false;
    QMutexLocker lock(&m_mutex);
    m_wire = std::move(wire);
    return true;
}

void EmulatorLog::addCarried(int com, int reference, const QString &destination)
{
    QMutexLocker lock(&m_mutex);
    if (m_wire)
        m_wire->addCarried(QDateTime::currentMSecsSinceEpoch(), com, reference, destination);
}

void EmulatorLog::add(int com, LogEntry::Kind kind, const QByteArray &data)
{
    {
        QMutexLocker lock(&m_mutex);
        if (m_entries.size() >= kMaxEntries)
            m_entries.remove(0, kMaxEntries / 2);
        m_entries.append(LogEntry{QDateTime::currentMSecsSinceEpoch(), com, kind, data});
    }
    emit changed();
}

void EmulatorLog::addSent(const SentMessage &message)
{
    {
        QMutexLocker lock(&m_mutex);
        if (m_sent.size() >= kMaxEntries)
            m_sent.remove(0, kMaxEntries / 2);
        m_sent.append(message);
        if (m_wire)
            m_wire->addTaken(message);
    }
    emit changed();
}

void EmulatorLog::clear()
{
    QMutexLocker lock(&m_mutex);
    m_entries.clear();
    m_sent.clear();
}

QList<LogEntry> EmulatorLog::entries(int com) const
{
    QMutexLocker lock(&m_mutex);
    if (com == 0)
        return m_entries;
    QList<LogEntry> out;
    for (const LogEntry &e : m_entries)
        if (e.com == com)
            out.append(e);
    return out;
}

QList<QByteArray> EmulatorLog::commands(int com) const
{
    QMutexLocker lock(&m_mutex);
    QList<QByteArray> out;
    for (const LogEntry &e : m_entries)
        if (e.com == com && e.kind == LogEntry::Kind::Command)
            out.append(e.data);
    return out;
}

QByteArray EmulatorLog::sentBytes(int com) const
{
    QMutexLocker lock(&m_mutex);
    QByteArray out;
    for (const LogEntry &e : m_entries)
        if (e.com == com && e.kind == LogEntry::Kind::Sent)
            out.append(e.data);
    return out;
}

QList<SentMessage> EmulatorLog::sentMessages(int com) const
{
    QMutexLocker lock(&m_mutex);
    if (com == 0)
        return m_sent;
    QList<SentMessage> out;
    for (const SentMessage &m : m_sent)
        if (m.com == com)
            out.append(m);
    return out;
}

QString EmulatorLog::dump(int com) const
{
    static const char *const names[] = {"<<", "CMD", ">>", "EVT"};
    QString out;
    for (const LogEntry &e : entries(com)) {
        QByteArray shown = e.data;
        shown.replace("\r", "\\r").replace("\n", "\\n").replace("\x1a", "^Z");
        out += QStringLiteral("%1 COM%2 %3 %4\n")
                   .arg(QDateTime::fromMSecsSinceEpoch(e.timeMs).toString(
                       QStringLiteral("hh:mm:ss.zzz")))
                   .arg(e.com)
                   .arg(QLatin1String(names[int(e.kind)]), QString::fromUtf8(shown));
    }
    return out;
}

} // namespace lonvera::emulator
