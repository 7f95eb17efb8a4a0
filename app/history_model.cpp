#include "app/history_model.hpp"

#include "app/cell_delegates.hpp"
#include "app/main_controller.hpp"

namespace crunchwatch {
namespace {

QString qText(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

std::string_view columnIdOf(int column) { return historyColumns.at(static_cast<std::size_t>(column)).id; }

}  // namespace

HistoryModel::HistoryModel(const mainController& controller, QObject* parent)
    : QAbstractTableModel(parent), m_controller(controller) {}

void HistoryModel::reload() {
    beginResetModel();
    m_table.rebuild(m_controller.history(), m_controller.historyLabels().jobLogs);
    refilter();
    endResetModel();
    emit shownChanged();
}

void HistoryModel::setProjectFilter(std::optional<std::string> project) {
    if (project == m_project) return;
    beginResetModel();
    m_project = std::move(project);
    refilter();
    endResetModel();
    emit shownChanged();
}

void HistoryModel::setSearchText(const QString& text) {
    std::string search = text.toStdString();
    if (search == m_search) return;
    beginResetModel();
    m_search = std::move(search);
    refilter();
    endResetModel();
    emit shownChanged();
}

void HistoryModel::refilter() {
    m_shown = m_table.filtered(m_project, m_search);
    if (m_sortColumn >= 0 && m_sortColumn < columnCount())
        m_table.sortRows(m_shown, columnIdOf(m_sortColumn), m_sortOrder == Qt::DescendingOrder);
}

void HistoryModel::sort(int column, Qt::SortOrder order) {
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    m_sortColumn = column;
    m_sortOrder = order;
    // From the table's own order (newest first), so equal values stay newest first.
    m_shown = m_table.filtered(m_project, m_search);
    if (column >= 0 && column < columnCount()) m_table.sortRows(m_shown, columnIdOf(column), order == Qt::DescendingOrder);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

std::size_t HistoryModel::failedShown() const {
    std::size_t failed = 0;
    for (std::uint32_t i : m_shown) failed += isFailedExit(m_table.value(m_table.row(i), JobField::es)) ? 1 : 0;
    return failed;
}

int HistoryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_shown.size());
}
int HistoryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(historyColumns.size());
}

QVariant HistoryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) return {};
    const HistoryRow& row = m_table.row(m_shown[static_cast<std::size_t>(index.row())]);
    const std::string_view id = columnIdOf(index.column());
    switch (role) {
        case Qt::DisplayRole: {
            const auto text = cellText(m_table.cell(row, id), m_controller.podajFormatDaty());
            return text ? QVariant(qText(*text)) : QVariant();
        }
        case Qt::ForegroundRole:
            if (id == "es" && isFailedExit(m_table.value(row, JobField::es))) return overdueColour();
            return {};
        case Qt::ToolTipRole: {
            if (id == "es") {
                const std::string why = exitStatusExplanation(m_table.value(row, JobField::es));
                return why.empty() ? QVariant() : QVariant(qText(why));
            }
            if (id == "nm") return qText(m_table.value(row, JobField::nm).value_or(""));
            return {};
        }
        default: return {};
    }
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
    const Column& c = historyColumns[static_cast<std::size_t>(section)];
    if (role == Qt::DisplayRole) return qText(c.title);
    if (role == Qt::ToolTipRole) return qText(c.tooltip);
    return {};
}

}  // namespace crunchwatch
