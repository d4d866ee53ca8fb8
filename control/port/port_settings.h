// The serial settings text "speed,parity,data bits,stop bits" (for example "9600,n,8,1") and the
// mapping of serial-port failures to the port error numbers the control reports. Pure functions.
#pragma once

#include <QSerialPort>
#include <QString>

#include <optional>

namespace lonvera::control {

struct PortSettings
{
    qint32 baudRate = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

/// Parses "9600,n,8,1" (parity n, e, o, m, s; data bits 5-8; stop bits 1, 1.5, 2); nullopt when
/// any field is missing or unknown.
std::optional<PortSettings> parsePortSettings(const QString &text);

/// Port error numbers of the control.
namespace PortError {
inline constexpr int None = 0;
inline constexpr int InvalidPropertyValue = 380;
inline constexpr int InvalidPortNumber = 8002;
inline constexpr int PortAlreadyOpen = 8005;
inline constexpr int PortNotOpen = 8012;
inline constexpr int HardwareUnavailable = 8010;
inline constexpr int ReadFailed = 8020;
inline constexpr int SetStateFailed = 8015;
inline constexpr int TimedOut = 8016;
/// Ours, not the serial control's: the user may not open the device (not in its group).
inline constexpr int NoPermission = 8090;
} // namespace PortError

/// Maps a failure of QSerialPort to a port error number: a missing device is 8002, a port held by
/// another program 8005, a port used while closed 8012, a device that fails reading or writing or
/// went away 8020; settings the device refuses 8015, a time-out 8016, anything else 8010.
int portErrorNumber(QSerialPort::SerialPortError error);

} // namespace lonvera::control
