// Filling report lists. See list_filler.h.
#include "server/ui/list_filler.h"

#include <QAction>
#include <QDateTime>
#include <QHeaderView>
#include <QTreeWidget>
#include <QWidget>

#include <cmath>

namespace lonvera::ui {

namespace {

constexpr double twipsPerInch = 1440;
// The list's border and scroll bar take this much of its width before any column.
constexpr double listMarginTwips = 300;
constexpr int inUseIcon = 6;
constexpr int notInUseIcon = 5;
constexpr int keyRole = Qt::UserRole;

Qt::Alignment alignmentOf(ColumnAlignment a)
{
    switch (a) {
    case ColumnAlignment::Right:
        return Qt::AlignRight | Qt::AlignVCenter;
    case ColumnAlignment::Centre:
        return Qt::AlignHCenter | Qt::AlignVCenter;
    case ColumnAlignment::Left:
        break;
    }
    return Qt::AlignLeft | Qt::AlignVCenter;
}

// One column of the list: where its text comes from and how it looks.
struct Column
{
    QString caption;
    QString field; ///< empty: the column stays empty
    double width = 0;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
};

double unitOf(const QTreeWidget *list)
{
    const double margin = listMarginTwips * list->logicalDpiX() / twipsPerInch;
    return std::max(0.0, list->width() - margin);
}

// The look every fill sets: a flat report list whose rows are chosen, never edited in place.
void setLook(QTreeWidget *list)
{
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setAllColumnsShowFocus(true);
    list->setUniformRowHeights(true);
    list->setSortingEnabled(false);
    // Widths are exactly the specified fractions; a zero-width key column must stay zero.
    list->header()->setMinimumSectionSize(0);
    list->header()->setStretchLastSection(false);
}

void setColumns(QTreeWidget *list, const QList<Column> &columns)
{
    auto *header = new QTreeWidgetItem;
    for (int c = 0; c < columns.size(); ++c) {
        header->setText(c, columns.at(c).caption);
        header->setTextAlignment(c, columns.at(c).alignment);
    }
    list->setColumnCount(int(columns.size()));
    list->setHeaderItem(header); // takes it, deleting the previous one
    const double unit = unitOf(list);
    for (int c = 0; c < columns.size(); ++c)
        list->setColumnWidth(c, int(std::lround(columns.at(c).width * unit)));
}

QStringList fieldsOf(const QList<Column> &columns, const QString &keyField, bool withInUse)
{
    QStringList fields{keyField};
    if (withInUse)
        fields << QStringLiteral("InUseing");
    for (const Column &c : columns)
        if (!c.field.isEmpty() && !fields.contains(c.field, Qt::CaseInsensitive))
            fields << c.field;
    return fields;
}

void addRows(QTreeWidget *list, const db::RecordPage &page, const QList<Column> &columns,
             const QString &keyField, const IconProvider &icons)
{
    QList<QTreeWidgetItem *> items;
    items.reserve(page.rows.size());
    for (qsizetype r = 0; r < page.rows.size(); ++r) {
        auto *item = new QTreeWidgetItem;
        item->setData(0, keyRole, QStringLiteral("k") + cellText(page.value(r, keyField)));
        for (int c = 0; c < columns.size(); ++c) {
            item->setTextAlignment(c, columns.at(c).alignment);
            // A column whose caption names the field shows that field; a Null stays empty.
            for (qsizetype f = 0; f < page.fields.size() && !columns.at(c).field.isEmpty(); ++f) {
                if (page.fields.at(f).compare(columns.at(c).field, Qt::CaseInsensitive) == 0) {
                    item->setText(c, cellText(page.rows.at(r).at(f)));
                    break;
                }
            }
        }
        if (icons)
            item->setIcon(0, icons(rowIconIndex(page.value(r, QStringLiteral("InUseing")))));
        items << item;
    }
    list->addTopLevelItems(items);
}

// One shown column per captioned entry of `columns` from index `from` on, appended to `shown`.
void appendCaptioned(QList<Column> &shown, const ColumnSpecs &columns, std::size_t from)
{
    for (std::size_t c = from; c < columns.size(); ++c) {
        const ColumnSpec &column = columns[c];
        if (!column.caption.isEmpty())
            shown << Column{column.caption, column.field, column.width,
                            alignmentOf(column.alignment)};
    }
}

// The key column first, zero wide, then one column per captioned entry.
QList<Column> unpagedColumns(const QString &keyField, const ColumnSpecs &columns)
{
    QList<Column> shown{{keyField, keyField, 0, Qt::AlignLeft | Qt::AlignVCenter}};
    appendCaptioned(shown, columns, 0);
    return shown;
}

void prepare(QTreeWidget *list, const QList<Column> &columns)
{
    list->clear();
    setLook(list);
    setColumns(list, columns);
}

FillOutcome outcomeOf(const db::RecordPage &page)
{
    return {page.pageNumber, page.pageCount, page.error};
}

} // namespace

PageSwitch::PageSwitch(QAction *action) : m_action(action) {}

PageSwitch::PageSwitch(QWidget *widget) : m_widget(widget) {}

void PageSwitch::setEnabled(bool enabled) const
{
    if (m_action)
        m_action->setEnabled(enabled);
    if (m_widget)
        m_widget->setEnabled(enabled);
}

int rowIconIndex(const QVariant &inUseing)
{
    return !inUseing.isNull() && inUseing.toString() == QStringLiteral("启用") ? inUseIcon
                                                                               : notInUseIcon;
}

int twipsToPixels(double twips, qreal logicalDpi)
{
    return int(std::lround(twips * logicalDpi / twipsPerInch));
}

int widthUnit(const QTreeWidget *list)
{
    return int(std::lround(unitOf(list)));
}

QString itemKey(const QTreeWidgetItem *item)
{
    return item ? item->data(0, keyRole).toString() : QString();
}

QTreeWidgetItem *findItemByKey(const QTreeWidget *list, const QString &key)
{
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (itemKey(list->topLevelItem(i)) == key)
            return list->topLevelItem(i);
    return nullptr;
}

QString cellText(const QVariant &value)
{
    if (value.isNull())
        return {};
    switch (value.metaType().id()) {
    case QMetaType::QDateTime:
        return value.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case QMetaType::QDate:
        return value.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    default:
        break;
    }
    return value.toString();
}

FillOutcome fillListView(QTreeWidget *list, int pageSize, int &pageNumber,
                         const QString &connectionString, const QString &query,
                         const QString &keyField, const PageSwitch &previous,
                         const PageSwitch &next, const ColumnSpecs &columns,
                         const IconProvider &icons)
{
    QList<Column> shown{{columns[0].caption, columns[0].field, columns[0].width, {}}};
    appendCaptioned(shown, columns, 1);
    shown[0].alignment = Qt::AlignLeft | Qt::AlignVCenter; // the item column is always left
    prepare(list, shown);

    db::PageRequest request;
    request.connectionString = connectionString;
    request.query = query;
    request.fields = fieldsOf(shown, keyField, true);
    request.optionalFields = {QStringLiteral("InUseing")};
    request.pageSize = pageSize;
    request.pageNumber = pageNumber;
    const db::RecordPage page = db::readRecordPage(request);

    pageNumber = page.pageNumber;
    previous.setEnabled(page.ok() && page.hasPreviousPage());
    next.setEnabled(page.ok() && page.hasNextPage());
    if (page.ok())
        addRows(list, page, shown, keyField, icons);
    list->clearSelection();
    list->setCurrentItem(nullptr);
    return outcomeOf(page);
}

void prepareListViewAll(QTreeWidget *list, const QString &keyField, const ColumnSpecs &columns)
{
    prepare(list, unpagedColumns(keyField, columns));
    list->setAlternatingRowColors(true);
}

FillOutcome fillListViewAll(QTreeWidget *list, const QString &connectionString,
                            const QString &query, const QString &keyField,
                            const ColumnSpecs &columns)
{
    const QList<Column> shown = unpagedColumns(keyField, columns);
    prepare(list, shown);
    list->setAlternatingRowColors(true);

    db::PageRequest request;
    request.connectionString = connectionString;
    request.query = query;
    request.fields = fieldsOf(shown, keyField, false);
    const db::RecordPage page = db::readAllRecords(request);
    if (page.ok())
        addRows(list, page, shown, keyField, {});
    list->clearSelection();
    list->setCurrentItem(nullptr);
    return outcomeOf(page);
}

} // namespace lonvera::ui
