// The gateway's core: the 16 worker slots and the device pool, the send dispatcher, the handlers
// of the six worker events, the sent counters and table counters, the operator's commands and
// the close sequence. A window or the headless runner sits on top and only renders the view.
// Single-threaded: timers, commands and worker events run one at a time on the server's thread;
// a worker server that dies only frees the slots it served.
#pragma once

#include "server/core/gateway_store.h"
#include "server/core/gateway_view.h"
#include "server/core/server_settings.h"
#include "server/core/worker_handle.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>
#include <optional>

namespace lonvera::server {

class Gateway : public QObject
{
    Q_OBJECT
public:
    static constexpr int kSlots = 16;
    /// Worker slot n (1 … 16).
    struct Slot
    {
        std::unique_ptr<WorkerHandle> worker;
        bool connected = false;
        bool idle = false;
        bool busy = false;
        int pause = 0;
        int port = 0;
        /// A reported result whose row could not be moved yet: retried before the slot sends again.
        struct PendingMove
        {
            qint64 id = 0;
            QString result;
            QDateTime when;
        };
        std::optional<PendingMove> pendingMove;
        QString lastDispatchError;
    };

    Gateway(ServerSettings settings, WorkerFactory *factory, GatewayView *view,
            QObject *parent = nullptr);
    ~Gateway() override;

    GatewayView *view() const { return m_view; }
    const ServerSettings &settings() const { return m_settings; }
    const LoadedSettings &loaded() const { return m_loaded; }
    const Slot &slot(int n) const { return m_slots[std::size_t(n - 1)]; }
    qint32 sentCount(int deviceId) const;
    qint64 resultCounter() const { return m_resultCounter; }
    bool shutdownFlag() const { return m_shutdown; }
    bool dispatchTickActive() const { return m_dispatchTimer.isActive(); }

    /// The clock the dispatcher and the result rows use; tests set their own.
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }
    QDateTime now() const { return m_clock ? m_clock() : QDateTime::currentDateTime(); }
    /// The program version shown in the caption.
    void setVersion(int major, int minor, int revision);

    /// Load steps that need no database: icon, caption, validity flag, device count, settings.
    void loadSettings();
    /// Load steps on an open database: device list, sent counters, lights, auto-connect timer,
    /// table counters, and the periodic timers. The store must outlive the gateway.
    void attachStore(GatewayStore *store);

    // Device pool
    static int paceToPause(const QString &pace);
    void connectAll();
    void connectDevice(int n, int port, const QString &rate, const QString &serno,
                       const QString &forNo, int pause);
    void stopDevice(int n);
    void openStandbyDevice(int n);
    QString rangeText(int port) const;

    // Operator commands on device-list row n (1-based)
    void startDeviceRow(int n);
    void pauseDeviceRow(int n);
    void markRowInUse(int n, bool inUse);

    // Dispatcher
    void dispatchTick();
    void requestNextMessage(int n);

    // Worker events (public so the window's tests and the fakes can drive them)
    void onStatusChange(int n, bool busy);
    void onStatusText(int n, const QString &text);
    void onSendResult(int n, const QString &sId, const QString &result);
    void onMessages(int n, const QString &smsStr);
    void onReceipts(int n, const QString &strReceipt);
    void onCall(int n, const QString &strPhone);
    void onServerLost(int n);

    // Counters and run log
    void log(const QString &message);
    void logDevice(int n, const QString &text);
    void updateTableCounters();
    void trimRunLog();
    bool saveSentCounters();
    QString reportFolder() const;

    /// The close request. fromCloseBox: the window's own close box, which only minimises.
    /// True when the close went ahead (the sequence has run), false when it was cancelled.
    bool requestClose(bool fromCloseBox = false);

signals:
    /// The close sequence has run; the process may end.
    void closed();

private:
    Slot &slotRef(int n) { return m_slots[std::size_t(n - 1)]; }
    bool validSlot(int n) const { return n >= 1 && n <= kSlots; }
    int deviceIdOfSlot(int n) const;
    void releaseWorker(int n);
    void wireWorker(int n, WorkerHandle *worker);
    void fillDeviceList();
    void loadSentCounters();
    void updateBusyState();
    void addSent(int n, qint64 count);
    bool finishMove(int n, qint64 id, const QString &result, const QDateTime &when);
    void letEventsRun(int times);
    QString soundPath(const QString &file) const;

    ServerSettings m_settings;
    LoadedSettings m_loaded;
    WorkerFactory *m_factory;
    GatewayView *m_view;
    GatewayStore *m_store = nullptr;
    std::function<QDateTime()> m_clock;
    std::array<Slot, kSlots> m_slots;
    std::array<QString, kSlots + 1> m_rangeTexts;    // per port 0 … 16
    std::array<qint32, kSlots + 1> m_sentCounters{}; // per device id 0 … 16
    qint64 m_resultCounter = 0;
    bool m_shutdown = false;
    /// The close sequence runs: no new message goes out and a second request waits for it.
    bool m_closing = false;
    int m_lastConnectError = 0;
    QString m_versionText = QStringLiteral("1.0.0");

    QTimer m_autoConnectTimer;
    QTimer m_dispatchTimer;
    QTimer m_countTimer;
    QTimer m_trimTimer;
    QTimer m_counterSaveTimer;
};

} // namespace lonvera::server
