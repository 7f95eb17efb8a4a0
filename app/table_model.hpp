#pragma once
// Every table's Qt model: one template over a TableDefinition (tables/table_definition.hpp),
// reading the refresh value it was last shown. The view asks for the row
// count and for each cell by column and row; the answer is computed at that
// moment by the column's own functions (so "Completes" counts from the
// moment the cell is drawn).
//
// A new value whose rows come from the same source as the last one (a failed
// refresh keeps its rows) is taken without a reset; any other is a model
// reset, so the view learns the new count before it asks for a cell and
// never reads a row that is gone.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>

#include "app/sort_keys.hpp"
#include "tables/date_value.hpp"
#include "tables/table_definition.hpp"

namespace crunchwatch {

// The number behind a cell (a fraction, a duration, a moment), for a
// delegate that draws it: the progress bar.
inline constexpr int CellValueRole = Qt::UserRole + 1;

class TableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    using QAbstractTableModel::QAbstractTableModel;

    // Takes `value` as the one to show.
    void show(const crunchwatch::RefreshValuePtr& value);
    const RefreshValuePtr& value() const { return m_value; }

    // Whether row `a` comes before row `b` sorted by `column` (ascending or
    // not): by the column's sort values, computed once per column after a
    // reset; an empty cell after every other in both directions.
    bool sortsBefore(int column, bool descending, int a, int b) const;
    // Whether a row passes a filter (of its project and name columns).
    virtual bool accepts(int row, const RowFilter& filter) const = 0;
    // The projects a filter may choose, and why the table has no rows.
    virtual std::vector<std::string> projects() const = 0;
    virtual QString emptyText() const = 0;

signals:
    // After a value was taken, with or without a reset.
    void shown();

protected:
    virtual const void* sourceOf(const RefreshValue& value) const = 0;
    virtual std::vector<SortValue> sortValues(int column) const = 0;

    RefreshValuePtr m_value;

private:
    mutable std::vector<std::unique_ptr<SortKeys>> m_sortKeys;  // by column, for this reset
    mutable std::vector<TextRanks> m_textRanks;                 // by column, kept across resets
};

// The mark beside a cell's text for its tone: a coloured square, made once
// per tone and reused. In a column of marks every cell has one, a blank one
// for a plain tone, so that the texts line up; elsewhere only the tones of a
// task's state are marks.
QVariant toneDecoration(Tone tone, bool marksColumn = false);
// The colour of a cell's text for its tone, or nothing (a mark instead).
QVariant toneForeground(Tone tone, bool marksColumn = false);

template <class Row>
class ColumnTableModel final : public TableModel {
public:
    // `marksColumn`: the column whose every tone is drawn as a mark (the
    // results' State), if any.
    ColumnTableModel(const TableDefinition<Row>& table, QObject* parent, int marksColumn = -1)
        : TableModel(parent), m_table(table), m_marksColumn(marksColumn) {}

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() || !m_value ? 0 : static_cast<int>(m_table.size(*m_value));
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_table.columns.size());
    }
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    bool accepts(int row, const RowFilter& filter) const override {
        const Row r = rowAt(row);
        const double now = nowSeconds();
        return passes(filter, m_table.columns[m_table.projectColumn].sortValue(r, now),
                      m_table.columns[m_table.searchColumn].sortValue(r, now));
    }
    std::vector<std::string> projects() const override { return m_value ? m_table.projects(*m_value) : std::vector<std::string>{}; }
    QString emptyText() const override {
        return m_value ? QString::fromStdString(m_table.emptyText(*m_value)) : QString();
    }

private:
    Row rowAt(int row) const { return m_table.row(*m_value, static_cast<std::size_t>(row)); }
    const void* sourceOf(const RefreshValue& value) const override { return m_table.source(value); }
    std::vector<SortValue> sortValues(int column) const override {
        const auto sortValue = m_table.columns[static_cast<std::size_t>(column)].sortValue;
        const double now = nowSeconds();
        const int rows = rowCount();
        std::vector<SortValue> values;
        values.reserve(static_cast<std::size_t>(rows));
        for (int i = 0; i < rows; ++i) values.push_back(sortValue(rowAt(i), now));
        return values;
    }

    const TableDefinition<Row>& m_table;
    int m_marksColumn;
};

// The tables' models are made in table_model.cpp.
extern template class ColumnTableModel<resultRow>;
extern template class ColumnTableModel<projectRecord>;
extern template class ColumnTableModel<HistoryTask>;
extern template class ColumnTableModel<TransferRow>;
extern template class ColumnTableModel<EventRow>;
extern template class ColumnTableModel<NoticeRow>;
extern template class ColumnTableModel<const ComputerLine*>;
extern template class ColumnTableModel<DiskRow>;
extern template class ColumnTableModel<const Alert*>;

}  // namespace crunchwatch
