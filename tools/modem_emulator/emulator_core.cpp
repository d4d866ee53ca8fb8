// The emulator's modems, pseudo-terminals and links.
#include "emulator_core.h"

#include "call_switch.h"
#include "emulated_modem.h"
#include "emulator_log.h"
#include "network.h"
#include "pty_channel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace lonvera::emulator {

namespace {

// A 15-digit IMEI with its Luhn check digit (3GPP TS 23.003 6.2.1).
QString imeiFor(int com)
{
    const QString body = QStringLiteral("35209900%1").arg(com, 6, 10, QLatin1Char('0'));
    int sum = 0;
    for (int i = 0; i < body.size(); ++i) {
        int d = body[i].digitValue();
        if (i % 2 == 1) {
            d *= 2;
            if (d > 9)
                d -= 9;
        }
        sum += d;
    }
    return body + QString::number((10 - sum % 10) % 10);
}

} // namespace

EmulatorCore::EmulatorCore(EmulatorLog *log, QObject *parent) : QObject(parent), m_log(log) {}

EmulatorCore::~EmulatorCore()
{
    stop();
}

bool EmulatorCore::start(const QString &prefix, int count, int firstCom, const ProfileSet &profiles,
                         QString *error)
{
    if (count < 1 || firstCom < 1 || firstCom + count - 1 > 256) {
        *error = QStringLiteral("modem count or first COM number out of range");
        return false;
    }
    if (!m_watcher) {
        m_prefix = prefix;
        m_watcher = new SlaveOpenWatcher(this);
        m_network = new Network(m_log, this);
    }
    if (!QDir().mkpath(m_prefix + QStringLiteral("/dosdevices"))) {
        *error = QStringLiteral("cannot create %1/dosdevices").arg(m_prefix);
        return false;
    }
    for (int com = firstCom; com < firstCom + count; ++com) {
        if (m_slots.contains(com)) {
            *error = QStringLiteral("COM%1 is already emulated").arg(com);
            return false;
        }
        ModemProfile p = profiles.forCom(com);
        if (p.number.isEmpty())
            p.number = QStringLiteral("861390000%1").arg(com, 4, 10, QLatin1Char('0'));
        if (p.imei.isEmpty())
            p.imei = imeiFor(com);
        if (m_network->knowsNumber(p.number)) {
            *error = QStringLiteral("subscriber number %1 is used twice").arg(p.number);
            return false;
        }
        Slot slot;
        slot.modem = new EmulatedModem(com, p, m_network, m_log, this);
        slot.channel = new PtyChannel(m_watcher, this);
        slot.channel->setKeepSlave(p.holdableOutput);
        slot.dsr = p.dsrOnOpen;
        PtyChannel *ch = slot.channel;
        EmulatedModem *m = slot.modem;
        m->setHandshakeProbe([ch] { return ch->handshaking(); });
        connect(ch, &PtyChannel::received, m, &EmulatedModem::receive);
        connect(m, &EmulatedModem::output, ch, &PtyChannel::write);
        m_network->addModem(m);
        m_slots.insert(com, slot);
        if (!plug(com, error))
            return false;
    }
    return true;
}

void EmulatorCore::stop()
{
    for (auto it = m_slots.begin(); it != m_slots.end(); ++it) {
        unplug(it.key());
        QFile::remove(linkPath(it.key()));
        m_network->removeModem(it->modem);
        delete it->channel;
        delete it->modem;
    }
    m_slots.clear();
}

EmulatedModem *EmulatorCore::modem(int com) const
{
    return m_slots.value(com).modem;
}

QString EmulatorCore::devicePath(int com) const
{
    const Slot s = m_slots.value(com);
    return s.plugged ? s.channel->slavePath() : QString();
}

QString EmulatorCore::linkPath(int com) const
{
    return QStringLiteral("%1/dosdevices/com%2").arg(m_prefix).arg(com);
}

bool EmulatorCore::isPlugged(int com) const
{
    return m_slots.value(com).plugged;
}

bool EmulatorCore::isAttached(int com) const
{
    const Slot s = m_slots.value(com);
    return s.plugged && s.channel->isAttached();
}

bool EmulatorCore::plug(int com, QString *error)
{
    Slot &slot = m_slots[com];
    if (slot.plugged)
        return true;
    if (!slot.channel->open(error))
        return false;
    const QString link = linkPath(com);
    const QFileInfo old(link);
    if (old.isSymLink() || old.isFile())
        QFile::remove(link);
    if (::symlink(slot.channel->slavePath().toLocal8Bit().constData(),
                  link.toLocal8Bit().constData()) != 0) {
        *error = QStringLiteral("cannot link %1: %2")
                     .arg(link, QString::fromLocal8Bit(std::strerror(errno)));
        slot.channel->close();
        return false;
    }
    slot.plugged = true;
    slot.modem->powerOn();
    writeDsrFile(com);
    m_log->add(com, LogEntry::Kind::Event, "plugged at " + slot.channel->slavePath().toLocal8Bit());
    return true;
}

void EmulatorCore::unplug(int com)
{
    auto it = m_slots.find(com);
    if (it == m_slots.end() || !it->plugged)
        return;
    it->plugged = false;
    // The link stays, naming a device that is gone, as the link to an unplugged USB adapter does.
    // It names a path of our own, not the old pseudo-terminal: the system gives that number to
    // the next program that opens one, and a gateway reconnecting would reach that program.
    const QString link = linkPath(com);
    QFile::remove(link);
    if (::symlink((link + QStringLiteral(".unplugged")).toLocal8Bit().constData(),
                  link.toLocal8Bit().constData()) != 0)
        m_log->add(com, LogEntry::Kind::Event, "link removed");
    QFile::remove(dsrPath(com));
    m_network->calls()->dropCalls(it->modem);
    it->channel->close();
    m_log->add(com, LogEntry::Kind::Event, "unplugged");
}

bool EmulatorCore::replug(int com, QString *error)
{
    if (!m_slots.contains(com)) {
        *error = QStringLiteral("COM%1 is not emulated").arg(com);
        return false;
    }
    return plug(com, error);
}

void EmulatorCore::setProfile(int com, const ModemProfile &profile)
{
    auto it = m_slots.find(com);
    if (it == m_slots.end())
        return;
    ModemProfile p = profile;
    if (p.number.isEmpty())
        p.number = it->modem->number();
    if (p.imei.isEmpty())
        p.imei = it->modem->profile().imei;
    m_network->removeModem(it->modem);
    it->modem->setProfile(p);
    m_network->addModem(it->modem);
    it->dsr = p.dsrOnOpen;
    writeDsrFile(com);
}

bool EmulatorCore::holdOutput(int com, bool held)
{
    const Slot s = m_slots.value(com);
    if (!s.plugged || !s.channel->holdOutput(held))
        return false;
    m_log->add(com, LogEntry::Kind::Event, held ? "output held" : "output released");
    return true;
}

void EmulatorCore::setDsr(int com, bool up)
{
    auto it = m_slots.find(com);
    if (it == m_slots.end())
        return;
    it->dsr = up;
    writeDsrFile(com);
}

void EmulatorCore::writeDsrFile(int com)
{
    // A pseudo-terminal has no modem lines: the port layer looks for this file instead.
    const Slot s = m_slots.value(com);
    QFile f(dsrPath(com));
    if (s.plugged && s.dsr) {
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write("1\n");
    } else {
        f.remove();
    }
}

} // namespace lonvera::emulator
