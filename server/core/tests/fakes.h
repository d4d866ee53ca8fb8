// Fakes of the worker and the store for the core's tests: a worker that records its calls and
// lets the test raise its events, and an in-memory store with the claim and move rules.
#pragma once

#include "server/core/gateway_store.h"
#include "server/core/worker_handle.h"
#include "server/db/dispatch_statements.h"

#include <QStringList>

#include <map>
#include <vector>

namespace lonvera::server::testing {

class FakeWorker : public WorkerHandle
{
    Q_OBJECT
public:
    int comport() const override { return port; }
    void setComport(int p) override { port = p; }
    void setSettings(const QString &s) override { settings = s; }
    void setSmsservice(const QString &s) override { service = s; }
    void connectDevice(int wait, bool autoRev) override
    {
        calls << QStringLiteral("Connect %1 %2").arg(wait).arg(autoRev);
    }
    QString sendsmsA(const QString &id, const QString &msg, const QString &mbno, int report,
                     bool validity, int waitSeconds) override
    {
        calls << QStringLiteral("SendsmsA %1 %2 %3 %4 %5 %6")
                     .arg(id, msg, mbno)
                     .arg(report)
                     .arg(validity)
                     .arg(waitSeconds);
        sent << id;
        return nextAnswer;
    }
    void readMsg() override { calls << QStringLiteral("ReadMsg"); }
    void ping() override { ++pings; }
    void closePort() override
    {
        calls << QStringLiteral("ClosePort");
        ++closeCount;
    }
    int lastError() const override { return 0; }

    int port = 0;
    QString settings;
    QString service;
    QStringList calls;
    QStringList sent;
    QString nextAnswer = QStringLiteral("y");
    int closeCount = 0;
    int pings = 0;
};

class FakeFactory : public WorkerFactory
{
public:
    std::unique_ptr<WorkerHandle> create(int *error) override
    {
        if (failWith) {
            *error = failWith;
            return nullptr;
        }
        auto w = std::make_unique<FakeWorker>();
        created.push_back(w.get());
        return w;
    }
    void endServer() override { ++endCount; }
    QString errorText(int number) const override { return QStringLiteral("error %1").arg(number); }

    std::vector<FakeWorker *> created;
    int failWith = 0;
    int endCount = 0;
};

class FakeStore : public GatewayStore
{
public:
    struct Row
    {
        OutboxMessage m;
        QDateTime sendTime;
    };

    QList<DeviceRecord> devices(int limit, QString *) override { return deviceRows.mid(0, limit); }
    bool setInUse(int id, const QString &v, QString *) override
    {
        for (DeviceRecord &d : deviceRows) {
            if (d.id == id)
                d.inUseing = v;
        }
        return true;
    }
    bool saveSentCounters(const QList<std::pair<int, qint64>> &counts, QString *) override
    {
        for (const auto &[id, c] : counts) {
            for (DeviceRecord &d : deviceRows) {
                if (d.id == id)
                    d.msgSendedCount = c;
            }
        }
        ++saves;
        return true;
    }
    Claim claimNext(int port, const QString &ranges, const QDateTime &now) override
    {
        ++claims;
        lastRanges = ranges;
        if (failClaims)
            return {ClaimStatus::Failed, {}, QStringLiteral("database is locked")};
        const Row *best = nullptr;
        for (const Row &r : outbox) {
            if (r.sendTime >= now || (r.m.comPort != 0 && r.m.comPort != port) ||
                !lonvera::db::rangeCovers(ranges, r.m.mbno))
                continue;
            if (!best || r.sendTime < best->sendTime ||
                (r.sendTime == best->sendTime && r.m.id < best->m.id))
                best = &r;
        }
        if (!best)
            return {};
        Row &row = const_cast<Row &>(*best);
        OutboxMessage claimed = row.m;
        claimed.claimedNow = row.m.comPort == 0;
        row.m.comPort = port;
        claimed.comPort = port;
        return {ClaimStatus::Claimed, claimed, {}};
    }
    Move moveToSent(qint64 id, const QDateTime &) override { return move(id, sentIds); }
    Move moveToBad(qint64 id, const QDateTime &, const QString &why) override
    {
        badWhy << why;
        return move(id, badIds);
    }
    bool addInbox(const QString &mbno, const QString &msg, const QString &t, int port,
                  QString *) override
    {
        inbox << QStringList{mbno, msg, t, QString::number(port)};
        return true;
    }
    bool addReport(const QString &a, const QString &b, const QString &c, QString *) override
    {
        reports << QStringList{a, b, c};
        return true;
    }
    bool addCall(const QString &mbno, const QDateTime &, int port, QString *) override
    {
        calls << QStringList{mbno, QString::number(port)};
        return true;
    }
    qint64 count(const QString &table) override
    {
        if (table == QLatin1String("outbox"))
            return outbox.size();
        if (table == QLatin1String("SendedOutBox"))
            return sentIds.size();
        if (table == QLatin1String("badoutbox"))
            return badIds.size();
        if (table == QLatin1String("inbox"))
            return inbox.size();
        return failCounts ? -1 : calls.size();
    }

    std::optional<OutboxMessage> oldestDue(const QDateTime &now, QDateTime *since,
                                           QString *) override
    {
        const Row *best = nullptr;
        for (const Row &r : outbox) {
            if (r.sendTime < now && (!best || r.sendTime < best->sendTime))
                best = &r;
        }
        if (!best)
            return std::nullopt;
        *since = best->sendTime;
        return best->m;
    }
    bool returnClaim(qint64 id, int port, QString *) override
    {
        for (Row &r : outbox) {
            if (r.m.id == id && r.m.comPort == port) {
                r.m.comPort = 0;
                return true;
            }
        }
        return false;
    }

    void addOutbox(qint64 id, const QString &mbno, const QDateTime &due, int comPort = 0)
    {
        outbox.append(
            {OutboxMessage{id, mbno, QStringLiteral("text %1").arg(id), comPort, 0}, due});
    }
    const Row *outboxRow(qint64 id) const
    {
        for (const Row &r : outbox) {
            if (r.m.id == id)
                return &r;
        }
        return nullptr;
    }

    QList<DeviceRecord> deviceRows;
    QList<Row> outbox;
    QList<qint64> sentIds, badIds;
    QStringList badWhy;
    QList<QStringList> inbox, reports, calls;
    int claims = 0;
    int saves = 0;
    bool failClaims = false;
    bool failMoves = false;
    bool failCounts = false;
    QString lastRanges;

private:
    Move move(qint64 id, QList<qint64> &into)
    {
        if (failMoves)
            return {MoveStatus::Failed, {}, QStringLiteral("disk full")};
        for (qsizetype i = 0; i < outbox.size(); ++i) {
            if (outbox[i].m.id == id) {
                Move m{MoveStatus::Moved, outbox[i].m, {}};
                outbox.removeAt(i);
                into << id;
                return m;
            }
        }
        into << id;
        return {MoveStatus::RowMissing, {}, {}};
    }
};

} // namespace lonvera::server::testing
