#pragma once
// The History view: every finished task, newest first, with a project filter
// and a search box over the task names, the number of tasks and failures
// shown, and a small chart of tasks and processor hours per day for the tasks
// shown (drawn when the view is visible).

#include <QWidget>

class QChartView;
class QComboBox;
class QLabel;
class QLineEdit;
class QTableView;
class QTimer;

namespace crunchwatch {

class HistoryModel;
class mainController;

class HistoryView final : public QWidget {
    Q_OBJECT
public:
    explicit HistoryView(const mainController& controller, QWidget* parent = nullptr);

    HistoryModel* model() const { return m_model; }
    QTableView* table() const { return m_table; }
    QComboBox* projectFilter() const { return m_project; }
    QLineEdit* searchBox() const { return m_search; }
    QChartView* dailyChart() const { return m_chart; }

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void reload();
    void showCounts();
    void redrawChart();

    HistoryModel* m_model;
    QComboBox* m_project;
    QLineEdit* m_search;
    QLabel* m_counts;
    QTableView* m_table;
    QChartView* m_chart;
    QTimer* m_searchDelay;
    bool m_chartStale = true;
};

}  // namespace crunchwatch
