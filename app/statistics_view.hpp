#pragma once
// The Statistics view: one chart per credit metric (user total, user average,
// host total, host average) with one line per project over the days, the total
// over all projects, a date axis, a legend and a tooltip with the date and
// value under the pointer. Built when shown: a hidden view only notes that
// the history changed.

#include <vector>

#include <QWidget>

#include "tables/credit_series.hpp"
#include "tables/refresh_value.hpp"

class QChart;
class QChartView;
class QLabel;
class QStackedWidget;

namespace crunchwatch {

class StatisticsView final : public QWidget {
    Q_OBJECT
public:
    explicit StatisticsView(QWidget* parent = nullptr);

    // Shows a refresh's statistics files (redrawn when they changed).
    void show(const crunchwatch::RefreshValuePtr& value);

    // Charts show at most this many projects; the rest as one line.
    static constexpr std::size_t maxProjectLines = 10;

    // The series each chart shows, in creditMetrics' order (for tests).
    const std::vector<std::vector<CreditSeries>>& shownSeries() const { return m_series; }
    QChart* chart(std::size_t metric) const;
    // What the view says when it has nothing to draw.
    QString emptyText() const;

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void rebuild();
    void fillChart(std::size_t metric);

    std::shared_ptr<const HistoryValue> m_history;
    QStackedWidget* m_stack;
    QLabel* m_empty;
    std::vector<QChartView*> m_views;
    std::vector<std::vector<CreditSeries>> m_series;
    bool m_stale = true;
};

}  // namespace crunchwatch
