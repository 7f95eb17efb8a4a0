#include "app/computer_view.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QCursor>
#include <QDate>
#include <QEvent>
#include <QLabel>
#include <QLegend>
#include <QScrollBar>
#include <QLocale>
#include <QStackedWidget>
#include <QTableView>
#include <QToolTip>
#include <QValueAxis>
#include <QVBoxLayout>

#include "app/cell_delegates.hpp"
#include "app/chart_style.hpp"
#include "app/table_model.hpp"
#include "app/table_view.hpp"
#include "tables/transfers_table.hpp"

namespace crunchwatch {
namespace {

// The group column: a group's name on its first line, bold, and blank on the
// lines under it, so that each group reads as a block; the top line in
// sight names its group too, so a scrolled table still says where it is.
// Copy still gives every line its group (the model's text is untouched).
class GroupDelegate final : public CellDelegate {
public:
    using CellDelegate::CellDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        CellDelegate::initStyleOption(option, index);
        const auto* view = qobject_cast<const QTableView*>(option->widget);
        const bool top = view && view->rowAt(0) == index.row();
        if (!top && index.row() > 0 && index.sibling(index.row() - 1, index.column()).data() == index.data())
            option->text.clear();
        else
            option->font.setBold(true);
    }
};

std::optional<double> numberOf(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

// The client numbers a day by the days since 1970 in its own time zone: the
// number is the date, whatever the zone.
QDate dateOfDay(long long day) { return QDate(1970, 1, 1).addDays(day); }

// A unit that keeps the largest bar under 1024 of it.
std::pair<double, QString> unitFor(double most) {
    static const char* const names[] = {"bytes", "KiB", "MiB", "GiB", "TiB"};
    double unit = 1;
    std::size_t i = 0;
    while (most >= 1024 * unit && i + 1 < std::size(names)) unit *= 1024, ++i;
    return {unit, QString::fromLatin1(names[i])};
}

}  // namespace

std::vector<TransferDay> transferDays(const std::vector<DailyXfer>& history, std::size_t mostDays) {
    std::vector<TransferDay> read;
    long long earliest = 0, last = 0;
    for (const DailyXfer& x : history) {
        const auto when = numberOf(x.when), up = numberOf(x.up), down = numberOf(x.down);
        // A day number beyond any calendar is no day.
        if (!when || std::abs(*when) > 1e7) continue;
        const auto day = static_cast<long long>(std::floor(*when));
        earliest = read.empty() ? day : std::min(earliest, day);
        last = read.empty() ? day : std::max(last, day);
        read.push_back({day, up.value_or(0), down.value_or(0)});
    }
    if (read.empty() || mostDays == 0) return {};
    // Every day from the history's first, or a period before its last, on.
    const long long first = std::max(earliest, last - static_cast<long long>(mostDays) + 1);
    std::vector<TransferDay> days;
    for (long long day = first; day <= last; ++day) days.push_back({day, 0, 0});
    for (const TransferDay& d : read)
        if (d.day >= first) {
            TransferDay& shown = days[static_cast<std::size_t>(d.day - first)];
            shown.up += d.up;
            shown.down += d.down;
        }
    // Two days of absurd size add up to no number a chart can draw.
    for (TransferDay& d : days) {
        if (!std::isfinite(d.up)) d.up = 0;
        if (!std::isfinite(d.down)) d.down = 0;
    }
    return days;
}

ComputerView::ComputerView(QWidget* parent)
    : QWidget(parent),
      m_model(new ColumnTableModel<const ComputerLine*>(computerTable, this)),
      m_table(makeTable(m_model, this)),
      m_chartStack(new QStackedWidget(this)),
      m_noHistory(new QLabel(tr("No transfer history"), m_chartStack)),
      m_chart(new QChartView(new QChart, m_chartStack)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 0);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setItemDelegateForColumn(static_cast<int>(ComputerColumn::group), new GroupDelegate(m_table));
    // A scroll moves the drawn lines without drawing them again: the new top
    // line must name its group.
    connect(m_table->verticalScrollBar(), &QScrollBar::valueChanged, m_table->viewport(),
            [viewport = m_table->viewport()] { viewport->update(); });
    setInitialWidths(m_table, {"Preferences: When to compute", "Use at most this share of processor time",
                               "24.9 GiB (26,843,545,600 bytes)"});
    layout->addWidget(m_table, 1);

