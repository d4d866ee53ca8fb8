// The gateway's store on the database layer: every call is one of its statements on the shared
// connection. Server thread only (the connection belongs to it).
#pragma once

#include "server/core/gateway_store.h"

namespace lonvera::db {
class Database;
}

namespace lonvera::server {

class DbGatewayStore : public GatewayStore
{
public:
    /// The database must be open and outlive the store.
    /// Creates the table of rows being sent in a default database that lacks it.
    explicit DbGatewayStore(db::Database &database);
    /// False when the database has no record of rows being sent (an old server database).
    bool marksSends() const { return m_marks; }

    QList<DeviceRecord> devices(int limit, QString *error) override;
    bool setInUse(int id, const QString &inUseing, QString *error) override;
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

private:
    db::Database &m_db;
    bool m_marks = false;
};

} // namespace lonvera::server
