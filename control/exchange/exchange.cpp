// See exchange.h.
#include "control/exchange/exchange.h"

#include "control/port/serial_port.h"
#include "platform/event_wait.h"

#include <QElapsedTimer>

#include <algorithm>
#include <vector>

namespace lonvera::control {

// The waits in progress, innermost last; arriving bytes wake all of them, each re-checks its own
// condition when its nested loop is the one that runs again.
class Exchange::ActiveWaits
{
public:
    std::vector<platform::EventWait *> waits;
};

namespace {

class WaitRegistration
{
public:
    WaitRegistration(std::vector<platform::EventWait *> &list, platform::EventWait &wait)
        : m_list(list), m_wait(&wait)
    {
        m_list.push_back(m_wait);
    }
    ~WaitRegistration() { std::erase(m_list, m_wait); }
    WaitRegistration(const WaitRegistration &) = delete;
    WaitRegistration &operator=(const WaitRegistration &) = delete;

private:
    std::vector<platform::EventWait *> &m_list;
    platform::EventWait *m_wait;
};

} // namespace

Exchange::Exchange(SerialPort &port, QObject *parent)
    : QObject(parent), m_port(port), m_waits(new ActiveWaits)
{
    connect(&m_port, &SerialPort::readyRead, this, &Exchange::onReadyRead);
    connect(&m_port, &SerialPort::portLost, this, &Exchange::wakeWaits);
}

Exchange::~Exchange()
{
    delete m_waits;
}

int Exchange::ensureOpen()
{
    if (m_port.isOpen())
        return 0;
    // Closed by the host: a timer or a late call must not take the port back from it.
    if (m_abortWait)
        return PortError::PortNotOpen;
    return m_port.open();
}

bool Exchange::isOpen() const
{
    return m_port.isOpen();
}

void Exchange::closePort()
{
    m_port.close();
    wakeWaits();
}

QString Exchange::numberText(int number)
{
    // The number form of the original system: a blank stands where a minus sign would.
    return number >= 0 ? QLatin1Char(' ') + QString::number(number) : QString::number(number);
}

bool Exchange::writeCommand(const QString &command)
{
    return writeRaw(command.toLatin1() + "\r\n");
}

bool Exchange::writeCommand(const QString &command, int number)
{
    return writeRaw((command + numberText(number)).toLatin1() + "\r\n");
}

bool Exchange::writeRaw(const QByteArray &bytes)
{
    // What the modem said before this write is no reply to it; its notices are routed first.
    takeInput();
    const QString text = QString::fromLatin1(bytes);
    if (text.startsWith(QLatin1String("at"), Qt::CaseInsensitive))
        m_reader.beginCommand(text);
    else
        m_reader.continueCommand(text);
    return m_port.write(bytes);
}

void Exchange::feed(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    const QList<Notice> notices = m_reader.feed(QString::fromLatin1(bytes));
    wakeWaits();
    if (!notices.isEmpty())
        emit noticesReceived(notices);
}

void Exchange::takeInput()
{
    feed(m_port.readAll());
}

void Exchange::onReadyRead()
{
    feed(m_port.readAll());
}

void Exchange::wakeWaits()
{
    for (platform::EventWait *wait : m_waits->waits)
        wait->wake();
}

void Exchange::setAbortWait(bool on)
{
    m_abortWait = on;
    if (on)
        wakeWaits();
}

QString Exchange::waitReply(int seconds)
{
    waitUntil([this] { return m_reader.reply().final.isFinal(); }, seconds * 1000, seconds);
    return m_reader.replyText();
}

bool Exchange::waitPrompt(int seconds)
{
    waitUntil([this] { return m_reader.reply().prompt || m_reader.reply().final.isFinal(); },
              seconds * 1000);
    return m_reader.reply().prompt;
}

bool Exchange::waitUntil(const std::function<bool()> &done, int milliseconds, int progressMaximum)
{
    QElapsedTimer clock; // monotonic: midnight and clock changes do not matter
    clock.start();
    platform::EventWait wake;
    WaitRegistration registration(m_waits->waits, wake);
    bool result = false;
    for (;;) {
        takeInput();
        if (done()) {
            result = true;
            break;
        }
        const qint64 elapsed = clock.elapsed();
        if (progressMaximum >= 0)
            emit waitProgress(double(elapsed) / 1000.0, progressMaximum);
        if (m_abortWait || !m_port.isOpen())
            break;
        if (elapsed > milliseconds) {
            // What we wrote has not left the port in the whole wait: the modem holds our output
            // (CTS low, a stop in force). That is a fault of the line, handled as a lost port;
            // opening it again clears a stop.
            if (m_port.pendingOutput() > 0)
                m_port.dropHaltedLine();
            break;
        }
        wake.wait(int(milliseconds - elapsed + 1));
    }
    if (progressMaximum >= 0)
        emit waitFinished();
    return result;
}

void Exchange::wait(int ms)
{
    platform::waitMs(ms);
}

} // namespace lonvera::control
