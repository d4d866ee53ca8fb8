// See serial_port.h.
#include "control/port/serial_port.h"

#include "platform/paths.h"

#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSerialPort>

#include <cerrno>

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace lonvera::control {

namespace {

// How often the DSR line of a real port is read. The kernel can wait for a line change itself
// (TIOCMIWAIT), but only in a blocking call of a thread of its own that nothing but a line
// change, a hang-up or a signal ends: closing the port does not wake it, several USB serial
// drivers do not support it, and a library hosted in another program has no business sending
// signals to threads. DSR changes only when a modem comes or goes, so one TIOCMGET twice a
// second (a few microseconds in the driver) notices that soon enough at no measurable cost.
constexpr int kDsrPollMs = 500;

} // namespace

SerialPort::SerialPort(QObject *parent) : QObject(parent)
{
    m_settings = *parsePortSettings(m_settingsText);
    m_dsrPoll.setInterval(kDsrPollMs);
    QObject::connect(&m_dsrPoll, &QTimer::timeout, this, &SerialPort::checkDsrLine);
}

SerialPort::~SerialPort()
{
    close();
}

int SerialPort::setPortNumber(int number)
{
    if (isOpen())
        return PortError::PortAlreadyOpen;
    if (number < 1)
        return PortError::InvalidPortNumber;
    m_portNumber = number;
    return PortError::None;
}

int SerialPort::setSettingsText(const QString &text)
{
    const std::optional<PortSettings> parsed = parsePortSettings(text);
    if (!parsed)
        return PortError::InvalidPropertyValue;
    m_settings = *parsed;
    m_settingsText = text;
    if (isOpen())
        applyLineSettings();
    return PortError::None;
}

void SerialPort::setHandshaking(int mode)
{
    m_handshaking = (mode >= 0 && mode <= 3) ? mode : 0;
    if (isOpen())
        applyHandshaking();
}

QString SerialPort::devicePath() const
{
    return platform::comPortDevice(m_portNumber);
}

bool SerialPort::isOpen() const
{
    return m_port && m_port->isOpen();
}

int SerialPort::open()
{
    if (isOpen())
        return PortError::None;
    // A device the user may not open is told apart from one another program holds: Qt reports
    // both as a permission error (the other program's lock file), but their fixes differ.
    const QByteArray device = QFile::encodeName(devicePath());
    if (::access(device.constData(), R_OK | W_OK) != 0 && errno == EACCES)
        return PortError::NoPermission;
    m_port = std::make_unique<QSerialPort>();
    m_port->setPortName(devicePath());
    if (!m_port->open(QIODevice::ReadWrite)) {
        const int error = portErrorNumber(m_port->error());
        m_port.reset();
        return error;
    }
    applyLineSettings();
    applyHandshaking();
    // Output a stop left suspended on this line (an XOFF obeyed earlier, our own halted close)
    // runs again: a port opened afresh starts clean.
    if (const int fd = int(m_port->handle()); fd >= 0)
        ::tcflow(fd, TCOON);
    m_lostHalted = false;
    m_port->clearError();
    QObject::connect(m_port.get(), &QSerialPort::readyRead, this, &SerialPort::readyRead);
    QObject::connect(m_port.get(), &QSerialPort::errorOccurred, this, &SerialPort::onErrorOccurred);
    watchDsr();
    return PortError::None;
}

void SerialPort::close()
{
    if (!m_port)
        return;
    m_dsrPoll.stop();
    if (m_dsrMarker)
        m_dsrMarker->disconnect(this);
    // Output the modem holds would make the close wait for it to drain (up to half a minute on
    // a serial driver): it is dropped instead.
    if (const int fd = int(m_port->handle()); fd >= 0 && pendingOutput() > 0)
        ::tcflush(fd, TCOFLUSH);
    // The QSerialPort may be the sender of the signal being handled; let it go later.
    QSerialPort *port = m_port.release();
    port->disconnect(this);
    port->close();
    port->deleteLater();
}

bool SerialPort::write(const QByteArray &bytes)
{
    if (!isOpen())
        return false;
    if (m_port->write(bytes) != bytes.size())
        return false;
    return isOpen();
}

QByteArray SerialPort::readAll()
{
    if (!isOpen())
        return {};
    return m_port->readAll();
}

qint64 SerialPort::pendingOutput() const
{
    if (!isOpen())
        return 0;
    int queued = 0;
    const int fd = int(m_port->handle());
    if (fd < 0 || ::ioctl(fd, TIOCOUTQ, &queued) != 0)
        queued = 0;
    return m_port->bytesToWrite() + queued;
}

void SerialPort::dropHaltedLine()
{
    if (!isOpen())
        return;
    close();
    m_lostHalted = true;
    emit portLost(PortError::TimedOut);
}

void SerialPort::onErrorOccurred()
{
    if (!m_port)
        return;
    const QSerialPort::SerialPortError error = m_port->error();
    // When the far end of a pseudo-terminal or a USB adapter goes away, Qt reports ReadError
    // again and again at full speed while the port stays open: close on the first one.
    if (error == QSerialPort::ReadError || error == QSerialPort::ResourceError ||
        error == QSerialPort::WriteError) {
        close();
        emit portLost(portErrorNumber(error));
        return;
    }
    // Anything else (a pseudo-terminal has no modem lines, so asking for them is "unsupported")
    // leaves the port usable; the next operation's own result tells whether it worked.
}

bool SerialPort::stillOpen(const QSerialPort *port) const
{
    // Each setting Qt applies may fail on a device that went away; the error handler then
    // closes the port at once, under the caller.
    return m_port.get() == port && port->isOpen();
}

void SerialPort::applyLineSettings()
{
    QSerialPort *port = m_port.get();
    port->setBaudRate(m_settings.baudRate);
    if (!stillOpen(port))
        return;
    port->setParity(m_settings.parity);
    if (!stillOpen(port))
        return;
    port->setDataBits(m_settings.dataBits);
    if (!stillOpen(port))
        return;
    port->setStopBits(m_settings.stopBits);
}

void SerialPort::applyHandshaking()
{
    // XON/XOFF on the modem's side is never obeyed (IXON stays off): in PDU mode every byte either
    // side writes is a hex digit, CR, LF, a blank, ">" or Ctrl-Z, so the modem never has to
    // throttle us in-band, while one 0x13 in line noise would halt our output until a 0x11
    // happened to come. Modes 1 and 3 keep only our own half (IXOFF: we may ask the modem to
    // pause when our input fills), so the four probe modes stay four different line set-ups.
    QSerialPort *port = m_port.get();
    port->setFlowControl(m_handshaking >= 2 ? QSerialPort::HardwareControl
                                            : QSerialPort::NoFlowControl);
    if (!stillOpen(port))
        return;
    termios tio{};
    const int fd = int(port->handle());
    if (fd >= 0 && ::tcgetattr(fd, &tio) == 0) {
        tio.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY);
        if (m_handshaking == 1 || m_handshaking == 3)
            tio.c_iflag |= IXOFF;
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    port->clearError();
}

void SerialPort::watchDsr()
{
    // A modem that raises DSR when the port opens is a sign of life. Lines that cannot be read
    // (a pseudo-terminal) are watched through the emulator's marker file instead.
    QSerialPort *port = m_port.get();
    const QSerialPort::PinoutSignals lines = port->pinoutSignals();
    if (!stillOpen(port))
        return;
    const bool lineReadable = port->error() == QSerialPort::NoError;
    port->clearError();
    if (lineReadable) {
        m_dsrUp = bool(lines & QSerialPort::DataSetReadySignal);
        m_dsrPoll.start();
    } else {
        m_dsrUp = QFileInfo::exists(dsrMarkerPath());
        // The marker comes and goes as a name in the folder of the port links.
        if (!m_dsrMarker)
            m_dsrMarker = std::make_unique<QFileSystemWatcher>();
        if (m_dsrMarker->directories().isEmpty())
            m_dsrMarker->addPath(platform::dosDevicesFolder());
        QObject::connect(m_dsrMarker.get(), &QFileSystemWatcher::directoryChanged, this,
                         &SerialPort::checkDsrMarker);
    }
    if (m_dsrUp)
        emit dsrChanged();
}

void SerialPort::checkDsrLine()
{
    if (!isOpen())
        return;
    QSerialPort *port = m_port.get();
    const QSerialPort::PinoutSignals lines = port->pinoutSignals();
    if (!stillOpen(port))
        return; // the device went away: the error handler has reported it
    const bool read = port->error() == QSerialPort::NoError;
    port->clearError();
    if (read)
        dsrSeen(bool(lines & QSerialPort::DataSetReadySignal));
}

void SerialPort::checkDsrMarker()
{
    if (isOpen())
        dsrSeen(QFileInfo::exists(dsrMarkerPath()));
}

void SerialPort::dsrSeen(bool up)
{
    if (up == m_dsrUp)
        return;
    m_dsrUp = up;
    emit dsrChanged();
    // A handler of the change may have closed the port already.
    if (!up && isOpen()) {
        close();
        emit portLost(PortError::ReadFailed);
    }
}

QString SerialPort::dsrMarkerPath() const
{
    return platform::dosDevicesFolder() + QStringLiteral("/com%1.dsr").arg(m_portNumber);
}

void SerialPort::injectDsrChange()
{
    if (isOpen())
        emit dsrChanged();
}

} // namespace lonvera::control
