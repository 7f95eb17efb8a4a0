#include "app/table_models.hpp"

#include <chrono>

#include <QApplication>
#include <QPixmap>
#include <QStyle>

#include "app/cell_delegates.hpp"
#include "app/main_controller.hpp"
#include "app/project_table.hpp"
#include "tables/columns.hpp"
#include "tables/duration.hpp"
#include "tables/results_cells.hpp"

namespace crunchwatch {
namespace {

double nowSeconds() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

QVariant displayOf(const Cell& cell, const std::optional<std::string>& format) {
    const auto text = cellText(cell, format);
    return text ? QVariant(QString::fromUtf8(text->data(), static_cast<qsizetype>(text->size()))) : QVariant();
}

QVariant sortKeyOf(const Cell& cell, const std::optional<std::string>& format) {
    if (cell.kind == Cell::Kind::Empty) return {};
    if (cell.sortValue) return *cell.sortValue;
    return displayOf(cell, format);
}

// Past its report deadline. Every result in the client's file is still to be
// reported (the client drops one once its project has it), so a passed
// deadline is always a late one, whether or not the result is ready.
bool isOverdue(const resultRow& row) {
    return row.get("report_deadline").has_value() && resultCell(row, "Deadline", 0).moment < nowSeconds();
}

QVariant textVariant(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// How late the expected completion is, in words, for the Completes tooltip.
QString latenessText(double seconds) {
    const auto duration = czasHMSzSekund(seconds);
    return QObject::tr("Expected to complete %1 (hours:minutes:seconds) after its report deadline")
        .arg(duration ? QString::fromStdString(*duration) : QObject::tr("long"));
}

template <std::size_t N>
QVariant header(const std::array<Column, N>& columns, int section, Qt::Orientation orientation, int role) {
    if (orientation != Qt::Horizontal || section < 0 || section >= static_cast<int>(N)) return {};
    const Column& c = columns[static_cast<std::size_t>(section)];
    if (role == Qt::DisplayRole) return QString::fromUtf8(c.title.data(), static_cast<qsizetype>(c.title.size()));
    if (role == Qt::ToolTipRole) return QString::fromUtf8(c.tooltip.data(), static_cast<qsizetype>(c.tooltip.size()));
    return {};
}

}  // namespace

ResultsModel::ResultsModel(const mainController& controller, QObject* parent)
    : ReloadableModel(parent), m_controller(controller) {}

int ResultsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_controller.numberOfRowsInTableView();
}
int ResultsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(resultColumns.size());
}
std::string_view ResultsModel::columnId(int column) { return resultColumns.at(static_cast<std::size_t>(column)).id; }
int ResultsModel::columnOf(std::string_view id) {
    for (std::size_t i = 0; i < resultColumns.size(); ++i)
        if (resultColumns[i].id == id) return static_cast<int>(i);
    return -1;
}

QVariant ResultsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) return {};
    const resultRow& row = m_controller.resultRowAt(index.row());
    const auto& format = m_controller.podajFormatDaty();
    switch (role) {
        case Qt::DisplayRole: return displayOf(resultCell(row, columnId(index.column()), nowSeconds()), format);
        case SortRole: return sortKeyOf(resultCell(row, columnId(index.column()), nowSeconds()), format);
        case Qt::DecorationRole: {
            if (columnId(index.column()) != "State") return {};
            const auto state = stateText(row);
            const QColor colour = stateColour(state ? QString::fromStdString(*state) : QString());
            return colour.isValid() ? QVariant(stateMark(colour)) : QVariant();
        }
        case Qt::ForegroundRole: {
            const std::string_view id = columnId(index.column());
            if (id == "Deadline" && isOverdue(row)) return overdueColour();
            if (id == "ETC" && completionPastDeadline(row, nowSeconds())) return atRiskColour();
            return {};
        }
        case Qt::ToolTipRole: {
            const std::string_view id = columnId(index.column());
            if (id == "State") {
                const std::string text = stateExplanation(row);
                return text.empty() ? QVariant() : textVariant(text);
            }
            if (id == "Progress") {
                const auto text = progressExplanation(row);
                return text ? textVariant(*text) : QVariant();
            }
            if (id == "ETC" || id == "Deadline") {
                const auto late = completionPastDeadline(row, nowSeconds());
                return late && !isOverdue(row) ? QVariant(latenessText(*late)) : QVariant();
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

ProjectsModel::ProjectsModel(const projectTable& source, QObject* parent) : ReloadableModel(parent), m_source(source) {}

int ProjectsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_source.numberOfRowsInTableView();
}
int ProjectsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(projectColumns.size());
}
std::string_view ProjectsModel::columnId(int column) { return projectColumns.at(static_cast<std::size_t>(column)).id; }

QVariant ProjectsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) return {};
    if (role != Qt::DisplayRole && role != SortRole) return {};
    const Cell cell = m_source.objectValue(columnId(index.column()), index.row());
    const auto& format = m_source.mainControllerOutlet->podajFormatDaty();
    return role == SortRole ? sortKeyOf(cell, format) : displayOf(cell, format);
}

QVariant ProjectsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    return header(projectColumns, section, orientation, role);
}

}  // namespace crunchwatch
