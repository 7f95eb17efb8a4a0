#include "app/table_model.hpp"

#include <algorithm>

#include <QApplication>
#include <QFont>
#include <QPixmap>
#include <QStyle>

#include "app/cell_delegates.hpp"

namespace crunchwatch {
namespace {

QString qText(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// A row's emphasis beyond its columns' tones: most rows have none. A
// Computer line that the override file sets is bold: it is what the client
// uses in place of the web preferences' value.
template <class Row>
QVariant rowFont(const Row&) { return {}; }

QVariant rowFont(const ComputerLine* line) {
    if (line->mark != ComputerLine::Mark::overridden) return {};
    QFont bold;
    bold.setBold(true);
    return bold;
}

}  // namespace

void TableModel::show(const RefreshValuePtr& value) {
    if (!value) return;
    if (m_value && sourceOf(*m_value) == sourceOf(*value)) {
        m_value = value;
        emit shown();
        return;
    }
    beginResetModel();
    m_value = value;
    // The keys go before the reset ends: a sorting proxy sorts the new rows
    // while it handles the end of the reset.
    m_sortKeys.clear();
    endResetModel();
    emit shown();
}

bool TableModel::sortsBefore(int column, bool descending, int a, int b) const {
    const auto c = static_cast<std::size_t>(column);
    if (m_sortKeys.size() <= c) {
        m_sortKeys.resize(c + 1);
        m_textRanks.resize(std::max(m_textRanks.size(), c + 1));
    }
    if (!m_sortKeys[c]) m_sortKeys[c] = std::make_unique<SortKeys>(sortValues(column), m_textRanks[c]);
    const auto l = static_cast<std::size_t>(a), r = static_cast<std::size_t>(b);
    return descending ? m_sortKeys[c]->greater(l, r) : m_sortKeys[c]->less(l, r);
}

// Given a colour as the decoration, the view would paint a new picture of it
// for every cell, each kept in the program-wide picture cache under a key of
// its own: memory that grew with every repaint. One icon per tone, made once,
// is drawn from one cached picture. The plain tone's is transparent: it
// keeps the room of a mark, so the texts beside marks and beside none start
// at the same place.
QVariant toneDecoration(Tone tone, bool marksColumn) {
    static QHash<int, QIcon> marks;
    const QColor colour = toneColour(tone);
    if (!marksColumn && (!colour.isValid() || !isMark(tone))) return {};
    auto mark = marks.find(static_cast<int>(tone));
    if (mark == marks.end()) {
        const int side = QApplication::style()->pixelMetric(QStyle::PM_SmallIconSize);
        QPixmap swatch(side, side);
        swatch.fill(colour.isValid() ? colour : QColor(Qt::transparent));
        mark = marks.insert(static_cast<int>(tone), QIcon(swatch));
    }
    return *mark;
}

QVariant toneForeground(Tone tone, bool marksColumn) {
    const QColor colour = toneColour(tone);
    return colour.isValid() && !marksColumn && !isMark(tone) ? QVariant(colour) : QVariant();
}

template <class Row>
QVariant ColumnTableModel<Row>::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) return {};
    const TableColumn<Row>& column = m_table.columns[static_cast<std::size_t>(index.column())];
    const Row row = rowAt(index.row());
    switch (role) {
        case Qt::DisplayRole: {
            const auto text = cellText(column.cell(row, nowSeconds()), m_value->dateFormat);
            return text ? QVariant(qText(*text)) : QVariant();
        }
        case CellValueRole: {
            const auto value = column.cell(row, nowSeconds()).value;
            return value ? QVariant(*value) : QVariant();
        }
        case Qt::DecorationRole:
            return column.tone ? toneDecoration(column.tone(row, nowSeconds()), index.column() == m_marksColumn)
                               : QVariant();
        case Qt::ForegroundRole:
            return column.tone ? toneForeground(column.tone(row, nowSeconds()), index.column() == m_marksColumn)
                               : QVariant();
        case Qt::FontRole: return rowFont(row);
        case Qt::ToolTipRole: {
            if (!column.explanation) return {};
            const auto text = column.explanation(row, nowSeconds());
            return text ? QVariant(qText(*text)) : QVariant();
        }
        default: return {};
    }
}

template <class Row>
QVariant ColumnTableModel<Row>::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
    const Column& c = m_table.columns[static_cast<std::size_t>(section)];
    if (role == Qt::DisplayRole) return qText(c.title);
    if (role == Qt::ToolTipRole) return qText(c.tooltip);
    return {};
}

template class ColumnTableModel<resultRow>;
template class ColumnTableModel<projectRecord>;
template class ColumnTableModel<HistoryTask>;
template class ColumnTableModel<TransferRow>;
template class ColumnTableModel<EventRow>;
template class ColumnTableModel<NoticeRow>;
template class ColumnTableModel<const ComputerLine*>;
template class ColumnTableModel<DiskRow>;
template class ColumnTableModel<const Alert*>;

}  // namespace crunchwatch
