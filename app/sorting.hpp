#pragma once
// Sorting a table by clicking its header, by value rather than by text: the
// first click on a column sorts ascending, the second descending, the third
// returns to the rows' own (file) order. The sort is part of the header's
// saved state, so it comes back after a restart. A reload sorts the new rows
// again, comparing the keys the model computes once per column.

class QSortFilterProxyModel;
class QTableView;

namespace crunchwatch {

class SnapshotModel;

// Puts a sorting proxy between `view` and `source`; returns the proxy.
QSortFilterProxyModel* installSorting(QTableView* view, SnapshotModel* source);

// Applies the sort that the header shows (after its state was restored).
void applyHeaderSort(QTableView* view);

}  // namespace crunchwatch
