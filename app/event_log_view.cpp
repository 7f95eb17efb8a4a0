#include "app/event_log_view.hpp"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

#include "app/cell_delegates.hpp"
#include "app/filter_bar.hpp"
#include "app/sorting.hpp"
#include "app/table_model.hpp"
#include "app/table_view.hpp"
#include "tables/table_definition.hpp"

namespace crunchwatch {
namespace {

QString qText(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// A message's continuation lines on its one row: each line feed drawn as a
// mark, so that no line hides another in a row of one line's height.
class OneLineDelegate final : public CellDelegate {
public:
    using CellDelegate::CellDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        CellDelegate::initStyleOption(option, index);
        // The item delegate has made each line feed a line separator already.
        option->text.replace(QChar::LineSeparator, QStringLiteral(" \u23CE "));
    }
};

// The proxy's rows that hold a selected cell, ascending.
std::vector<int> selectedRows(const QTableView* view) {
    std::vector<int> rows;
    for (const QItemSelectionRange& range : view->selectionModel()->selection())
        for (int r = range.top(); r <= range.bottom(); ++r) rows.push_back(r);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

// Where the user is in the log, by the entries' places in it: the first row
// in sight, the current row and the selected ones.
struct Place {
    std::shared_ptr<const EventLogValue> events;  // what the places are of
    std::optional<std::size_t> top, current;
    std::vector<std::size_t> selected;
};

std::size_t placeOfRow(const QTableView* view, const EventLogValue& events, int row) {
    return events.firstShown + static_cast<std::size_t>(proxyOf(view)->sourceRow(row));
}

// The proxy's row of a place in the log, or -1 when it is not shown.
int rowOfPlace(const QTableView* view, const EventLogValue& events, std::size_t place) {
    if (place < events.firstShown || place >= events.log.size()) return -1;
    const SortingProxy* proxy = proxyOf(view);
    return proxy->mapFromSource(proxy->table()->index(static_cast<int>(place - events.firstShown), 0)).row();
}

Place remember(const QTableView* view, const RefreshValuePtr& value) {
    Place p;
    if (!value || !value->events || view->model()->rowCount() == 0) return p;
    p.events = value->events;
    const EventLogValue& e = *p.events;
    if (const int top = view->rowAt(0); top >= 0) p.top = placeOfRow(view, e, top);
    if (const QModelIndex current = view->currentIndex(); current.isValid()) p.current = placeOfRow(view, e, current.row());
    for (const int row : selectedRows(view)) p.selected.push_back(placeOfRow(view, e, row));
    return p;
}

// Whether the places remembered still name the same entries: a log that
// let go of its oldest entries in between moved every place. The last
// entry may have gained continuation lines since.
bool placesHold(const Place& p, const EventLog& now) {
    if (!p.events) return false;
    std::size_t first = p.top.value_or(SIZE_MAX);
    if (p.current) first = std::min(first, *p.current);
    if (!p.selected.empty()) first = std::min(first, p.selected.front());
    const EventLog& before = p.events->log;
    if (first >= before.size() || first >= now.size()) return false;
    const EventEntry a = before.entry(first), b = now.entry(first);
    return a.moment == b.moment && a.project == b.project && b.text.substr(0, a.text.size()) == a.text;
}

void reselect(QTableView* view, const Place& p, const EventLogValue& now) {
    std::vector<int> rows;
    for (const std::size_t place : p.selected)
        if (const int row = rowOfPlace(view, now, place); row >= 0) rows.push_back(row);
    std::sort(rows.begin(), rows.end());
    const QAbstractItemModel* model = view->model();
    QItemSelection selection;
    for (std::size_t i = 0; i < rows.size();) {
        std::size_t j = i;
        while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1) ++j;
        selection.select(model->index(rows[i], 0), model->index(rows[j], 0));
        i = j + 1;
    }
    QItemSelectionModel* selected = view->selectionModel();
    selected->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (p.current)
        if (const int row = rowOfPlace(view, now, *p.current); row >= 0)
            selected->setCurrentIndex(model->index(row, 0), QItemSelectionModel::NoUpdate);
}

void scrollToRow(QTableView* view, int row) {
    const bool perItem = view->verticalScrollMode() == QAbstractItemView::ScrollPerItem;
    view->verticalScrollBar()->setValue(perItem ? row : row * view->verticalHeader()->defaultSectionSize());
}

}  // namespace

EventLogView::EventLogView(std::size_t olderStep, QWidget* parent)
    : QWidget(parent),
      m_model(new ColumnTableModel<EventRow>(eventsTable, this)),
      m_table(makeTable(m_model, this)),
      m_filter(new FilterBar(proxyOf(m_table), tr("Search messages"), this)),
      m_source(new QLabel(this)),
      m_choice(new QComboBox(this)),
      m_problem(new QLabel(this)),
      m_count(new QLabel(this)),
      m_older(new QPushButton(tr("Show &older"), this)),
      m_olderStep(olderStep) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 0);
    auto* header = new QHBoxLayout;
    header->addWidget(m_source);
    header->addWidget(m_choice);
    header->addStretch(1);
    layout->addLayout(header);
    m_choice->hide();
    m_choice->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    // What went wrong holds a path or a command worth copying.
    m_problem->setWordWrap(true);
    m_problem->setTextFormat(Qt::PlainText);
    m_problem->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_problem->hide();
    layout->addWidget(m_problem);
    layout->addWidget(m_filter);
    m_filter->row()->addWidget(m_count);
    m_filter->row()->addWidget(m_older);
    m_older->setToolTip(tr("Show older entries of those read"));
    m_older->setEnabled(false);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setItemDelegate(new OneLineDelegate(m_table));
    setInitialWidths(m_table, {"09-Dec-2026 14:05:31 ", "World Community Grid"});
    layout->addWidget(m_table, 1);

    connect(m_choice, &QComboBox::activated, this, [this](int index) {
        if (!m_value || index < 0 || static_cast<std::size_t>(index) >= m_value->events->sources.size()) return;
        emit sourceChosen(m_value->events->sources[static_cast<std::size_t>(index)].kind);
    });
    connect(m_older, &QPushButton::clicked, this, &EventLogView::showOlder);
    // Scrolled to the end, the table follows it; scrolled up, it stays.
    QScrollBar* bar = m_table->verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this, [this, bar](int value) {
        if (!m_installing) m_following = value >= bar->maximum();
    });
    connect(bar, &QScrollBar::rangeChanged, this, [this, bar](int, int maximum) {
        if (m_following && !m_installing) bar->setValue(maximum);
    });
    QAction* copy = copyActionOf(m_table);
    copy->disconnect(m_table);
    connect(copy, &QAction::triggered, this, &EventLogView::copySelected);
}

