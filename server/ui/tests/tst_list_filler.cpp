// The report-list filler on the gateway's SQLite database: columns, widths, keys, icons, Null
// cells and the page switches, paged and without paging.
#include "server/db/tests/test_databases.h"
#include "server/ui/list_filler.h"

#include <QAction>
#include <QHeaderView>
#include <QPushButton>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QTreeWidget>

using namespace lonvera;
using namespace lonvera::ui;

namespace {

// The device list's columns, as the server's window lays them out.
ColumnSpecs deviceColumns()
{
    ColumnSpecs c;
    c[0] = {QStringLiteral("设备编号"), QStringLiteral("SetName"), 0.25, ColumnAlignment::Left};
    c[1] = {QStringLiteral("型号"), QStringLiteral("InUseing"), 0.12, ColumnAlignment::Centre};
    c[2] = {QStringLiteral("串口号"), QStringLiteral("com"), 0.10, ColumnAlignment::Left};
    c[3] = {QStringLiteral("波特率"), QStringLiteral("rate"), 0.10, ColumnAlignment::Left};
    c[4] = {QStringLiteral("限定"), QStringLiteral("msgmax"), 0.12, ColumnAlignment::Left};
    c[5] = {QStringLiteral("已发"), QStringLiteral("MsgSendedCount"), 0.07, ColumnAlignment::Left};
    c[6] = {QStringLiteral("速度"), QStringLiteral("pace"), 0.11, ColumnAlignment::Centre};
    c[7] = {QStringLiteral("发送范围"), QStringLiteral("FOR_no"), 0.16, ColumnAlignment::Left};
    return c;
}

// Icons told apart by their cache key: the provider's index is all a test needs to see.
struct NumberedIcons
{
    QMap<qint64, int> indexOfKey;
    QIcon operator()(int index)
    {
        QPixmap pixmap(16, 16);
        pixmap.fill(QColor::fromHsv(index * 30, 255, 255));
        const QIcon icon(pixmap);
        indexOfKey.insert(icon.cacheKey(), index);
        return icon;
    }
};

} // namespace

class TestListFiller : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_folder;
    QString m_db;
    QTreeWidget m_list;
    QAction m_previous;
    QPushButton m_next;
    std::shared_ptr<NumberedIcons> m_icons = std::make_shared<NumberedIcons>();

    void exec(const QString &sql)
    {
        db::Database db(QStringLiteral("tst-list-filler"));
        QVERIFY(db.open(m_db).ok());
        QSqlQuery query(db.connection());
        QVERIFY2(query.exec(sql), qPrintable(query.lastError().text()));
    }

    FillOutcome fillDevices(int pageSize, int &page, const QString &where = {})
    {
        const auto icons = m_icons;
        return fillListView(&m_list, pageSize, page, m_db,
                            QStringLiteral("select * from comset %1 order by id").arg(where),
                            QStringLiteral("id"), &m_previous, &m_next, deviceColumns(),
                            [icons](int i) { return (*icons)(i); });
    }

    int iconIndex(int row) const
    {
        return m_icons->indexOfKey.value(m_list.topLevelItem(row)->icon(0).cacheKey(), -1);
    }

    QStringList headers() const
    {
        QStringList out;
        for (int c = 0; c < m_list.columnCount(); ++c)
            out << m_list.headerItem()->text(c);
        return out;
    }

