#include "app/history_view.hpp"

#include <algorithm>

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLegend>
#include <QLineEdit>
#include <QLineSeries>
#include <QTableView>
#include <QTimer>
#include <QValueAxis>
#include <QVBoxLayout>

#include "app/chart_style.hpp"
#include "app/history_model.hpp"
#include "app/main_controller.hpp"

namespace crunchwatch {

HistoryView::HistoryView(const mainController& controller, QWidget* parent)
    : QWidget(parent),
      m_model(new HistoryModel(controller, this)),
      m_project(new QComboBox(this)),
      m_search(new QLineEdit(this)),
      m_counts(new QLabel(this)),
      m_table(new QTableView(this)),
      m_chart(new QChartView(new QChart, this)),
      m_searchDelay(new QTimer(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 0);
    auto* top = new QHBoxLayout;
    auto* projectLabel = new QLabel(tr("Pro&ject:"), this);
    projectLabel->setBuddy(m_project);
    m_project->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_search->setPlaceholderText(tr("Search task names"));
    m_search->setClearButtonEnabled(true);
    top->addWidget(projectLabel);
    top->addWidget(m_project);
    top->addWidget(m_search, 1);
    top->addWidget(m_counts);
    layout->addLayout(top);

    m_table->setModel(m_model);
    m_table->setAlternatingRowColors(true);
    m_table->setWordWrap(false);
    m_table->setTabKeyNavigation(false);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    // Fixed row heights: 100,000 rows cost nothing to lay out.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 8);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->horizontalHeader()->setHighlightSections(false);
    m_table->setSortingEnabled(true);
    m_table->sortByColumn(0, Qt::DescendingOrder);
    const QFontMetrics metrics = m_table->fontMetrics();
    int column = 0;
    for (const char* sample : {"12/09/26 04:27:02", "World Community Grid", "h1_0412.35_O3aC01Cl1In0__O3AS1a_4",
                               "CPU time 0", "Elapsed 00", "Estimate 0"})
        m_table->horizontalHeader()->resizeSection(column++, metrics.horizontalAdvance(QString::fromUtf8(sample)) + 24);
    layout->addWidget(m_table, 1);

    m_chart->setRenderHint(QPainter::Antialiasing);
    m_chart->setMinimumHeight(170);
    m_chart->setMaximumHeight(210);
    m_chart->chart()->setTitle(tr("Finished tasks and processor hours per day"));
    m_chart->chart()->legend()->setAlignment(Qt::AlignRight);
    m_chart->chart()->setMargins(QMargins(2, 2, 2, 2));
    layout->addWidget(m_chart);

    // A search runs when typing pauses, not on every key.
    m_searchDelay->setSingleShot(true);
    m_searchDelay->setInterval(150);
    connect(m_search, &QLineEdit::textChanged, m_searchDelay, qOverload<>(&QTimer::start));
    connect(m_searchDelay, &QTimer::timeout, this, [this] { m_model->setSearchText(m_search->text()); });
    connect(m_project, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_model->setProjectFilter(index <= 0 ? std::nullopt : std::optional<std::string>(m_project->itemText(index).toStdString()));
    });
    connect(m_model, &HistoryModel::shownChanged, this, [this] {
        showCounts();
        m_chartStale = true;
        if (isVisible()) redrawChart();
    });
    connect(&controller, &mainController::historyChanged, this, &HistoryView::reload);
    showCounts();
}

void HistoryView::reload() {
    m_model->reload();
    // The project list follows the history; the chosen project stays chosen.
    const QString chosen = m_project->currentIndex() > 0 ? m_project->currentText() : QString();
    const QSignalBlocker quiet(m_project);
    m_project->clear();
    m_project->addItem(tr("All projects"));
    for (const std::string& label : m_model->table().projectLabels()) m_project->addItem(QString::fromStdString(label));
    const int index = chosen.isEmpty() ? 0 : m_project->findText(chosen);
    m_project->setCurrentIndex(std::max(index, 0));
    if (index < 0) m_model->setProjectFilter(std::nullopt);  // that project's log is gone
}

void HistoryView::showCounts() {
    const std::size_t shown = m_model->shownRows().size();
    const std::size_t failed = m_model->failedShown();
    m_counts->setText(failed ? tr("%n task(s), %1 failed", nullptr, static_cast<int>(shown)).arg(failed)
                             : tr("%n task(s)", nullptr, static_cast<int>(shown)));
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
    chart->removeAllSeries();
    for (QAbstractAxis* axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
    const std::vector<DayTotals> days = tasksPerDay(m_model->table(), m_model->shownRows());
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
    auto* x = new QDateTimeAxis;
    x->setFormat(QStringLiteral("MMM yyyy"));
    x->setTickCount(6);
    const double first = days.front().dayStart, last = std::max(days.back().dayStart, first + 86400);
    x->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(first * 1000)),
                QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(last * 1000)));
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
