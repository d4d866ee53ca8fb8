// The gateway's core: the 16 worker slots and the device pool, the send dispatcher, the handlers
// of the six worker events, the sent counters and table counters, the operator's commands and
// the close sequence. A window or the headless runner sits on top and only renders the view.
// Single-threaded: timers, commands and worker events run one at a time on the server's thread;
// a worker server that dies only frees the slots it served.
#pragma once

#include "server/core/device_node_watch.h"
#include "server/core/gateway_store.h"
#include "server/core/gateway_view.h"
#include "server/core/live_settings.h"
#include "server/core/server_settings.h"
#include "server/core/slot_recovery.h"
#include "server/core/worker_handle.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class QEventLoop;

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
        /// The message handed to the worker whose result has not come yet.
        std::optional<qint64> outId;
        /// The operator paused the device while a message was out: it stops once the result is
        /// in, or when the wait runs out (stopGeneration tells a stale deadline from a live one).
        bool stopPending = false;
        int stopGeneration = 0;
        SlotRecovery recovery;
    };

    /// The longest wait, beyond the slot's own pause, for the result of a message that is out
    /// when the gateway closes or a device is paused.
    static constexpr int kResultWaitMs = 60000;
    /// The minutes a claimed row waits for its port to come back before other ports may take it.
    static constexpr int kStaleClaimMinutes = 10;
    /// bad_why of a row whose send began and whose result never came.
    static QString outcomeUnknownText();

    Gateway(ServerSettings settings, WorkerFactory *factory, GatewayView *view,
            QObject *parent = nullptr);
    ~Gateway() override;

    GatewayView *view() const { return m_view; }
    const ServerSettings &settings() const { return m_settings; }
    const LoadedSettings &loaded() const { return m_loaded; }
    const Slot &slot(int n) const { return m_slots[std::size_t(n - 1)]; }
    /// Messages sent by the device of slot n, the count its limit is checked against.
    qint32 sentCount(int n) const;
    qint64 resultCounter() const { return m_resultCounter; }
    bool shutdownFlag() const { return m_shutdown; }
    bool dispatchTickActive() const { return m_dispatchTimer.isActive(); }

    /// The clock the dispatcher and the result rows use; tests set their own.
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }
    QDateTime now() const { return m_clock ? m_clock() : QDateTime::currentDateTime(); }
    /// The wait limit for results out at a close or pause (tests shorten it).
    void setResultWaitLimit(int ms) { m_resultWaitMs = ms; }
    /// True while slot n has a message with its worker and no result for it.
    bool hasMessageOut(int n) const { return validSlot(n) && slot(n).outId.has_value(); }
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

    /// Gives back the rows claimed by ports that have had no connected modem for the set time
    /// ([AUTOC] ClaimTimeout minutes); runs every minute.
    void releaseStaleClaims();

    // Dispatcher
    void dispatchTick();
    void requestNextMessage(int n);

    // Worker events (public so the window's tests and the fakes can drive them)
    void onStatusChange(int n, bool busy);
    void onStatusReport(int n, const QString &text, const worker::protocol::StatusReport &report);
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

    // For the window and its dialogs (gateway_operator.cpp)
    /// The device list's statement in the connected engine's dialect.
    QString deviceListQuery() const;
    /// The record of device-list row n; without a row, a record or a database it shows the
    /// reason, logs it and gives nullopt.
    std::optional<DeviceRecord> deviceRecordOfRow(int n);
    std::optional<DeviceRecord> deviceRecord(int id, QString *error);
    bool writeDeviceRecord(const DeviceRecord &record, QString *error);
    /// Sets the in-memory sent counter of the device with this id (the live count its limit is
    /// tested against) and the "已发" cell of its row.
    void setSentCount(int deviceId, qint32 count);
    /// Reads the device list again; the rows of devices in a slot keep their live columns.
    void refillDeviceList();
    LiveSettings liveSettings() const;
    /// Takes changed in-memory settings at once (the settings dialog's save).
    void applyLiveSettings(const LiveSettings &settings);

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
    void countSent(int n, qint64 count);
    bool finishMove(int n, qint64 id, const QString &result, const QDateTime &when);

    // Messages out and their outcome (send_tracking.cpp)
    void handOver(int n, const OutboxMessage &message);
    void settleMessage(int n);
    bool waitForResults(int limitMs);
    void cutWait(int n);
    void finishPendingStop(int n, int generation);
    void decideInterruptedSends(int n);
    void portLost(int port);
    void returnClaims(int port, int minutes);
    int staleClaimMinutes() const;
    bool atMostOnce() const;
    void letEventsRun(int times);

    // Devices that went away and come back by themselves (device_recovery.cpp)
    void deviceLost(int n, const QString &why);
    void keepTryingFirstConnect(int n);
    /// Marks the device away and watches its node; the caller schedules the first attempt.
    void beginRecovery(int n);
    void scheduleReconnect(int n);
    void deviceNodeAppeared(int port);
    void reconnectDevice(int n);
    bool recoveryTakesReport(int n, const worker::protocol::StatusReport &report);
    void settleLostMessage(int n);
    bool settleSendResult(int n, qint64 id, const QString &result, QString *stored);
    bool settleInterruptedSend(int n, qint64 id, const QString &result);
    void returnRow(int n, qint64 id);
    bool heldOff(int n);
    void checkWorkerServer();
    void warnWaitingRow();
    /// Why no device takes the row now; empty when one will as soon as it is free.
    QString whyNoDeviceTakes(const OutboxMessage &row);
    QString soundPath(const QString &file) const;

    ServerSettings m_settings;
    LoadedSettings m_loaded;
    WorkerFactory *m_factory;
    GatewayView *m_view;
    GatewayStore *m_store = nullptr;
    std::function<QDateTime()> m_clock;
    std::array<Slot, kSlots> m_slots;
    std::array<QString, kSlots + 1> m_rangeTexts;    // per port 0 … 16
    std::array<qint32, kSlots + 1> m_sentCounters{}; // per slot 1 … 16 (0 unused)
    qint64 m_resultCounter = 0;
    bool m_shutdown = false;
    /// The close sequence runs: no new message goes out and a second request waits for it.
    bool m_closing = false;
    int m_lastConnectError = 0;
    int m_resultWaitMs = kResultWaitMs;
    /// The close sequence's wait for the results still out; quit when the last one is in.
    QEventLoop *m_resultWait = nullptr;
    /// Per port: since when this gateway has seen no connected modem there.
    QHash<int, QDateTime> m_portDownSince;
    /// Ports this gateway has had a connected modem on in this run.
    QSet<int> m_portServed;
    QString m_versionText = QStringLiteral("1.0.0");

    QTimer m_autoConnectTimer;
    QTimer m_dispatchTimer;
    QTimer m_countTimer;
    QTimer m_trimTimer;
    QTimer m_counterSaveTimer;
    QTimer m_claimSweepTimer;
    std::array<QTimer, kSlots> m_reconnectTimers;
    /// The device nodes of ports whose modem is away: one plugged back in is tried at once.
    DeviceNodeWatch m_nodeWatch;
    QElapsedTimer m_lastPing;
    /// The row the run log last warned about as waiting with no device to take it.
    qint64 m_warnedRow = 0;
    /// The warning about the oldest due row while it waits; empty when none is due.
    QString m_waitWarning;
};

} // namespace lonvera::server
