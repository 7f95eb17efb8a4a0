#pragma once
// Sorting and filtering a table. A click on a column's header sorts by its
// values (numbers, durations and dates by value, texts in the user's
// collation, empty cells last in both directions): the first click
// ascending, the second descending, the third back to the rows' own (file)
// order. The sort is part of the header's saved state, so it comes back
// after a restart. A filter shows the rows of one project, or whose name
// holds a text. A reload sorts and filters the new rows again, comparing the
// keys the model computes once per column.

#include <cstdint>
#include <functional>
#include <vector>

#include <QAbstractProxyModel>

#include "tables/table_definition.hpp"

class QTableView;

namespace crunchwatch {

class TableModel;

// The rows of a table model in the order of one column, those the filter
// passes. In the rows' own order, unfiltered, it holds nothing per row (a
// state file of a million projects shows a million rows); otherwise the
// order both ways, four bytes each. A sort keeps the selection and the
// current row; a reload of the source orders its new rows before the view
// sees them.
class SortingProxy final : public QAbstractProxyModel {
    Q_OBJECT
public:
    SortingProxy(TableModel* source, QObject* parent);

    // column -1: the source's own order.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    int sortColumn() const noexcept { return m_column; }
    Qt::SortOrder sortOrder() const noexcept { return m_order; }
    void setFilter(RowFilter filter);
    TableModel* table() const noexcept { return m_source; }
    // The source's row shown at `row`.
    int sourceRow(int row) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QModelIndex mapToSource(const QModelIndex& proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex& sourceIndex) const override;

signals:
    // After the rows shown changed: a reload, a sort or a filter.
    void rowsShownChanged();

private:
    void order();  // m_toSource and m_fromSource for the filter, the column and the source's rows
    void reorder(const std::function<void()>& change);

    TableModel* m_source;
    int m_column = -1;
    Qt::SortOrder m_order = Qt::AscendingOrder;
    RowFilter m_filter;
    bool m_identity = true;                                // the source's own rows and order
    std::vector<std::uint32_t> m_toSource, m_fromSource;  // empty while m_identity
};

// Puts a sorting proxy between `view` and `source`; returns the proxy.
SortingProxy* installSorting(QTableView* view, TableModel* source);

// Applies the sort that the header shows (after its state was restored).
void applyHeaderSort(QTableView* view);

}  // namespace crunchwatch
