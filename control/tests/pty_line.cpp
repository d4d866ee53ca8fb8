// See pty_line.h.
#include "pty_line.h"

#include "platform/paths.h"

#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

PtyLine::PtyLine(int com, QObject *parent) : QObject(parent), m_com(com)
{
    char name[256] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        m_master = m_slave = -1;
        return;
    }
    termios tio{};
    ::tcgetattr(m_slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(m_slave, TCSANOW, &tio);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    QDir().mkpath(lonvera::platform::dosDevicesFolder());
    m_link = lonvera::platform::dosDevicesFolder() + QStringLiteral("/com%1").arg(com);
    QFile::remove(m_link);
    QFile::link(QString::fromLocal8Bit(name), m_link);
    m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &PtyLine::onReadable);
}

PtyLine::~PtyLine()
{
    unplug();
}

void PtyLine::write(const QByteArray &bytes)
{
    if (m_master >= 0 && ::write(m_master, bytes.constData(), size_t(bytes.size())) < 0)
        qWarning("pty write failed");
}

void PtyLine::writeLater(const QByteArray &bytes, int ms)
{
    QTimer::singleShot(ms, this, [this, bytes] { write(bytes); });
}

void PtyLine::unplug()
{
    delete m_notifier;
    m_notifier = nullptr;
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_master = m_slave = -1;
    if (!m_link.isEmpty())
        QFile::remove(m_link);
}

void PtyLine::onReadable()
{
    char buffer[4096];
    const ssize_t n = ::read(m_master, buffer, sizeof buffer);
    if (n <= 0)
        return;
    const QByteArray bytes(buffer, qsizetype(n));
    m_written += bytes;
    m_pending += bytes;
    qsizetype end;
    while ((end = m_pending.indexOf('\r')) >= 0) {
        QByteArray line = m_pending.left(end).trimmed();
        m_pending.remove(0, end + 1);
        if (m_pending.startsWith('\n'))
            m_pending.remove(0, 1);
        if (onCommand)
            onCommand(line);
    }
}
