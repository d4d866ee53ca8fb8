// A program's side of an emulated modem for the tests: QSerialPort on the comN link.
#pragma once

#include "emulator.h"

#include <QSerialPort>
#include <QTest>

namespace lonvera::emulator::testing {

class TestPort
{
public:
    explicit TestPort(const Emulator &emulator) : m_emulator(emulator)
    {
        QObject::connect(&m_port, &QSerialPort::readyRead, [this] { m_seen += m_port.readAll(); });
        QObject::connect(&m_port, &QSerialPort::errorOccurred,
                         [this](QSerialPort::SerialPortError e) {
                             // A vanished pseudo-terminal reports its error again and again: close
                             // at once.
                             if (e == QSerialPort::ReadError || e == QSerialPort::ResourceError) {
                                 m_failed = true;
                                 if (m_port.isOpen())
                                     m_port.close();
                             }
                         });
    }

    bool open(const QString &path, QSerialPort::FlowControl flow = QSerialPort::NoFlowControl)
    {
        m_port.setPortName(path);
        m_port.setBaudRate(9600);
        m_port.setFlowControl(flow);
        m_failed = false;
        return m_port.open(QIODevice::ReadWrite);
    }
    void close() { m_port.close(); }
    bool isOpen() const { return m_port.isOpen(); }
    bool failed() const { return m_failed; }
    QSerialPort &port() { return m_port; }

    void write(const QByteArray &bytes)
    {
        m_port.write(bytes);
        m_port.flush();
    }
    // Everything received since the last take().
    QByteArray take() { return std::exchange(m_seen, QByteArray()); }
    const QByteArray &seen() const { return m_seen; }

    bool waitFor(const QByteArray &text, int timeoutMs = 3000)
    {
        return m_emulator.waitFor([&] { return m_seen.contains(text); }, timeoutMs);
    }
    // Writes a command and returns what came back once `until` was seen (or the time ran out).
    QByteArray exchange(const QByteArray &command, const QByteArray &until = "OK",
                        int timeoutMs = 3000)
    {
        take();
        write(command);
        waitFor(until, timeoutMs);
        return take();
    }
    // Waits for a quiet line: true when nothing at all arrived within ms.
    bool staysQuiet(int ms)
    {
        m_emulator.waitFor([&] { return !m_seen.isEmpty(); }, ms);
        return m_seen.isEmpty();
    }

private:
    const Emulator &m_emulator;
    QSerialPort m_port;
    QByteArray m_seen;
    bool m_failed = false;
};

} // namespace lonvera::emulator::testing
