// The emulator's working part: modems, their pseudo-terminals, the links under
// <prefix>/dosdevices and the network. Every member runs on the thread the core lives on; the
// Emulator facade carries calls from other threads here.
#pragma once

#include "modem_profile.h"

#include <QMap>
#include <QObject>
#include <QString>

namespace lonvera::emulator {

class EmulatedModem;
class EmulatorLog;
class Network;
class PtyChannel;
class SlaveOpenWatcher;

class EmulatorCore : public QObject
{
    Q_OBJECT
public:
    EmulatorCore(EmulatorLog *log, QObject *parent = nullptr);
    ~EmulatorCore() override;

    bool start(const QString &prefix, int count, int firstCom, const ProfileSet &profiles,
               QString *error);
    void stop();

    EmulatedModem *modem(int com) const;
    Network *network() const { return m_network; }
    QList<int> comNumbers() const { return m_slots.keys(); }
    QString devicePath(int com) const;
    QString linkPath(int com) const;
    QString dsrPath(int com) const { return linkPath(com) + QStringLiteral(".dsr"); }
    bool isPlugged(int com) const;
    bool isAttached(int com) const;

    void setProfile(int com, const ModemProfile &profile);
    void setDsr(int com, bool up);
    bool holdOutput(int com, bool held);
    void unplug(int com);
    bool replug(int com, QString *error);

private:
    struct Slot
    {
        EmulatedModem *modem = nullptr;
        PtyChannel *channel = nullptr;
        bool plugged = false;
        bool dsr = false;
    };

    bool plug(int com, QString *error);
    void writeDsrFile(int com);

    EmulatorLog *m_log;
    QString m_prefix;
    SlaveOpenWatcher *m_watcher = nullptr;
    Network *m_network = nullptr;
    QMap<int, Slot> m_slots;
};

} // namespace lonvera::emulator
