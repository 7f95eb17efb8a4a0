#pragma once
// Sorting a table by clicking its header, by value rather than by text: the
// first click on a column sorts ascending, the second descending, the third
// returns to the rows' own (file) order. The sort is part of the header's
// saved state, so it comes back after a restart. A reload sorts the new rows
// again, comparing the keys the model computes once per column.

#include <cstdint>
#include <vector>

#include <QAbstractProxyModel>

class QTableView;

namespace crunchwatch {

class SnapshotModel;

// The rows of a snapshot model in the order of one column. In the rows' own
// order it holds nothing per row (a state file of a million projects shows a
// million rows); sorted, it holds the order both ways, four bytes each. A
// sort keeps the selection and the current row; a reload of the source
// sorts its new rows before the view sees them.
class SortingProxy final : public QAbstractProxyModel {
    Q_OBJECT
public:
    SortingProxy(SnapshotModel* source, QObject* parent);

    // column -1: the source's own order.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    int sortColumn() const noexcept { return m_column; }
    Qt::SortOrder sortOrder() const noexcept { return m_order; }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QModelIndex mapToSource(const QModelIndex& proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex& sourceIndex) const override;

private:
    void order();  // m_toSource and m_fromSource for the current column and the source's rows

    SnapshotModel* m_source;
    int m_column = -1;
    Qt::SortOrder m_order = Qt::AscendingOrder;
    std::vector<std::uint32_t> m_toSource, m_fromSource;  // both empty in the source's own order
};

// Puts a sorting proxy between `view` and `source`; returns the proxy.
SortingProxy* installSorting(QTableView* view, SnapshotModel* source);

// Applies the sort that the header shows (after its state was restored).
void applyHeaderSort(QTableView* view);

}  // namespace crunchwatch
