#pragma once
// What every table view of the window shares: fixed row heights (a million
// rows cost nothing to lay out), columns that can be moved, resized and
// sorted, the cell delegate (a cut-off cell's tooltip is its whole text),
// Copy of the selected rows (Ctrl+C and the context menu), and a note in
// the empty area that says why there is nothing to show. A table whose
// layout is saved also offers its columns to show or hide.

#include <initializer_list>

#include <QString>

class QAction;
class QMenu;
class QTableView;
class QWidget;

namespace crunchwatch {

class SortingProxy;
class TableModel;
class TableNote;

// A table view over `model`, sorted and filtered through a proxy of its own.
QTableView* makeTable(TableModel* model, QWidget* parent);
SortingProxy* proxyOf(const QTableView* view);
// Selects the row that is the model's row `sourceRow`, makes it current and
// scrolls to it; false when the view does not show it (filtered out).
bool selectSourceRow(QTableView* view, int sourceRow);
TableNote* noteOf(const QTableView* view);

// First-run column widths, from sample contents in the table's own font, so
// they fit whatever font the desktop uses. A saved layout replaces them.
void setInitialWidths(QTableView* view, std::initializer_list<const char*> samples);

// The header's context menu lists every column by its title, ticked while it
// is shown; choosing one shows or hides it (the last one shown stays), and
// the header's saved layout keeps the choice.
void offerColumns(QTableView* view);
// That menu, as it is at this moment (the caller owns it).
QMenu* columnsMenu(QTableView* view, QWidget* parent);

// The rows that hold a selected cell, in the order shown, each as its
// visible columns' texts in their shown order, tab-separated, one per line.
QString selectedRowsText(const QTableView* view);
// The view's Copy action (Ctrl+C and the context menu), for a table that
// copies its rows otherwise.
QAction* copyActionOf(const QTableView* view);

}  // namespace crunchwatch
