#pragma once
// The History view: every finished task, newest first, with a project filter
// and a search box over the task names, the number of tasks and failures
// shown, and a chart of tasks and processor hours per day for the tasks
// shown, every day from the first to the last (drawn when the view is
// visible).

#include <QWidget>

#include "tables/refresh_value.hpp"

class QChartView;
class QComboBox;
class QLabel;
class QLineEdit;
class QTableView;

namespace crunchwatch {

class FilterBar;
class TableModel;

class HistoryView final : public QWidget {
    Q_OBJECT
public:
    explicit HistoryView(QWidget* parent = nullptr);

    // Shows a refresh's history.
    void show(const crunchwatch::RefreshValuePtr& value);

    TableModel* model() const { return m_model; }
    QTableView* table() const { return m_table; }
    QComboBox* projectFilter() const;
    QLineEdit* searchBox() const;
    QChartView* dailyChart() const { return m_chart; }

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void showCounts();
    void redrawChart();

    TableModel* m_model;
    QTableView* m_table;
    FilterBar* m_filter;
    QLabel* m_counts;
    QChartView* m_chart;
    bool m_chartStale = true;
};

}  // namespace crunchwatch
