#pragma once
// Thin Qt adapters over the two tables' data sources: the view asks for the
// row count and for each cell by column identifier and row, and the answer is
// computed at that moment from the refresh's rows (so "Completes" counts from
// the moment the cell is drawn).
//
// A reload is a model reset wrapped around the replacement of the rows, so
// the view learns the new count before it asks for any cell and never reads
// a row that is gone.

#include <string_view>

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>

namespace crunchwatch {

class mainController;
class projectTable;

// The value a column sorts by: a number for numbers, durations and dates, the
// text otherwise, and nothing for empty cells. File order when unsorted.
inline constexpr int SortRole = Qt::UserRole + 1;

class ReloadableModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;
    void beginReload() { beginResetModel(); }
    void endReload() { endResetModel(); }
};

class ResultsModel final : public ReloadableModel {
    Q_OBJECT
public:
    explicit ResultsModel(const mainController& controller, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    static std::string_view columnId(int column);
    static int columnOf(std::string_view id);

private:
    QIcon stateMark(const QColor& colour) const;

    const mainController& m_controller;
    mutable QHash<QRgb, QIcon> m_stateMarks;
};

class ProjectsModel final : public ReloadableModel {
    Q_OBJECT
public:
    explicit ProjectsModel(const projectTable& source, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    static std::string_view columnId(int column);

private:
    const projectTable& m_source;
};

}  // namespace crunchwatch
