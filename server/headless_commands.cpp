// See headless_commands.h.
#include "server/headless_commands.h"

#include "server/core/gateway.h"

#include <QStringList>

#include <unistd.h>

namespace lonvera::server {

using namespace Qt::StringLiterals;

HeadlessCommands::HeadlessCommands(int fd, Gateway *gateway,
                                   std::function<void(const QString &)> complain, QObject *parent)
    : QObject(parent), m_fd(fd), m_gateway(gateway), m_complain(std::move(complain)),
      m_notifier(fd, QSocketNotifier::Read)
{
    connect(&m_notifier, &QSocketNotifier::activated, this, &HeadlessCommands::readAvailable);
}

bool HeadlessCommands::apply(Gateway *gateway, const QString &line)
{
    const QStringList words = line.simplified().split(u' ', Qt::SkipEmptyParts);
    if (words.size() == 1 && words[0] == u"close"_s) {
        gateway->requestClose();
        return true;
    }
    bool ok = false;
    const int row = words.size() == 2 ? words[1].toInt(&ok) : 0;
    if (!ok || row < 1 || row > Gateway::kSlots)
        return false;
    if (words[0] == u"pause"_s)
        gateway->pauseDeviceRow(row);
    else if (words[0] == u"start"_s)
        gateway->startDeviceRow(row);
    else
        return false;
    return true;
}

void HeadlessCommands::readAvailable()
{
    char buffer[512];
    const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
    if (got <= 0) {
        // End of input: a notifier left on would fire again at once, for ever.
        m_notifier.setEnabled(false);
        return;
    }
    m_pending.append(buffer, got);
    qsizetype end;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(m_pending.left(end)).trimmed();
        m_pending.remove(0, end + 1);
        if (!line.isEmpty() && !apply(m_gateway, line))
            m_complain(u"Brevin: unknown command: "_s + line);
    }
}

} // namespace lonvera::server
