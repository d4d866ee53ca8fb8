// Fake GSM modems on pseudo-terminals, for tests, benchmarks and the demo. Each modem is linked
// as <prefix>/dosdevices/comN, so a program opens "COMn" exactly as it opens a real port.
//
// Thread rule: every member may be called from any thread. The modems live on the thread that
// created the Emulator, or on a thread of their own after startInThread(); calls from other
// threads are carried there and wait for the result. Use startInThread() when the program under
// test runs in the same process and waits in nested event loops of its own thread.
//
// DSR: a pseudo-terminal has no modem lines. While a modem's DSR line is up (profile dsrOnOpen,
// or setDsr() at any time, also while the port is open), the file <prefix>/dosdevices/comN.dsr
// exists; a port layer that cannot read the lines watches it while the port is open.
#pragma once

#include "emulator_log.h"
#include "modem_profile.h"
#include "sms_storage.h"

#include <QString>

#include <functional>
#include <memory>
#include <type_traits>

class QThread;

namespace lonvera::emulator {

class EmulatorCore;

struct EmulatorOptions
{
    QString prefix; // the machine prefix; links go to <prefix>/dosdevices/comN
    int modems = 1;
    int firstCom = 1;
    ProfileSet profiles;
};

class Emulator
{
public:
    Emulator();
    ~Emulator(); // removes every link
    Emulator(const Emulator &) = delete;
    Emulator &operator=(const Emulator &) = delete;

    // Serves the modems from a thread of their own; call before start().
    void startInThread();
    // Creates the modems (may be called again to add more COM numbers).
    bool start(const EmulatorOptions &options, QString *error = nullptr);
    void stop();

    QList<int> comNumbers() const;
    QString devicePath(int com) const; // /dev/pts/N; empty while unplugged
    QString linkPath(int com) const;   // <prefix>/dosdevices/comN
    QString dsrPath(int com) const;    // <prefix>/dosdevices/comN.dsr
    QString number(int com) const;     // subscriber number, international digits
    bool isAttached(int com) const;    // a program holds the port open

    ModemProfile profile(int com) const;
    void setProfile(int com, const ModemProfile &profile);
    void updateProfile(int com, const std::function<void(ModemProfile &)> &change);
    void setDsr(int com, bool up);
    // Stops (or restarts) the program's output on the port, as CTS low or an obeyed XOFF would;
    // the program's next open of the port clears it. Needs profile holdableOutput at start.
    bool holdOutput(int com, bool held);

    // Storage
    int storeMessage(int com, int status, const QByteArray &pduHex); // index, -1 when full
    // An SMS-DELIVER from a number to the modem, stored and announced as the network would.
    bool deliverText(int com, const QString &fromNumber, const QString &text);
    QList<StoredMessage> storedMessages(int com) const;
    void clearStorage(int com);

    // Injection towards the program
    void inject(int com, const QByteArray &bytes); // as they are, no framing
    // An unsolicited line; holdForNextResult glues it after the next final result.
    void injectNotification(int com, const QByteArray &line, bool holdForNextResult = false);
    void injectCmti(int com, int index);
    void injectCds(int com, const QByteArray &pduHex);
    void injectCdsi(int com, int index);
    // A status report from the network, routed as the modem's profile and +CNMI say.
    void deliverReport(int com, const QByteArray &pduHex);
    void injectRing(int com);
    // A caller outside rings the modem until it answers or hangs up (+CLCC lists the caller).
    void ringFrom(int com, const QString &callerNumber);

    // Unplug: the pseudo-terminal goes away and the link names nothing; the program's open port
    // fails.
    void unplug(int com);
    // Replug: a new pseudo-terminal under the same link; the modem restarts with its AT&W
    // settings and keeps its storage.
    bool replug(int com, QString *error = nullptr);

    // Log
    EmulatorLog *log() { return &m_log; }
    // Every PDU taken and every message carried also goes to this file (see wire_log.h).
    bool openWireLog(const QString &path, QString *error = nullptr)
    {
        return m_log.openWireLog(path, error);
    }
    QList<QByteArray> commands(int com) const { return m_log.commands(com); }
    QByteArray sentBytes(int com) const { return m_log.sentBytes(com); }
    QList<SentMessage> sentMessages(int com = 0) const { return m_log.sentMessages(com); }

    // Runs the calling thread's event loop until the condition holds or the time is up; the
    // condition is checked on every log change and every 20 ms (for conditions outside).
    bool waitFor(const std::function<bool()> &condition, int timeoutMs) const;
    bool waitForCommand(int com, const QByteArray &command, int timeoutMs) const;
    bool waitForSentMessages(int com, int count, int timeoutMs) const;

private:
    template<typename F> auto call(F &&f) const -> std::invoke_result_t<F>;

    mutable EmulatorLog m_log;
    EmulatorCore *m_core = nullptr;
    std::unique_ptr<QThread> m_thread;
};

} // namespace lonvera::emulator
