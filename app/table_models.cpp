#include "app/table_models.hpp"

#include <algorithm>
#include <chrono>

#include <QApplication>
#include <QPixmap>
#include <QStyle>

#include "app/cell_delegates.hpp"
#include "tables/columns.hpp"
#include "tables/duration.hpp"
#include "tables/projects_cells.hpp"
#include "tables/results_cells.hpp"

namespace crunchwatch {
namespace {

double nowSeconds() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

QVariant textVariant(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// In red: the result's report deadline lies before now. Every result in the
// client's file is still to be reported (the client drops one once its
// project has acknowledged the report), so a passed deadline is always a late
// one, whether or not the result is ready.
bool isOverdue(const resultRow& row, double now) {
    const auto deadline = reportDeadline(row);
    return deadline && *deadline < now;
}

// How late the expected completion is, in words, for the Completes tooltip.
QString latenessText(double seconds) {
    const auto duration = czasHMSzSekund(seconds);
    return QObject::tr("Expected to complete %1 (hours:minutes:seconds) after its report deadline")
        .arg(duration ? QString::fromStdString(*duration) : QObject::tr("long"));
}

template <class Row, std::size_t N>
QVariant header(const std::array<TableColumn<Row>, N>& columns, int section, Qt::Orientation orientation, int role) {
    if (orientation != Qt::Horizontal || section < 0 || section >= static_cast<int>(N)) return {};
    const Column& c = columns[static_cast<std::size_t>(section)];
    if (role == Qt::DisplayRole) return textVariant(c.title);
    if (role == Qt::ToolTipRole) return textVariant(c.tooltip);
    return {};
}

bool isCell(const QModelIndex& index, const QAbstractItemModel& model) {
    return index.isValid() && index.row() < model.rowCount() && index.column() < model.columnCount();
}

}  // namespace

SnapshotModel::SnapshotModel(const Snapshot& snapshot, const std::optional<std::string>& formatDaty, QObject* parent)
    : QAbstractTableModel(parent), m_snapshot(snapshot), m_formatDaty(formatDaty) {}

void SnapshotModel::beginReload() {
    beginResetModel();
    m_sortKeys.clear();
}

// The keys go before the reset ends: a sorting proxy sorts the new rows
// while it handles the end of the reset.
void SnapshotModel::endReload() {
    m_sortKeys.clear();
    endResetModel();
}

bool SnapshotModel::sortsBefore(int column, int a, int b) const {
    const auto c = static_cast<std::size_t>(column);
    if (m_sortKeys.size() <= c) {
        m_sortKeys.resize(c + 1);
        m_textRanks.resize(std::max(m_textRanks.size(), c + 1));
    }
    if (!m_sortKeys[c]) m_sortKeys[c] = std::make_unique<SortKeys>(sortValues(column), m_textRanks[c]);
    return m_sortKeys[c]->less(static_cast<std::size_t>(a), static_cast<std::size_t>(b));
}

QVariant SnapshotModel::cellData(const Cell& cell, int role) const {
    if (role == CellValueRole) return cell.value ? QVariant(*cell.value) : QVariant();
    const auto text = cellText(cell, m_formatDaty);
    return text ? textVariant(*text) : QVariant();
}

int ResultsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_snapshot.rows.main_result_table.size());
}
int ResultsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(resultColumnCount);
}

QVariant ResultsModel::data(const QModelIndex& index, int role) const {
    if (!isCell(index, *this)) return {};
    const resultRow row = m_snapshot.rows.main_result_table[static_cast<std::size_t>(index.row())];
    const auto column = static_cast<ResultColumn>(index.column());
    switch (role) {
        case Qt::DisplayRole:
        case CellValueRole: return cellData(resultCell(row, column, nowSeconds()), role);
        case Qt::DecorationRole: {
            if (column != ResultColumn::State) return {};
            const auto state = stateText(row);
            const QColor colour = stateColour(state ? QString::fromUtf8(state->data(), state->size()) : QString());
            return colour.isValid() ? QVariant(stateMark(colour)) : QVariant();
        }
        case Qt::ForegroundRole: {
            const double now = nowSeconds();
            if (column == ResultColumn::Deadline && isOverdue(row, now)) return overdueColour();
            if (column == ResultColumn::ETC && completionPastDeadline(row, now)) return atRiskColour();
            return {};
        }
        case Qt::ToolTipRole: {
            if (column == ResultColumn::State) {
                const std::string text = stateExplanation(row);
                return text.empty() ? QVariant() : textVariant(text);
            }
            if (column == ResultColumn::Progress) {
                const auto text = progressExplanation(row);
                return text ? textVariant(*text) : QVariant();
            }
            if (column == ResultColumn::ETC || column == ResultColumn::Deadline) {
                const double now = nowSeconds();
                const auto late = completionPastDeadline(row, now);
                return late && !isOverdue(row, now) ? QVariant(latenessText(*late)) : QVariant();
            }
            return {};
        }
        default: return {};
    }
}

// Given a colour as the decoration, the view paints a new picture of it for
// every cell, and each is kept in the program-wide picture cache under a key
// of its own until the cache is full: memory that grew with every repaint.
// One icon per colour, made once, is drawn from one cached picture.
QIcon ResultsModel::stateMark(const QColor& colour) const {
    auto mark = m_stateMarks.find(colour.rgba());
    if (mark == m_stateMarks.end()) {
        const int side = QApplication::style()->pixelMetric(QStyle::PM_SmallIconSize);
        QPixmap swatch(side, side);
        swatch.fill(colour);
        mark = m_stateMarks.insert(colour.rgba(), QIcon(swatch));
    }
    return *mark;
}

QVariant ResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    return header(resultColumns, section, orientation, role);
}

std::vector<SortValue> ResultsModel::sortValues(int column) const {
    const auto& sortValue = *resultColumns[static_cast<std::size_t>(column)].sortValue;
    const double now = nowSeconds();
    std::vector<SortValue> values;
    values.reserve(m_snapshot.rows.main_result_table.size());
    for (const auto& row : m_snapshot.rows.main_result_table) values.push_back(sortValue(row, now));
    return values;
}

int ProjectsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_snapshot.state.projectInfo.size());
}
int ProjectsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(projectColumnCount);
}

QVariant ProjectsModel::data(const QModelIndex& index, int role) const {
    if (!isCell(index, *this) || (role != Qt::DisplayRole && role != CellValueRole)) return {};
    const projectRecord& project = m_snapshot.state.projectInfo[static_cast<std::size_t>(index.row())];
    return cellData(projectCell(project, static_cast<ProjectColumn>(index.column())), role);
}

QVariant ProjectsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    return header(projectColumns, section, orientation, role);
}

std::vector<SortValue> ProjectsModel::sortValues(int column) const {
    const auto& sortValue = *projectColumns[static_cast<std::size_t>(column)].sortValue;
    std::vector<SortValue> values;
    values.reserve(m_snapshot.state.projectInfo.size());
    for (const projectRecord& project : m_snapshot.state.projectInfo) values.push_back(sortValue(project, 0));
    return values;
}

}  // namespace crunchwatch
