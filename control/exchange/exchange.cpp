// See exchange.h.
#include "control/exchange/exchange.h"

#include "control/port/serial_port.h"
#include "platform/event_wait.h"

#include <QElapsedTimer>

#include <algorithm>
#include <vector>

namespace lonvera::control {

namespace {

// A modem that streams noise while no command runs would otherwise grow the buffer without end,
// and every arrival searches the whole buffer. A full listing of a large storage stays far below.
constexpr qsizetype MaxBufferChars = 1024 * 1024;
constexpr qsizetype KeptBufferChars = 512 * 1024;

} // namespace

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
    return m_port.isOpen() ? 0 : m_port.open();
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
    return m_port.write(bytes);
}

void Exchange::takeInput()
{
    const QByteArray bytes = m_port.readAll();
    if (!bytes.isEmpty())
        m_replyBuffer += QString::fromLatin1(bytes);
}

void Exchange::discardInput()
{
    m_port.readAll();
}

void Exchange::onReadyRead()
{
    const QByteArray bytes = m_port.readAll();
    if (bytes.isEmpty())
        return;
    m_replyBuffer += QString::fromLatin1(bytes);
    if (m_replyBuffer.size() > MaxBufferChars)
        m_replyBuffer.remove(0, m_replyBuffer.size() - KeptBufferChars);
    wakeWaits();
    emit dataReceived();
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

bool Exchange::isFinalReply(const QString &text)
{
    // Case-sensitive on purpose: "ERROR" is found through "ERR", "NO CARRIER" through "CARRIER",
    // and the lower-case forms some phones send are listed on their own.
    static const QLatin1String words[] = {QLatin1String("BUSY"), QLatin1String("CARRIER"),
                                          QLatin1String("ok"),   QLatin1String("err"),
                                          QLatin1String("ERR"),  QLatin1String("OK")};
    return std::any_of(std::begin(words), std::end(words),
                       [&](QLatin1String word) { return text.contains(word); });
}

QString Exchange::waitReply(int seconds)
{
    QElapsedTimer clock; // monotonic: midnight and clock changes do not matter
    clock.start();
    const qint64 timeoutMs = qint64(seconds) * 1000;
    m_replyBuffer.clear();
    bool newMessageMarker = false;

    platform::EventWait wake;
    WaitRegistration registration(m_waits->waits, wake);
    for (;;) {
        if (!newMessageMarker && m_replyBuffer.contains(QLatin1String("CMTI"))) {
            newMessageMarker = true;
            if (m_hooks.newMessageSeen)
                m_hooks.newMessageSeen();
        }
        if (m_replyBuffer.contains(QLatin1String("+CDSI"))) {
            if (m_hooks.storedReportSeen)
                m_hooks.storedReportSeen();
        } else if (m_replyBuffer.contains(QLatin1String("+CDS"))) {
            if (m_hooks.directReportSeen)
                m_hooks.directReportSeen();
        }

        const bool settled = m_abortWait || !m_port.isOpen() || isFinalReply(m_replyBuffer);
        if (!settled) {
            const qint64 remaining = timeoutMs - clock.elapsed() + 1;
            if (remaining > 0)
                wake.wait(int(std::min<qint64>(remaining, 1'000'000'000)));
        }
        takeInput();

        const qint64 elapsed = clock.elapsed();
        emit waitProgress(double(elapsed) / 1000.0, seconds);
        if (elapsed > timeoutMs)
            break;
        if (isFinalReply(m_replyBuffer) || m_abortWait || !m_port.isOpen())
            break;
    }
    emit waitFinished();
    return m_replyBuffer;
}

bool Exchange::waitUntil(const std::function<bool(const QString &)> &done, int milliseconds,
                         int progressMaximum)
{
    QElapsedTimer clock;
    clock.start();
    platform::EventWait wake;
    WaitRegistration registration(m_waits->waits, wake);
    bool result = false;
    for (;;) {
        takeInput();
        if (done(m_replyBuffer)) {
            result = true;
            break;
        }
        if (m_abortWait || !m_port.isOpen())
            break;
        const qint64 elapsed = clock.elapsed();
        if (elapsed > milliseconds)
            break;
        if (progressMaximum >= 0)
            emit waitProgress(double(elapsed) / 1000.0, progressMaximum);
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
