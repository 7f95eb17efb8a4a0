#pragma once
// The History view's model: every finished task, newest first, filtered by
// project and by a search text, sorted by value when a header is clicked.
// It sorts and filters itself, over precomputed keys: a sorting proxy would
// ask for each cell's text many times over, which stalls on 100,000 rows.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <QAbstractTableModel>

#include "tables/history_table.hpp"

namespace crunchwatch {

class mainController;

class HistoryModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit HistoryModel(const mainController& controller, QObject* parent = nullptr);

    // Reads the controller's history again, keeping the filter and the sort.
    void reload();
    void setProjectFilter(std::optional<std::string> project);
    void setSearchText(const QString& text);

    const HistoryTable& table() const { return m_table; }
    // The rows shown, as indices into table(), in the order shown.
    const std::vector<std::uint32_t>& shownRows() const { return m_shown; }
    std::size_t failedShown() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

signals:
    // After the rows shown changed (a reload, a filter).
    void shownChanged();

private:
    void refilter();

    const mainController& m_controller;
    HistoryTable m_table;
    std::vector<std::uint32_t> m_shown;
    std::optional<std::string> m_project;
    std::string m_search;
    int m_sortColumn = 0;
    Qt::SortOrder m_sortOrder = Qt::DescendingOrder;
};

}  // namespace crunchwatch
