#pragma once
// The Transfers tab: every file the client keeps trying to download or
// upload (a stuck one holds its task back), with a project filter and a
// search box over the file names, through the same table engine as the other
// tabs. An empty table says "No transfers".

#include <QWidget>

#include "tables/refresh_value.hpp"

class QTableView;

namespace crunchwatch {

class FilterBar;
class TableModel;

class TransfersView final : public QWidget {
    Q_OBJECT
public:
    explicit TransfersView(QWidget* parent = nullptr);

    // Shows a refresh's transfers.
    void show(const crunchwatch::RefreshValuePtr& value);

    TableModel* model() const { return m_model; }
    QTableView* table() const { return m_table; }
    FilterBar* filter() const { return m_filter; }

private:
    TableModel* m_model;
    QTableView* m_table;
    FilterBar* m_filter;
};

}  // namespace crunchwatch
