#include "app/statistics_view.hpp"

#include <algorithm>
#include <cmath>

#include <QChart>
#include <QChartView>
#include <QCursor>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLegend>
#include <QLineSeries>
#include <QLocale>
#include <QStackedWidget>
#include <QToolTip>
#include <QValueAxis>
#include <QVBoxLayout>

#include "app/chart_style.hpp"
#include "tables/table_definition.hpp"

namespace crunchwatch {
namespace {

QString qText(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// The point of `series` nearest to `x` (seconds since 1970).
const CreditPoint& nearest(const CreditSeries& series, double x) {
    const auto& p = series.points;
    auto it = std::lower_bound(p.begin(), p.end(), x, [](const CreditPoint& a, double v) { return a.day < v; });
    if (it == p.end()) return p.back();
    if (it != p.begin() && x - std::prev(it)->day < it->day - x) return *std::prev(it);
    return *it;
}

}  // namespace

StatisticsView::StatisticsView(QWidget* parent)
    : QWidget(parent), m_stack(new QStackedWidget(this)), m_series(creditMetrics.size()) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_stack);
    m_empty = new QLabel(m_stack);
    m_empty->setAlignment(Qt::AlignCenter);
    m_empty->setWordWrap(true);
    m_empty->setTextFormat(Qt::PlainText);  // file names are shown as they are
    m_stack->addWidget(m_empty);
    auto* grid = new QWidget(m_stack);
    auto* gridLayout = new QGridLayout(grid);
    gridLayout->setContentsMargins(0, 0, 0, 0);
    gridLayout->setSpacing(4);
    for (std::size_t m = 0; m < creditMetrics.size(); ++m) {
        auto* chart = new QChart;
        chart->setTitle(qText(creditMetricTitle(creditMetrics[m])));
        chart->legend()->setAlignment(Qt::AlignBottom);
        chart->setMargins(QMargins(4, 4, 4, 4));
        auto* view = new QChartView(chart, grid);
        view->setRenderHint(QPainter::Antialiasing);
        gridLayout->addWidget(view, static_cast<int>(m / 2), static_cast<int>(m % 2));
        m_views.push_back(view);
    }
    m_stack->addWidget(grid);
}

void StatisticsView::show(const RefreshValuePtr& value) {
    if (!value || value->history == m_history) return;
    m_history = value->history;
    m_empty->setText(QString::fromStdString(noStatisticsText(*value)));
    m_stale = true;
    if (isVisible()) rebuild();
}

QChart* StatisticsView::chart(std::size_t metric) const { return m_views.at(metric)->chart(); }
QString StatisticsView::emptyText() const { return m_empty->text(); }

void StatisticsView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_stale) rebuild();
}

void StatisticsView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        for (QChartView* v : m_views) styleChart(v->chart(), palette());
}

void StatisticsView::rebuild() {
    m_stale = false;
    if (!m_history) return;
    const auto& labels = m_history->labels.statistics;
    bool any = false;
    for (std::size_t m = 0; m < creditMetrics.size(); ++m) {
        auto series = creditSeries(m_history->history, labels, creditMetrics[m]);
        any |= !series.empty();
        CreditSeries total = totalSeries(series, tr("Total").toStdString());
        const std::size_t projects = series.size();
        series = largestSeries(std::move(series), maxProjectLines,
                               tr("%n other project(s)", nullptr, static_cast<int>(projects - std::min(projects, maxProjectLines)))
                                   .toStdString());
        if (projects > 1) series.push_back(std::move(total));
        m_series[m] = std::move(series);
        fillChart(m);
    }
    m_stack->setCurrentIndex(any ? 1 : 0);
}

void StatisticsView::fillChart(std::size_t metric) {
    QChart* chart = m_views[metric]->chart();
    clearChart(chart);
    const std::vector<CreditSeries>& all = m_series[metric];
    if (all.empty()) return;
    auto* x = new QDateTimeAxis;
    auto* y = new QValueAxis;
    y->setLabelFormat(QStringLiteral("%.0f"));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    double first = HUGE_VAL, last = -HUGE_VAL, low = 0, high = 0;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const CreditSeries& s = all[i];
        auto* line = new QLineSeries;
        line->setName(qText(s.label));
        QList<QPointF> points;
        points.reserve(static_cast<qsizetype>(s.points.size()));
        for (const CreditPoint& p : s.points) {
            points.append(QPointF(p.day * 1000, p.value));
            first = std::min(first, p.day);
            last = std::max(last, p.day);
            low = std::min(low, p.value);
            high = std::max(high, p.value);
        }
        line->replace(points);
        line->setPointsVisible(points.size() == 1);  // a lone day is a point: a line needs two
        chart->addSeries(line);
        line->attachAxis(x);
        line->attachAxis(y);
        connect(line, &QLineSeries::hovered, this, [this, metric, i](const QPointF& at, bool entered) {
            if (!entered) return QToolTip::hideText();
            if (i >= m_series[metric].size()) return;
            const CreditSeries& hoveredSeries = m_series[metric][i];
            const CreditPoint& p = nearest(hoveredSeries, at.x() / 1000);
            const QString date = QLocale().toString(QDateTime::fromSecsSinceEpoch(static_cast<qint64>(p.day)).date(),
                                                    QLocale::ShortFormat);
            QToolTip::showText(QCursor::pos(), QStringLiteral("%1\n%2: %3")
                                                   .arg(qText(hoveredSeries.label), date, QLocale().toString(p.value, 'f', 2)));
        });
    }
    setDateRange(x, first, last);
    y->setRange(low, high > low ? high * 1.05 : low + 1);
    y->applyNiceNumbers();
    styleChart(chart, palette());
    // The total stands out from the projects' lines.
    if (all.size() > 1)
        if (auto* total = qobject_cast<QLineSeries*>(chart->series().back())) {
            QPen pen = total->pen();
            pen.setWidthF(2.5);
            pen.setStyle(Qt::DashLine);
            total->setPen(pen);
        }
}

}  // namespace crunchwatch
