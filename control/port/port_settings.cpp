// See port_settings.h.
#include "control/port/port_settings.h"

#include <QStringList>

namespace lonvera::control {

std::optional<PortSettings> parsePortSettings(const QString &text)
{
    const QStringList fields = text.split(QLatin1Char(','));
    if (fields.size() != 4)
        return std::nullopt;
    PortSettings settings;
    bool ok = false;
    settings.baudRate = fields[0].trimmed().toInt(&ok);
    if (!ok || settings.baudRate <= 0)
        return std::nullopt;

    const QString parity = fields[1].trimmed().toLower();
    if (parity == QLatin1String("n"))
        settings.parity = QSerialPort::NoParity;
    else if (parity == QLatin1String("e"))
        settings.parity = QSerialPort::EvenParity;
    else if (parity == QLatin1String("o"))
        settings.parity = QSerialPort::OddParity;
    else if (parity == QLatin1String("m"))
        settings.parity = QSerialPort::MarkParity;
    else if (parity == QLatin1String("s"))
        settings.parity = QSerialPort::SpaceParity;
    else
        return std::nullopt;

    const int dataBits = fields[2].trimmed().toInt(&ok);
    if (!ok || dataBits < 5 || dataBits > 8)
        return std::nullopt;
    settings.dataBits = QSerialPort::DataBits(dataBits);

    const QString stop = fields[3].trimmed();
    if (stop == QLatin1String("1"))
        settings.stopBits = QSerialPort::OneStop;
    else if (stop == QLatin1String("1.5"))
        settings.stopBits = QSerialPort::OneAndHalfStop;
    else if (stop == QLatin1String("2"))
        settings.stopBits = QSerialPort::TwoStop;
    else
        return std::nullopt;
    return settings;
}

int portErrorNumber(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::NoError:
        return PortError::None;
    case QSerialPort::DeviceNotFoundError:
        return PortError::InvalidPortNumber;
    // Qt reports a port held by another program through its lock file as a permission error;
    // OpenError is our own second open of the same port.
    case QSerialPort::PermissionError:
    case QSerialPort::OpenError:
        return PortError::PortAlreadyOpen;
    case QSerialPort::NotOpenError:
        return PortError::PortNotOpen;
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
    case QSerialPort::ResourceError:
        return PortError::ReadFailed;
    case QSerialPort::UnsupportedOperationError:
        return PortError::SetStateFailed;
    case QSerialPort::TimeoutError:
        return PortError::TimedOut;
    case QSerialPort::UnknownError:
        break;
    }
    return PortError::HardwareUnavailable;
}

} // namespace lonvera::control
