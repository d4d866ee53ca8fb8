// The master side of an emulated modem's pseudo-terminal.
#include "pty_channel.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <termios.h>
#include <unistd.h>

namespace lonvera::emulator {

namespace {
// A program that stops reading must not make us hold unbounded output; a real UART overruns.
constexpr qsizetype kMaxPendingOutput = 1 << 20;
} // namespace

SlaveOpenWatcher::SlaveOpenWatcher(QObject *parent) : QObject(parent)
{
    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd >= 0) {
        m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &SlaveOpenWatcher::readEvents);
    }
}

SlaveOpenWatcher::~SlaveOpenWatcher()
{
    delete m_notifier;
    if (m_fd >= 0)
        ::close(m_fd);
}

int SlaveOpenWatcher::watch(const QString &path, PtyChannel *channel, bool closes)
{
    if (m_fd < 0)
        return -1;
    const uint32_t mask = IN_OPEN | (closes ? IN_CLOSE_WRITE | IN_CLOSE_NOWRITE : 0);
    const int id = inotify_add_watch(m_fd, path.toLocal8Bit().constData(), mask);
    if (id >= 0)
        m_channels.insert(id, channel);
    return id;
}

void SlaveOpenWatcher::unwatch(int id)
{
    if (m_fd >= 0 && id >= 0 && m_channels.remove(id))
        inotify_rm_watch(m_fd, id);
}

void SlaveOpenWatcher::readEvents()
{
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n <= 0)
            return;
        for (ssize_t off = 0; off + ssize_t(sizeof(inotify_event)) <= n;) {
            inotify_event ev;
            std::memcpy(&ev, buffer + off, sizeof ev);
            off += ssize_t(sizeof(inotify_event)) + ev.len;
            if (ev.mask & IN_IGNORED) {
                m_channels.remove(ev.wd);
                continue;
            }
            const QPointer<PtyChannel> ch = m_channels.value(ev.wd);
            if (ch && (ev.mask & IN_OPEN))
                ch->slaveOpened();
            if (ch && (ev.mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)))
                ch->slaveClosed();
        }
    }
}

PtyChannel::PtyChannel(SlaveOpenWatcher *watcher, QObject *parent)
    : QObject(parent), m_watcher(watcher)
{
}

PtyChannel::~PtyChannel()
{
    close();
}

bool PtyChannel::open(QString *error)
{
    close();
    const int fd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 || grantpt(fd) != 0 || unlockpt(fd) != 0) {
        *error = QStringLiteral("cannot create a pseudo-terminal: %1")
                     .arg(QString::fromLocal8Bit(std::strerror(errno)));
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    char name[128];
    if (ptsname_r(fd, name, sizeof name) != 0) {
        *error = QStringLiteral("cannot name the pseudo-terminal");
        ::close(fd);
        return false;
    }
    // Raw until the program sets its own mode, so nothing is echoed or translated by the line
    // discipline; on Linux the master's termios calls reach the slave's settings.
    termios tio{};
    if (tcgetattr(fd, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(fd, TCSANOW, &tio);
    }
    m_master = fd;
    m_slavePath = QString::fromLocal8Bit(name);
    if (m_keepSlave) {
        // Opened before the watch is set, so our own open is not taken for the program's. While
        // we hold it the master sees no hang-up when the program closes: the watch tells.
        m_slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (m_slave < 0 || !m_watcher || !m_watcher->isWorking()) {
            *error = QStringLiteral("cannot hold the slave side of %1").arg(m_slavePath);
            if (m_slave >= 0)
                ::close(m_slave);
            m_slave = -1;
            ::close(fd);
            m_master = -1;
            return false;
        }
    }
    m_attached = false;
    m_pending.clear();

    m_readNotifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &PtyChannel::readMaster);
    m_writeNotifier = new QSocketNotifier(m_master, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &PtyChannel::flushOutput);

    m_watchId = m_watcher ? m_watcher->watch(m_slavePath, this, m_slave >= 0) : -1;
    if (m_watchId < 0) {
        m_recheck = new QTimer(this);
        m_recheck->setInterval(500);
        connect(m_recheck, &QTimer::timeout, this, &PtyChannel::slaveOpened);
    }
    return true;
}

void PtyChannel::close()
{
    if (m_master < 0)
        return;
    if (m_watcher)
        m_watcher->unwatch(m_watchId);
    m_watchId = -1;
    delete m_readNotifier;
    delete m_writeNotifier;
    delete m_recheck;
    m_readNotifier = nullptr;
    m_writeNotifier = nullptr;
    m_recheck = nullptr;
    ::close(m_master);
    m_master = -1;
    if (m_slave >= 0)
        ::close(m_slave);
    m_slave = -1;
    m_pending.clear();
    setAttached(false);
}

int PtyChannel::handshaking() const
{
    termios tio{};
    if (m_master < 0 || tcgetattr(m_master, &tio) != 0)
        return 0;
    int mode = 0;
    if (tio.c_iflag & (IXON | IXOFF))
        mode |= 1;
    if (tio.c_cflag & CRTSCTS)
        mode |= 2;
    return mode;
}

void PtyChannel::write(const QByteArray &bytes)
{
    if (m_master < 0 || !m_attached || bytes.isEmpty())
        return;
    if (m_pending.size() + bytes.size() > kMaxPendingOutput)
        return;
    m_pending.append(bytes);
    flushOutput();
}

void PtyChannel::flushOutput()
{
    while (!m_pending.isEmpty() && m_master >= 0) {
        const ssize_t n = ::write(m_master, m_pending.constData(), size_t(m_pending.size()));
        if (n > 0) {
            m_pending.remove(0, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The slave's input queue is full; go on when the kernel says there is room.
            m_writeNotifier->setEnabled(true);
            return;
        }
        detach();
        return;
    }
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(false);
}

void PtyChannel::readMaster()
{
    char buffer[4096];
    QByteArray got;
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            got.append(buffer, n);
            if (got.size() >= 65536)
                break;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        // EIO: no program holds the slave any more.
        if (!got.isEmpty()) {
            setAttached(true);
            emit received(got);
        }
        detach();
        return;
    }
    if (!got.isEmpty()) {
        setAttached(true);
        emit received(got);
    }
}

void PtyChannel::detach()
{
    if (m_readNotifier)
        m_readNotifier->setEnabled(false);
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(false);
    m_pending.clear();
    if (m_recheck)
        m_recheck->start();
    setAttached(false);
}

void PtyChannel::slaveOpened()
{
    if (m_master < 0 || !m_readNotifier)
        return;
    if (m_recheck) {
        // No inotify: look whether the hang-up is gone, without reading any data.
        pollfd p{m_master, POLLIN, 0};
        if (::poll(&p, 1, 0) > 0 && (p.revents & POLLHUP))
            return;
        m_recheck->stop();
    }
    m_readNotifier->setEnabled(true);
    setAttached(true);
}

void PtyChannel::slaveClosed()
{
    // Only our own descriptor is left once the program closes: the port is free again.
    if (m_slave >= 0 && m_attached)
        detach();
}

bool PtyChannel::holdOutput(bool held)
{
    return m_slave >= 0 && ::tcflow(m_slave, held ? TCOOFF : TCOON) == 0;
}

void PtyChannel::setAttached(bool attached)
{
    if (m_attached == attached)
        return;
    m_attached = attached;
    emit attachedChanged(attached);
}

} // namespace lonvera::emulator
