// The modem's end of a pseudo-terminal: the master side, served through socket notifiers, and the
// knowledge whether a program holds the slave side open. Lives on its emulator's thread; no locks.
//
// When the last program closes the slave, the master reports a hang-up on every poll; a read
// notifier left on would fire without pause. So on that hang-up the notifier is switched off and
// an inotify watch on the slave device (IN_OPEN) switches it on again when a program opens the
// port: an idle or detached modem costs no CPU at all. Without inotify we fall back to a check
// every half second while detached. A channel that holds the slave side itself (to hold the
// program's output) never sees that hang-up; the same watch then tells the program's close too.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>

class QSocketNotifier;
class QTimer;

namespace lonvera::emulator {

class PtyChannel;

// One inotify instance serving every channel of an emulator, so many modems use one descriptor.
class SlaveOpenWatcher : public QObject
{
    Q_OBJECT
public:
    explicit SlaveOpenWatcher(QObject *parent = nullptr);
    ~SlaveOpenWatcher() override;

    bool isWorking() const { return m_fd >= 0; }
    // Watch id, or -1; with closes the program's close of the slave is told as well.
    int watch(const QString &path, PtyChannel *channel, bool closes);
    void unwatch(int id);

private:
    void readEvents();

    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QHash<int, QPointer<PtyChannel>> m_channels;
};

class PtyChannel : public QObject
{
    Q_OBJECT
public:
    explicit PtyChannel(SlaveOpenWatcher *watcher, QObject *parent = nullptr);
    ~PtyChannel() override;

    // Set before open(): we hold the slave side open ourselves, so the program's output can be
    // held (holdOutput); the program's close is then seen through the watch (inotify needed).
    void setKeepSlave(bool keep) { m_keepSlave = keep; }
    // Stops or restarts the program's output as CTS low or an obeyed XOFF would; the program
    // clears a stop by opening the port again. False without a held slave side.
    bool holdOutput(bool held);
    // Creates a fresh pseudo-terminal; the slave path changes on every open.
    bool open(QString *error);
    // Closes the master: a program holding the slave sees the device go away.
    void close();
    bool isOpen() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    bool isAttached() const { return m_attached; }

    // Handshaking the program set on its side: 0 none, 1 XON/XOFF, 2 RTS/CTS, 3 both.
    int handshaking() const;

    // Queues bytes for the program; dropped while no program holds the port, as a real line does.
    void write(const QByteArray &bytes);

signals:
    void received(const QByteArray &bytes);
    void attachedChanged(bool attached);

private:
    friend class SlaveOpenWatcher;
    void slaveOpened();
    void slaveClosed();
    void readMaster();
    void flushOutput();
    void setAttached(bool attached);
    void detach();

    SlaveOpenWatcher *m_watcher;
    int m_master = -1;
    int m_slave = -1; // ours, when m_keepSlave
    bool m_keepSlave = false;
    int m_watchId = -1;
    QString m_slavePath;
    bool m_attached = false;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QTimer *m_recheck = nullptr;
    QByteArray m_pending;
};

} // namespace lonvera::emulator
