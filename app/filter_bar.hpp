#pragma once
// A row of controls that filters a table: a project to show (or all), and a
// text the rows' names must hold. The project list follows the table's
// projects; the chosen one stays chosen while it is there. A search runs
// when typing pauses, not on every key.

#include <QWidget>

class QComboBox;
class QHBoxLayout;
class QLineEdit;
class QTimer;

namespace crunchwatch {

class SortingProxy;

class FilterBar final : public QWidget {
    Q_OBJECT
public:
    FilterBar(SortingProxy* proxy, const QString& searchHint, QWidget* parent);

    QComboBox* projectFilter() const { return m_project; }
    QLineEdit* searchBox() const { return m_search; }
    // For what the owner puts at the end of the row (counts).
    QHBoxLayout* row() const { return m_row; }

private:
    void followProjects();
    void apply();

    SortingProxy* m_proxy;
    QComboBox* m_project;
    QLineEdit* m_search;
    QTimer* m_searchDelay;
    QHBoxLayout* m_row;
};

}  // namespace crunchwatch
