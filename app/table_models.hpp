#pragma once
// The two tables' Qt models, each a thin adapter over the snapshot the
// controller holds: the view asks for the row count and for each cell by
// column and row, and the answer is computed at that moment from the
// snapshot's rows and records by the column's own cell function (so
// "Completes" counts from the moment the cell is drawn).
//
// A reload is a model reset wrapped around the replacement of the snapshot,
// so the view learns the new count before it asks for any cell and never
// reads a row that is gone.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>

#include "app/sort_keys.hpp"
#include "tables/snapshot.hpp"

namespace crunchwatch {

// The number behind a cell (a fraction, a duration, a moment), for a
// delegate that draws it: the progress bar.
inline constexpr int CellValueRole = Qt::UserRole + 1;

class SnapshotModel : public QAbstractTableModel {
public:
    // Both are the controller's: the models read them and never change them.
    SnapshotModel(const Snapshot& snapshot, const std::optional<std::string>& formatDaty, QObject* parent);

    void beginReload();
    void endReload();

    // Whether row `a` sorts before row `b` in `column`, by the column's sort
    // values; each column's are computed once after a reload, when it is
    // first sorted by.
    bool sortsBefore(int column, int a, int b) const;

protected:
    virtual std::vector<SortValue> sortValues(int column) const = 0;
    QVariant cellData(const Cell& cell, int role) const;

    const Snapshot& m_snapshot;
    const std::optional<std::string>& m_formatDaty;

private:
    mutable std::vector<std::unique_ptr<SortKeys>> m_sortKeys;  // by column, for this reload
    mutable std::vector<TextRanks> m_textRanks;                 // by column, kept across reloads
};

class ResultsModel final : public SnapshotModel {
    Q_OBJECT
public:
    using SnapshotModel::SnapshotModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<SortValue> sortValues(int column) const override;
    QIcon stateMark(const QColor& colour) const;

    mutable QHash<QRgb, QIcon> m_stateMarks;  // one icon per colour, made once
};

class ProjectsModel final : public SnapshotModel {
    Q_OBJECT
public:
    using SnapshotModel::SnapshotModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<SortValue> sortValues(int column) const override;
};

}  // namespace crunchwatch
