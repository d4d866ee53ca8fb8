// Dispatcher statements per dialect. See dispatch_statements.h.
#include "server/db/dispatch_statements.h"

#include <QStringList>

namespace lonvera::db {

namespace {

// The condition's prefix test as the engines make it: the first `length` characters (fewer
// when the number is shorter) compared as text with the bounds.
bool prefixBetween(QStringView mbno, qsizetype length, QStringView low, QStringView high)
{
    const QStringView prefix = mbno.left(length);
    return prefix.compare(low) >= 0 && prefix.compare(high) <= 0;
}

bool coversMobile(QStringView mbno)
{
    return prefixBetween(mbno, 3, u"134", u"159") || prefixBetween(mbno, 5, u"86134", u"86159");
}

bool coversUnicom(QStringView mbno)
{
    return prefixBetween(mbno, 3, u"130", u"133") || prefixBetween(mbno, 5, u"86130", u"86133");
}

bool coversPhs(QStringView mbno)
{
    return mbno.left(3) == u"106";
}

bool coversOther(QStringView mbno)
{
    return mbno.size() < 11;
}

struct RangeCondition
{
    const char16_t *name;
    const char16_t *tsql;
    const char16_t *sqlite;
    const char16_t *postgresql;
    /// The same condition on a number at hand, for saying why no device takes a row.
    bool (*covers)(QStringView mbno);
};

// The four ranges in the order their conditions are joined. The T-SQL texts are the ones the
// gateway has always sent; the others say the same with their engine's functions. Each begins
// with a blank. Prefixes are compared as text, which orders digit strings of one length as
// numbers.
constexpr RangeCondition rangeConditions[] = {
    {u"移动",
     u" LEFT(Mbno, 3)  Between '134' AND '159' OR LEFT(Mbno, 5)  Between '86134' AND '86159'",
     u" substr(Mbno, 1, 3)  Between '134' AND '159' OR substr(Mbno, 1, 5)  Between '86134' AND "
     u"'86159'",
     u" left(Mbno, 3)  Between '134' AND '159' OR left(Mbno, 5)  Between '86134' AND '86159'",
     coversMobile},
    {u"联通",
     u" LEFT(Mbno, 3)  Between '130' AND '133' OR LEFT(Mbno, 5)  Between '86130' AND '86133'",
     u" substr(Mbno, 1, 3)  Between '130' AND '133' OR substr(Mbno, 1, 5)  Between '86130' AND "
     u"'86133'",
     u" left(Mbno, 3)  Between '130' AND '133' OR left(Mbno, 5)  Between '86130' AND '86133'",
     coversUnicom},
    {u"小灵通", u" LEFT(Mbno, 3)='106'", u" substr(Mbno, 1, 3)='106'", u" left(Mbno, 3)='106'",
     coversPhs},
    {u"其它", u" len(Mbno)<11", u" length(Mbno)<11", u" length(Mbno)<11", coversOther},
};

QString dueCondition(Dialect dialect, DueClock clock)
{
    // The Access form compared "yyyy-mm-dd hh-mm-ss" texts, so a row is due once the clock has
    // passed the second it names; truncating the clock to the second gives the same rows here.
    switch (dialect) {
    case Dialect::Sqlite:
        return clock == DueClock::Bound ? QStringLiteral("SendTime<?")
                                        : QStringLiteral("SendTime<datetime('now','localtime')");
    case Dialect::PostgreSql:
        return clock == DueClock::Bound
                   ? QStringLiteral("SendTime<CAST(? AS timestamp)")
                   : QStringLiteral("SendTime<date_trunc('second',localtimestamp)");
    case Dialect::TSql:
        break;
    }
    return clock == DueClock::Bound
               ? QStringLiteral("convert(datetime,SendTime)<convert(datetime,?,120)")
               : QStringLiteral("convert(datetime,SendTime)<"
                                "convert(datetime,convert(char(19),getdate(),120),120)");
}

} // namespace

RangeFilter rangeFilter(const QString &ranges, Dialect dialect)
{
    if (ranges.contains(u"不限范围"))
        return {};
    QStringList conditions;
    for (const RangeCondition &range : rangeConditions) {
        if (!ranges.contains(QString::fromUtf16(range.name)))
            continue;
        const char16_t *text = dialect == Dialect::TSql     ? range.tsql
                               : dialect == Dialect::Sqlite ? range.sqlite
                                                            : range.postgresql;
        conditions << QString::fromUtf16(text);
    }
    if (conditions.isEmpty()) {
        // " and ()" would fail the statement on every tick; nothing qualifies instead.
        return {true, QStringLiteral(" and (1=0)")};
    }
    return {false, QStringLiteral(" and (") + conditions.join(QStringLiteral(" or ")) + u')'};
}

bool rangeCovers(const QString &ranges, const QString &mbno)
{
    if (ranges.contains(u"不限范围"))
        return true;
    for (const RangeCondition &range : rangeConditions) {
        if (ranges.contains(QString::fromUtf16(range.name)) && range.covers(mbno))
            return true;
    }
    return false;
}

QString selectionStatement(Dialect dialect, const RangeFilter &filter, DueClock clock)
{
    const QString columns = QStringLiteral("id,Mbno,Msg,SendTime,ComPort,report,username");
    const QString due = dueCondition(dialect, clock);
    auto branch = [&](const QString &port) {
        const QString where = QStringLiteral(" from outbox where ComPort=") + port +
                              QStringLiteral(" and ") + due + filter.sql +
                              QStringLiteral(" order by SendTime,id");
        if (dialect == Dialect::TSql)
            return QStringLiteral("select top 1 ") + columns + where;
        return QStringLiteral("select ") + columns + where + QStringLiteral(" limit 1");
    };
    const QString free = branch(QStringLiteral("0"));
    const QString own = branch(QStringLiteral("?"));
    if (dialect == Dialect::TSql) {
        return QStringLiteral("select top 1 * from (select * from (") + free +
               QStringLiteral(") a union all select * from (") + own +
               QStringLiteral(") b) c order by SendTime,id");
    }
    return QStringLiteral("select * from (") + free +
           QStringLiteral(") a union all select * from (") + own +
           QStringLiteral(") b order by SendTime,id limit 1");
}

QString claimStatement()
{
    return QStringLiteral("update outbox set ComPort=? where id=? and ComPort=0");
}

} // namespace lonvera::db
