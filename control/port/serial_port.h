// The serial port as the modem control needs it: a port number ("COMn"), a settings text,
// handshaking 0-3, open/close, write, take all received input, a notification when bytes arrive,
// DSR changes, and the port error numbers the control reports (8002, 8005, 8012, 8020).
// DSR is watched for as long as the port is open: a modem that drops it has gone (switched off,
// reset, its cable pulled at the far end), so the port closes and reports the line lost exactly
// as for a device that went away. A pseudo-terminal has no modem lines; there the emulator's
// marker file <prefix>/dosdevices/comN.dsr stands for a raised DSR.
// Lives on its control's thread; no locks.
#pragma once

#include "control/port/port_settings.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class QFileSystemWatcher;
class QSerialPort;

namespace lonvera::control {

class SerialPort : public QObject
{
    Q_OBJECT
public:
    explicit SerialPort(QObject *parent = nullptr);
    ~SerialPort() override;

    int portNumber() const { return m_portNumber; }
    /// Sets the number; refused with 8005 ("port already open") while the port is open, and with
    /// 8002 for numbers below 1.
    int setPortNumber(int number);

    QString settingsText() const { return m_settingsText; }
    /// Sets the settings text; 380 (invalid property value) when it cannot be parsed. Applied at
    /// once when the port is open.
    int setSettingsText(const QString &text);

    int handshaking() const { return m_handshaking; }
    /// 0 none, 1 XON/XOFF, 2 RTS/CTS, 3 both. Applied at once when the port is open.
    void setHandshaking(int mode);

    bool isOpen() const;
    /// Opens the device behind the port number; 0 on success, else a port error number.
    int open();
    void close();

    /// Writes the bytes; false when the port is closed or the write failed (the port then closes).
    bool write(const QByteArray &bytes);
    /// Takes everything received so far.
    QByteArray readAll();

    /// Bytes written that have not left the port yet (our buffer and the driver's queue).
    qint64 pendingOutput() const;
    /// Output that made no progress: the modem holds the line (CTS low, a stop in force). Closes
    /// the port and reports it lost; the next open starts with the output running again.
    void dropHaltedLine();
    /// The port was last lost because its output was halted: nothing written since went out.
    bool lostWithOutputHalted() const { return m_lostHalted; }

    /// The device path the port number maps to.
    QString devicePath() const;

    /// Reports a DSR change that came by a side channel (a pseudo-terminal has no modem lines).
    void injectDsrChange();

signals:
    /// Bytes arrived and can be taken with readAll().
    void readyRead();
    /// The modem's DSR line changed (from the line itself, or from the emulator's side channel);
    /// raised at open too when DSR is up then. A drop is followed by portLost.
    void dsrChanged();
    /// The port closed itself after an error (the device went away); errorNumber is mapped.
    void portLost(int errorNumber);

private:
    void onErrorOccurred();
    bool stillOpen(const QSerialPort *port) const;
    void applyLineSettings();
    void applyHandshaking();
    void watchDsr();
    void checkDsrLine();
    void checkDsrMarker();
    void dsrSeen(bool up);
    QString dsrMarkerPath() const;

    std::unique_ptr<QSerialPort> m_port;
    QTimer m_dsrPoll{this};
    std::unique_ptr<QFileSystemWatcher> m_dsrMarker;
    bool m_dsrUp = false;
    int m_portNumber = 1;
    QString m_settingsText = QStringLiteral("9600,n,8,1");
    PortSettings m_settings;
    int m_handshaking = 0;
    bool m_lostHalted = false;
};

} // namespace lonvera::control