private slots:
    void init()
    {
        QString reason;
        m_db = db::test::freshDatabase(db::test::TestEngine::Sqlite, m_folder, &reason);
        QVERIFY2(!m_db.isEmpty(), qPrintable(reason));
        m_list.resize(800, 300);
        m_previous.setEnabled(true);
        m_next.setEnabled(true);
    }

    void sixteenDevicesFitPageSize21()
    {
        int page = 1;
        QVERIFY(fillDevices(21, page).ok());
        QCOMPARE(page, 1);
        QCOMPARE(m_list.topLevelItemCount(), 16);
        QVERIFY(!m_previous.isEnabled());
        QVERIFY(!m_next.isEnabled());
        QCOMPARE(headers(), (QStringList{"设备编号", "型号", "串口号", "波特率", "限定", "已发",
                                         "速度", "发送范围"}));
        QCOMPARE(itemKey(m_list.topLevelItem(15)), QStringLiteral("k16"));
        QCOMPARE(findItemByKey(&m_list, QStringLiteral("k3")), m_list.topLevelItem(2));
        QCOMPARE(m_list.topLevelItem(0)->text(7), QStringLiteral("|不限范围|"));
        QCOMPARE(m_list.topLevelItem(0)->textAlignment(6) & Qt::AlignHorizontal_Mask,
                 int(Qt::AlignHCenter));
        QVERIFY(m_list.selectedItems().isEmpty());
        QVERIFY(!m_list.currentItem());
    }

    void pageSwitchesFollowThePage()
    {
        int page = 2;
        fillDevices(5, page);
        QCOMPARE(page, 2);
        QCOMPARE(itemKey(m_list.topLevelItem(0)), QStringLiteral("k6"));
        QVERIFY(m_previous.isEnabled());
        QVERIFY(m_next.isEnabled());
        page = 4;
        fillDevices(5, page);
        QCOMPARE(m_list.topLevelItemCount(), 1);
        QVERIFY(m_previous.isEnabled());
        QVERIFY(!m_next.isEnabled());
    }

    void pageBeyondTheLastShowsPageOne()
    {
        int page = 3;
        fillDevices(8, page);
        QCOMPARE(page, 1);
        QCOMPARE(m_list.topLevelItemCount(), 8);
        QCOMPARE(itemKey(m_list.topLevelItem(0)), QStringLiteral("k1"));
        QVERIFY(!m_previous.isEnabled());
        QVERIFY(m_next.isEnabled());
    }

    void iconFollowsInUseing()
    {
        exec(QStringLiteral("update comset set InUseing='启用' where id=1"));
        exec(QStringLiteral("update comset set InUseing='停用' where id=2"));
        exec(QStringLiteral("update comset set InUseing='启用 ' where id=3"));
        int page = 1;
        fillDevices(21, page);
        QCOMPARE(iconIndex(0), 6);
        QCOMPARE(iconIndex(1), 5);
        QCOMPARE(iconIndex(2), 5); // only the exact text means in use
        QCOMPARE(rowIconIndex(QVariant()), 5);
    }

    void nullCellIsEmpty()
    {
        exec(QStringLiteral("update comset set SetName=NULL, com=NULL where id=1"));
        int page = 1;
        QVERIFY(fillDevices(21, page).ok());
        QCOMPARE(m_list.topLevelItem(0)->text(0), QString());
        QCOMPARE(m_list.topLevelItem(0)->text(2), QString());
        QCOMPARE(m_list.topLevelItem(0)->text(3), QStringLiteral("9600"));
        QCOMPARE(m_list.topLevelItem(1)->text(2), QStringLiteral("COM2"));
    }

    void emptyResultKeepsColumnsAndDisablesBothSwitches()
    {
        int page = 2;
        QVERIFY(fillDevices(21, page, QStringLiteral("where id > 99")).ok());
        QCOMPARE(page, 1);
        QCOMPARE(m_list.topLevelItemCount(), 0);
        QCOMPARE(m_list.columnCount(), 8);
        QVERIFY(!m_previous.isEnabled());
        QVERIFY(!m_next.isEnabled());
    }

    void failingQueryKeepsColumnsAndSaysWhy()
    {
        int page = 1;
        fillDevices(21, page);
        const FillOutcome o =
            fillListView(&m_list, 21, page, m_db, QStringLiteral("select * from nothing_here"),
                         QStringLiteral("id"), &m_previous, &m_next, deviceColumns(), {});
        QVERIFY(!o.ok());
        QVERIFY(o.error.contains(QLatin1String("nothing_here")));
        QCOMPARE(m_list.topLevelItemCount(), 0);
        QCOMPARE(m_list.columnCount(), 8);
        QVERIFY(!m_previous.isEnabled());
        QVERIFY(!m_next.isEnabled());
    }

    // 15 twips are one pixel at 96 DPI: W of an 800-pixel list is 780 pixels.
    void widthsAreFractionsOfTheListLessItsMargin()
    {
        QCOMPARE(twipsToPixels(300, 96), 20);
        QCOMPARE(twipsToPixels(300, 192), 40);
        QCOMPARE(twipsToPixels(460, 96), 31);
        int page = 1;
        fillDevices(21, page);
        const int unit = widthUnit(&m_list);
        QCOMPARE(unit, 800 - twipsToPixels(300, m_list.logicalDpiX()));
        QCOMPARE(m_list.columnWidth(0), qRound(0.25 * unit));
        QCOMPARE(m_list.columnWidth(7), qRound(0.16 * unit));
        m_list.resize(10, 100);
        QCOMPARE(widthUnit(&m_list), 0);
    }

    void emptyCaptionMakesNoColumn()
    {
        ColumnSpecs c;
        c[0] = {QString(), QStringLiteral("SetName"), 0.5, ColumnAlignment::Left};
        c[1] = {QString(), QStringLiteral("com"), 0.5, ColumnAlignment::Left};
        c[2] = {QStringLiteral("串口号"), QStringLiteral("com"), 0.5, ColumnAlignment::Right};
        int page = 1;
        fillListView(&m_list, 21, page, m_db, QStringLiteral("select * from comset order by id"),
                     QStringLiteral("id"), nullptr, nullptr, c, {});
        QCOMPARE(m_list.columnCount(), 2); // column 0 always, then only the captioned one
        QCOMPARE(m_list.topLevelItem(0)->text(1), QStringLiteral("COM1"));
        QVERIFY(m_list.topLevelItem(0)->icon(0).isNull());
    }

    void allRowsWithAZeroWidthKeyColumn()
    {
        for (int i = 1; i <= 40; ++i)
            exec(QStringLiteral("insert into outbox (Mbno,Msg) values ('10086','测试内容%1')")
                     .arg(i));
        ColumnSpecs c;
        c[0] = {QStringLiteral("ID"), QStringLiteral("id"), 0.1, ColumnAlignment::Left};
        c[1] = {QStringLiteral("手机号"), QStringLiteral("mbno"), 0.2, ColumnAlignment::Left};
        c[2] = {QStringLiteral("内容"), QStringLiteral("msg"), 0.7, ColumnAlignment::Left};
        const FillOutcome o = fillListViewAll(&m_list, m_db, QStringLiteral("select * from outbox"),
                                              QStringLiteral("id"), c);
        QVERIFY2(o.ok(), qPrintable(o.error));
        QCOMPARE(headers(), (QStringList{"id", "ID", "手机号", "内容"}));
        QCOMPARE(m_list.columnWidth(0), 0);
        QCOMPARE(m_list.topLevelItemCount(), 40);
        QTreeWidgetItem *last = m_list.topLevelItem(39);
        QCOMPARE(itemKey(last), QStringLiteral("k40"));
        QCOMPARE(last->text(0), QStringLiteral("40"));
        QCOMPARE(last->text(1), QStringLiteral("40"));
        QCOMPARE(last->text(2), QStringLiteral("10086"));
        QCOMPARE(last->text(3), QStringLiteral("测试内容40"));
        QVERIFY(last->icon(0).isNull());
    }
};

QTEST_MAIN(TestListFiller)
#include "tst_list_filler.moc"
