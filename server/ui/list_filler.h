// Filling a report-style list with the rows of a query: the widget side of the record lists.
// The rows come from lonvera::db::readRecordPage / readAllRecords (server/db/record_page.h),
// which open a connection of their own for each call; this side only lays out the list.
//
// Interface, for the windows that use it:
// - The list is a QTreeWidget used as a flat report list (no child rows).
// - fillListView(list, pageSize, pageNumber, connectionString, query, keyField, previous, next,
//   columns, icons) rebuilds the whole list with one page of rows: column headers from the ten
//   ColumnSpecs, item text = columns[0]'s field, text of column j = columns[j]'s field
//   (j = 1 … 9), item key "k" + key field (itemKey / findItemByKey), icon icons(6) when the
//   record's InUseing is "启用", else icons(5). pageNumber is in/out: a page beyond the last one
//   shows, and gives back, page 1. previous / next are enabled exactly when there is a page
//   before / after the shown one (both disabled for an empty result). A Null value leaves its
//   cell empty. The result says why nothing was listed when the connection or query failed; the
//   list keeps its columns then and both switches are disabled.
// - fillListViewAll(...) is the variant without paging: every row, a zero-width column 0 headed
//   by the key field's name holding the key, columns[k] filling column k + 1, no icons.
// - Column widths are fractions of W = list width − 300 twips, twips converted through the
//   list's logical DPI (15 twips = 1 pixel at 96 DPI); twipsToPixels does that conversion.
// GUI thread only.
#pragma once

#include "server/db/record_page.h"

#include <QIcon>
#include <QPointer>
#include <QString>

#include <array>
#include <cstddef>
#include <functional>

class QAction;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace lonvera::ui {

/// Horizontal alignment codes of a list column.
enum class ColumnAlignment : qint16 { Left = 0, Right = 1, Centre = 2 };

/// One column of the list: header caption, record field shown, width as a fraction of W, and
/// alignment. An empty caption makes no column (except for the first one); an empty
/// field shows nothing.
struct ColumnSpec
{
    QString caption;
    QString field;
    double width = 0;
    ColumnAlignment alignment = ColumnAlignment::Left;
};

using ColumnSpecs = std::array<ColumnSpec, 10>;

/// Hands out the pictures of the caller's image list by index (5 and 6 for the row icons).
using IconProvider = std::function<QIcon(int index)>;

/// Something with an enabled switch that pages the list: a (possibly hidden) menu action or a
/// widget such as a button. A default-constructed switch does nothing.
class PageSwitch
{
public:
    PageSwitch() = default;
    PageSwitch(std::nullptr_t) {}
    PageSwitch(QAction *action);
    PageSwitch(QWidget *widget);
    void setEnabled(bool enabled) const;

private:
    QPointer<QAction> m_action;
    QPointer<QWidget> m_widget;
};

/// The icon index of a record: 6 for a device in use ("启用"), 5 for anything else, Null too.
int rowIconIndex(const QVariant &inUseing);

/// Twips to device-independent pixels at a logical DPI (1440 twips to the inch), rounded.
int twipsToPixels(double twips, qreal logicalDpi);

/// The width unit W of a list in pixels: its width less 300 twips, never below 0.
int widthUnit(const QTreeWidget *list);

/// The item key of a list row ("k" + key value), as fillListView stored it.
QString itemKey(const QTreeWidgetItem *item);
QTreeWidgetItem *findItemByKey(const QTreeWidget *list, const QString &key);

/// Text of a cell for a record value: empty for Null, dates as "yyyy-MM-dd HH:mm:ss".
QString cellText(const QVariant &value);

/// The outcome of a fill.
struct FillOutcome
{
    int pageNumber = 1; ///< the page shown
    int pageCount = 0;
    QString error; ///< why no rows were listed; empty on success
    bool ok() const { return error.isEmpty(); }
};

/// Rebuilds the list with one page of the query's rows (see the file head).
FillOutcome fillListView(QTreeWidget *list, int pageSize, int &pageNumber,
                         const QString &connectionString, const QString &query,
                         const QString &keyField, const PageSwitch &previous,
                         const PageSwitch &next, const ColumnSpecs &columns,
                         const IconProvider &icons);

/// Clears the list and lays out fillListViewAll's columns, reading nothing (a list with no
/// database behind it yet).
void prepareListViewAll(QTreeWidget *list, const QString &keyField, const ColumnSpecs &columns);

/// Rebuilds the list with every row of the query, without paging and icons (see the file head).
FillOutcome fillListViewAll(QTreeWidget *list, const QString &connectionString,
                            const QString &query, const QString &keyField,
                            const ColumnSpecs &columns);

} // namespace lonvera::ui