    m_noHistory->setAlignment(Qt::AlignCenter);
    m_chartStack->addWidget(m_noHistory);
    m_chart->setRenderHint(QPainter::Antialiasing);
    m_chart->chart()->setTitle(tr("Bytes sent and received per day"));
    m_chart->chart()->legend()->setAlignment(Qt::AlignRight);
    m_chart->chart()->setMargins(QMargins(2, 2, 2, 2));
    m_chartStack->addWidget(m_chart);
    m_chartStack->setMinimumHeight(190);
    m_chartStack->setMaximumHeight(240);
    layout->addWidget(m_chartStack);
}

void ComputerView::show(const RefreshValuePtr& value) {
    if (!value) return;
    m_model->show(value);
    if (value->computer->files == m_files && !m_chartStale) return;
    m_files = value->computer->files;
    m_chartStale = true;
    if (isVisible()) redrawChart();
}

bool ComputerView::chartShown() const { return m_chartStack->currentWidget() == m_chart; }

void ComputerView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_chartStale) redrawChart();
}

void ComputerView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) styleChart(m_chart->chart(), palette());
}

void ComputerView::redrawChart() {
    m_chartStale = false;
    QChart* chart = m_chart->chart();
    clearChart(chart);
    m_days = m_files ? transferDays(m_files->dailyXfers, shownDays) : std::vector<TransferDay>{};
    m_chartStack->setCurrentWidget(m_days.empty() ? static_cast<QWidget*>(m_noHistory) : m_chart);
    if (m_days.empty()) return;
    double most = 0;
    for (const TransferDay& d : m_days) most = std::max({most, d.up, d.down});
    const auto [unit, unitName] = unitFor(most);
    auto* down = new QBarSet(tr("Received"));
    auto* up = new QBarSet(tr("Sent"));
    QStringList dates;
    for (const TransferDay& d : m_days) {
        dates << QLocale().toString(dateOfDay(d.day), QStringLiteral("d MMM"));
        down->append(d.down / unit);
        up->append(d.up / unit);
    }
    auto* bars = new QBarSeries;
    bars->append(down);
    bars->append(up);
    auto* x = new QBarCategoryAxis;
    x->append(dates);
    // A month of dates side by side would overlap: they stand upright.
    if (m_days.size() > 12) x->setLabelsAngle(-90);
    auto* y = new QValueAxis;
    y->setRange(0, most > 0 ? most / unit * 1.05 : 1);
    y->setLabelFormat(QStringLiteral("%.0f"));
    y->applyNiceNumbers();
    y->setTitleText(unitName);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    chart->addSeries(bars);
    bars->attachAxis(x);
    bars->attachAxis(y);
    connect(bars, &QBarSeries::hovered, this, [this](bool entered, int index, QBarSet*) {
        if (!entered || index < 0 || static_cast<std::size_t>(index) >= m_days.size()) return QToolTip::hideText();
        const TransferDay& d = m_days[static_cast<std::size_t>(index)];
        QToolTip::showText(QCursor::pos(),
                           tr("%1\nReceived: %2\nSent: %3")
                               .arg(QLocale().toString(dateOfDay(d.day), QLocale::LongFormat),
                                    QString::fromStdString(bytesForPeople(d.down)),
                                    QString::fromStdString(bytesForPeople(d.up))));
    });
    styleChart(chart, palette());
}

}  // namespace crunchwatch
