// The gateway's store on the database layer: every call is one of its statements on the shared
// connection. A fault of the database itself (the server lost, another program's lock, a file
// that cannot be written) is not a fault of the messages: the store says so once in the run log,
// answers at once without touching the database until a pause has passed, keeps the received
// rows it could not write, and at the first call after the pause opens the connection again if
// it was lost, writes the kept rows and lets the call through; the run log says when it is
// over. The pause grows by a second per failed attempt up to a minute; after a lock it stays one
// second, as a lock usually ends soon. Server thread only (the connection belongs to it).
#pragma once

#include "server/core/gateway_store.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QSet>

#include <deque>
#include <functional>

namespace lonvera::db {
class Database;
enum class DbFault;
} // namespace lonvera::db

namespace lonvera::server {

class DbGatewayStore : public GatewayStore
{
public:
    using LogSink = std::function<void(const QString &message)>;

    /// The database must be open and outlive the store.
    /// Creates the table of rows being sent in a default database that lacks it.
    explicit DbGatewayStore(db::Database &database);
    /// False when the database has no record of rows being sent (an old server database).
    bool marksSends() const { return m_marks; }

    /// Where the fault and recovery lines go (run-log messages beginning with "：").
    void setLog(LogSink log) { m_log = std::move(log); }

    QList<DeviceRecord> devices(int limit, QString *error) override;
    bool setInUse(int id, const QString &inUseing, QString *error) override;
    std::optional<DeviceRecord> device(int id, QString *error) override;
    bool writeDevice(const DeviceRecord &record, QString *error) override;
    QString deviceListQuery(int limit) const override;
    bool saveSentCounters(const QList<std::pair<int, qint64>> &counts, QString *error) override;
    Claim claimNext(int port, const QString &ranges, const QDateTime &now) override;
    Move moveToSent(qint64 id, const QDateTime &when) override;
    Move moveToBad(qint64 id, const QDateTime &when, const QString &why) override;
    bool addInbox(const QString &mbno, const QString &msg, const QString &arriveTime, int comPort,
                  QString *error) override;
    bool addReport(const QString &rpMsg, const QString &sendTime, const QString &arrivedTime,
                   QString *error) override;
    bool addCall(const QString &mbno, const QDateTime &when, int comPort, QString *error) override;
    qint64 count(const QString &table) override;
    bool unmarkSending(qint64 id, QString *error) override;
    QList<SendMark> sendMarks(int port, QString *error) override;
    bool sweepSendMarks(QString *error) override;
    QList<int> claimedPorts(QString *error) override;
    int releaseClaims(int port, QString *error) override;
    bool returnClaim(qint64 id, int port, QString *error) override;
    std::optional<OutboxMessage> oldestDue(const QDateTime &now, QDateTime *since,
                                           QString *error) override;
    bool unavailable() const override { return m_faulty; }

    /// Received rows waiting for the database to come back.
    int keptRows() const { return int(m_kept.size()); }
    /// The longest pause between two attempts, in seconds.
    static constexpr int kMaxPauseSeconds = 60;

private:
    /// A received row kept through a fault, written when the database is back.
    struct KeptRow
    {
        enum class Table { Inbox, Report, Call } table;
        QString a, b, c;
        QDateTime when;
        int comPort = 0;
    };

    /// False while the database is known to be faulty and the pause has not passed; else the
    /// call may run (after a reconnect and the kept rows, when there was a fault).
    bool ready();
    Move move(qint64 id, const QDateTime &when, bool sent, const QString &why);
    /// After a call: a fault starts or goes on (true), or the call's success or its own error
    /// ends one (false).
    bool failed(const QString &error);
    void succeeded();
    void enterFault(db::DbFault fault, const QString &error);
    bool writeKept();
    bool writeRow(const KeptRow &row, QString *error);
    bool keepOrWrite(KeptRow row, QString *error);
    void reportUnreadableSendTimes();
    void log(const QString &message) const;

    /// Runs a call that reports failure through its error text: not at all while the database is
    /// faulty (error then says so), and a failure is looked at for a fault of the database.
    template<typename Result, typename Call>
    Result guarded(QString *error, Result unavailableResult, Call call);

    db::Database &m_db;
    bool m_marks = false;
    LogSink m_log;
    bool m_faulty = false;
    bool m_lost = false; ///< the connection has to be opened again
    int m_attempts = 0;
    int m_pauseSeconds = 1;
    QDeadlineTimer m_retryAt;
    std::deque<KeptRow> m_kept;
    /// Moves cut off by a lost connection: the commit may have gone through.
    QSet<qint64> m_uncertainMoves;
    QElapsedTimer m_sendTimeCheck;
    QSet<qint64> m_reportedSendTimes;
};

} // namespace lonvera::server
