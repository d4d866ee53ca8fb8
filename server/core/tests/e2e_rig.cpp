// See e2e_rig.h.
#include "e2e_rig.h"

#include "control/pdu/pdu.h"
#include "platform/profile_file.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

namespace lonvera::server::test {

using namespace Qt::StringLiterals;

E2eRig::E2eRig() = default;

E2eRig::~E2eRig()
{
    if (QTest::currentTestFailed())
        reportLeftRows();
    m_check.reset();
    m_emulator.stop();
}

bool E2eRig::setUp(db::test::TestEngine engine, int modems, QString *reason,
                   const emulator::ProfileSet &profiles)
{
    if (!m_dir.isValid() || !QDir().mkpath(home() + u"/report"_s)) {
        *reason = u"no temporary folder"_s;
        return false;
    }
    // Everything below (ports, worker server socket, single-instance name) follows the prefix.
    qputenv("LONVERA_PREFIX", prefix().toUtf8());
    m_connection = db::test::freshDatabase(engine, m_dir, reason);
    if (m_connection.isEmpty())
        return false;
    m_check = std::make_unique<db::Database>(u"e2e-check"_s);
    const db::OpenOutcome opened = m_check->open(m_connection);
    if (!opened.ok()) {
        *reason = opened.description;
        return false;
    }
    if (!exec(u"UPDATE comset SET InUseing='启用' WHERE id<=%1"_s.arg(modems)))
        return false;

    emulator::EmulatorOptions options;
    options.prefix = prefix();
    options.modems = modems;
    options.profiles = profiles;
    m_emulator.startInThread();
    if (!m_emulator.start(options, reason))
        return false;
    for (int com = 1; com <= modems; ++com)
        m_numbers << m_emulator.number(com);

    QFile ini(home() + u"/set.ini"_s);
    if (!ini.open(QIODevice::WriteOnly)) {
        *reason = ini.errorString();
        return false;
    }
    ini.write(
        u"[Ocxdb]\ndatabase=%1\n[ocx]\nVer=1\n[AUTOC]\nreport=1\n"_s.arg(m_connection).toUtf8());
    return true;
}

void E2eRig::addSetting(const QString &section, const QString &key, const QString &value)
{
    platform::ProfileFile(home() + u"/set.ini"_s).writeString(section, key, value);
}

bool E2eRig::queue(int first, int count, int longEvery, int reportEvery)
{
    QSqlDatabase db = m_check->connection();
    db.transaction();
    QSqlQuery q(db);
    q.prepare(u"INSERT INTO outbox (Mbno, Msg, report) VALUES (?, ?, ?)"_s);
    for (int i = first; i < first + count; ++i) {
        const int n = int(m_numbers.size());
        QString text = u"#%1 message to the next modem"_s.arg(i);
        if (longEvery > 0 && i % longEvery == longEvery - 1)
            text += u", long enough to travel in several parts"_s.repeated(6);
        q.addBindValue(m_numbers[(i + 1) % n]);
        q.addBindValue(text);
        q.addBindValue(reportEvery > 0 && i % reportEvery == 0 ? 1 : 0);
        if (!q.exec()) {
            qWarning() << "insert failed:" << q.lastError().text();
            db.rollback();
            return false;
        }
    }
    return db.commit();
}

qint64 E2eRig::scalar(const QString &sql)
{
    QSqlQuery q(m_check->connection());
    if (!q.exec(sql) || !q.next())
        return -1;
    return q.value(0).toLongLong();
}

QStringList E2eRig::column(const QString &sql)
{
    QStringList out;
    QSqlQuery q(m_check->connection());
    if (!q.exec(sql))
        qWarning() << sql << q.lastError().text();
    while (q.next())
        out << q.value(0).toString();
    return out;
}

bool E2eRig::exec(const QString &sql)
{
    QSqlQuery q(m_check->connection());
    if (!q.exec(sql)) {
        qWarning() << sql << q.lastError().text();
        return false;
    }
    return true;
}

void E2eRig::reportLeftRows()
{
    // A failed run on a CI machine leaves nothing else behind to look at.
    const QHash<int, int> wire = sentTags();
    const auto show = [&](const QString &sql) {
        QSqlQuery q(m_check->connection());
        if (!q.exec(sql))
            qWarning() << sql << q.lastError().text();
        while (q.next()) {
            const QString text = q.value(1).toString();
            qWarning().noquote() << q.value(0).toString() << "|" << text.left(60)
                                 << "| first part on the wire" << wire.value(tagOf(text))
                                 << "times";
        }
    };
    show(u"select 'outbox id ' || o.id || ' ComPort ' || o.ComPort || ' SendTime ' || o.SendTime "
         "|| ' being sent by ' || coalesce(s.ComPort, '-') || ' since ' || coalesce(s.SinceTime, "
         "'-'), o.Msg from outbox o left join outbox_sending s on s.id = o.id"_s);
    show(u"select 'badoutbox ' || coalesce(bad_why, ''), Msg from badoutbox"_s);
}

QString E2eRig::unusualLines(const QStringList &lines)
{
    QStringList kept;
    qsizetype routine = 0;
    for (const QString &line : lines) {
        if (line.contains(u"成功发送 1 条信息["_s) || line.contains(u"条新信息("_s))
            ++routine;
        else
            kept.append(line);
    }
    kept.append(u"(%1 routine lines of messages sent and received left out)"_s.arg(routine));
    return kept.join(u'\n');
}

bool E2eRig::reconnect()
{
    return m_check->reopen().ok();
}

int E2eRig::tagOf(const QString &text)
{
    static const QRegularExpression tag(u"^#(\\d+) "_s);
    const QRegularExpressionMatch m = tag.match(text);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QHash<int, int> E2eRig::sentTags() const
{
    QHash<int, int> tags;
    for (const emulator::SentMessage &sent : m_emulator.sentMessages()) {
        if (sent.reference < 0)
            continue; // refused by the network: not sent
        const auto decoded = pdu::decodePduHex(QString::fromLatin1(sent.pdu));
        if (!decoded.ok() || !decoded.value().submit())
            continue;
        const pdu::UserData &ud = decoded.value().submit()->userData;
        if (ud.concatenation && ud.concatenation->sequence != 1)
            continue;
        const int tag = tagOf(ud.text);
        if (tag >= 0)
            ++tags[tag];
    }
    return tags;
}

} // namespace lonvera::server::test