void EventLogView::show(const RefreshValuePtr& value) {
    if (!value || !value->events) return;
    // Another log (another source, another folder) starts at its newest entries again.
    if (m_value && m_value->events->shown != value->events->shown) m_olderShown = 0;
    m_value = value;
    showSources(*value->events);
    install(widened(value));
}

// The rows are replaced at once (the table engine resets its model); the
// place the user was at is taken before and given back after.
void EventLogView::install(const RefreshValuePtr& shown) {
    m_installing = true;
    QScrollBar* bar = m_table->verticalScrollBar();
    m_table->doItemsLayout();
    const int scrolled = bar->value();
    const Place place = remember(m_table, m_model->value());
    m_model->show(shown);
    m_table->doItemsLayout();
    const EventLogValue& now = *shown->events;
    const bool holds = placesHold(place, now.log);
    if (holds) reselect(m_table, place, now);
    if (m_following) {
        m_table->scrollToBottom();
    } else if (holds && place.top) {
        // A top entry no longer shown was among the oldest let go: the oldest shown are nearest.
        const int row = rowOfPlace(m_table, now, *place.top);
        if (row >= 0) scrollToRow(m_table, row);
        else bar->setValue(bar->minimum());
    } else {
        bar->setValue(scrolled);
    }
    m_installing = false;
    m_problem->setText(qText(now.problem));
    m_problem->setVisible(!now.problem.empty() && m_model->rowCount() > 0);
    showCounts();
}

// The value with Show older's entries before those the refresh chose. The
// same log widened the same way is the same value, so the table keeps its
// rows.
RefreshValuePtr EventLogView::widened(const RefreshValuePtr& value) {
    const std::size_t first = value->events->firstShown;
    if (m_olderShown == 0 || first == 0) return value;
    const std::size_t target = first - std::min(first, m_olderShown);
    if (m_widenedFrom != value->events || !m_widened || m_widened->firstShown != target) {
        auto events = std::make_shared<EventLogValue>(*value->events);
        events->firstShown = target;
        m_widenedFrom = value->events;
        m_widened = std::move(events);
    }
    auto next = std::make_shared<RefreshValue>(*value);
    next->events = m_widened;
    return next;
}

void EventLogView::showOlder() {
    if (!m_value) return;
    const std::size_t first = m_value->events->firstShown;
    m_olderShown = m_olderStep == 0 ? first : std::min(first, m_olderShown + m_olderStep);
    install(widened(m_value));
}

void EventLogView::showSources(const EventLogValue& events) {
    const std::vector<EventSource>& sources = events.sources;
    const bool choice = sources.size() > 1;
    if (choice) {
        QStringList names;
        for (const EventSource& s : sources) names << qText(sourceName(s));
        QStringList listed;
        for (int i = 0; i < m_choice->count(); ++i) listed << m_choice->itemText(i);
        const QSignalBlocker quiet(m_choice);
        if (names != listed) {
            m_choice->clear();
            m_choice->addItems(names);
        }
        const auto shown = std::find(sources.begin(), sources.end(), events.shown.value_or(EventSource{}));
        m_choice->setCurrentIndex(shown == sources.end() ? -1 : static_cast<int>(shown - sources.begin()));
    }
    m_choice->setVisible(choice);
    m_source->setBuddy(choice ? m_choice : nullptr);
    m_source->setVisible(choice || events.shown);
    if (choice) m_source->setText(tr("Read &from:"));
    else if (events.shown) m_source->setText(tr("Read from %1").arg(qText(sourceName(*events.shown))));
    m_source->setToolTip(events.shown && !events.shown->path.empty() ? qText(events.shown->path) : QString());
}

void EventLogView::showCounts() {
    const EventLogValue& e = *m_model->value()->events;
    const std::size_t held = e.log.size(), shown = held - e.firstShown;
    const QLocale locale;
    if (held == 0) m_count->clear();
    else if (e.firstShown == 0) m_count->setText(tr("%1 entries").arg(locale.toString(static_cast<qulonglong>(held))));
    else
        m_count->setText(tr("The newest %1 of %2 entries")
                             .arg(locale.toString(static_cast<qulonglong>(shown)),
                                  locale.toString(static_cast<qulonglong>(held))));
    m_older->setEnabled(e.firstShown > 0);
}

QString EventLogView::selectedText() const {
    const RefreshValuePtr& value = m_model->value();
    if (!value || !value->events) return {};
    const SortingProxy* proxy = proxyOf(m_table);
    std::string text;
    for (const int row : selectedRows(m_table))
        text.append(eventLine(eventRowOf(*value, static_cast<std::size_t>(proxy->sourceRow(row))).entry)).append("\n");
    return QString::fromStdString(text);
}

void EventLogView::copySelected() const {
    const QString text = selectedText();
    if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

}  // namespace crunchwatch
