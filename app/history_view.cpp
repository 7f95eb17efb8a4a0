#include "app/history_view.hpp"

#include <algorithm>

#include <QChart>
#include <QChartView>
#include <QDateTimeAxis>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLegend>
#include <QLineSeries>
#include <QTableView>
#include <QValueAxis>
#include <QVBoxLayout>

#include "app/chart_style.hpp"
#include "app/filter_bar.hpp"
#include "app/sorting.hpp"
#include "app/table_model.hpp"
#include "app/table_view.hpp"

namespace crunchwatch {

HistoryView::HistoryView(QWidget* parent)
    : QWidget(parent),
      m_model(new ColumnTableModel<HistoryTask>(historyTable, this)),
      m_table(makeTable(m_model, this)),
      m_filter(new FilterBar(proxyOf(m_table), tr("Search task names"), this)),
      m_counts(new QLabel(this)),
      m_chart(new QChartView(new QChart, this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 0);
    m_filter->row()->addWidget(m_counts);
    layout->addWidget(m_filter);

    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    setInitialWidths(m_table, {"12/09/26 04:27:02", "World Community Grid", "h1_0412.35_O3aC01Cl1In0__O3AS1a_4",
                               "CPU time 0", "Elapsed 00", "Estimate 0"});
    layout->addWidget(m_table, 1);

    m_chart->setRenderHint(QPainter::Antialiasing);
    m_chart->setMinimumHeight(170);
    m_chart->setMaximumHeight(210);
    m_chart->chart()->setTitle(tr("Finished tasks and processor hours per day"));
    m_chart->chart()->legend()->setAlignment(Qt::AlignRight);
    m_chart->chart()->setMargins(QMargins(2, 2, 2, 2));
    layout->addWidget(m_chart);

    connect(proxyOf(m_table), &SortingProxy::rowsShownChanged, this, [this] {
        showCounts();
        m_chartStale = true;
        if (isVisible()) redrawChart();
    });
    showCounts();
}

void HistoryView::show(const RefreshValuePtr& value) { m_model->show(value); }

QComboBox* HistoryView::projectFilter() const { return m_filter->projectFilter(); }
QLineEdit* HistoryView::searchBox() const { return m_filter->searchBox(); }

void HistoryView::showCounts() {
    const SortingProxy* proxy = proxyOf(m_table);
    const int shown = proxy->rowCount();
    std::size_t failed = 0;
    if (m_model->value()) {
        const HistoryTable& table = m_model->value()->history->table;
        for (int r = 0; r < shown; ++r)
            failed += isFailedExit(table[static_cast<std::size_t>(proxy->sourceRow(r))].value(JobField::es)) ? 1 : 0;
    }
    m_counts->setText(failed ? tr("%n task(s), %1 failed", nullptr, shown).arg(failed) : tr("%n task(s)", nullptr, shown));
}

void HistoryView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_chartStale) redrawChart();
}

void HistoryView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) styleChart(m_chart->chart(), palette());
}

void HistoryView::redrawChart() {
    m_chartStale = false;
    QChart* chart = m_chart->chart();
    clearChart(chart);
    if (!m_model->value()) return;
    const SortingProxy* proxy = proxyOf(m_table);
    std::vector<std::uint32_t> rows(static_cast<std::size_t>(proxy->rowCount()));
    for (std::size_t r = 0; r < rows.size(); ++r) rows[r] = static_cast<std::uint32_t>(proxy->sourceRow(static_cast<int>(r)));
    const std::vector<DayTotals> days = tasksPerDay(m_model->value()->history->table, rows);
    if (days.empty()) return;
    auto* tasks = new QLineSeries;
    tasks->setName(tr("Tasks"));
    auto* hours = new QLineSeries;
    hours->setName(tr("Processor hours"));
    QList<QPointF> taskPoints, hourPoints;
    std::size_t mostTasks = 1;
    double mostHours = 1;
    for (const DayTotals& d : days) {
        taskPoints.append(QPointF(d.dayStart * 1000, static_cast<double>(d.tasks)));
        hourPoints.append(QPointF(d.dayStart * 1000, d.processorHours));
        mostTasks = std::max(mostTasks, d.tasks);
        mostHours = std::max(mostHours, d.processorHours);
    }
    tasks->replace(taskPoints);
    hours->replace(hourPoints);
    // A lone day is a point: a line needs two.
    tasks->setPointsVisible(days.size() == 1);
    hours->setPointsVisible(days.size() == 1);
    auto* x = new QDateTimeAxis;
    setDateRange(x, days.front().dayStart, days.back().dayStart);
    auto* left = new QValueAxis;
    left->setRange(0, static_cast<double>(mostTasks) * 1.1);
    left->setLabelFormat(QStringLiteral("%.0f"));
    left->setTitleText(tr("tasks"));
    auto* right = new QValueAxis;
    right->setRange(0, mostHours * 1.1);
    right->setLabelFormat(QStringLiteral("%.0f"));
    right->setTitleText(tr("hours"));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(left, Qt::AlignLeft);
    chart->addAxis(right, Qt::AlignRight);
    chart->addSeries(tasks);
    chart->addSeries(hours);
    tasks->attachAxis(x);
    tasks->attachAxis(left);
    hours->attachAxis(x);
    hours->attachAxis(right);
    styleChart(chart, palette());
}

}  // namespace crunchwatch
