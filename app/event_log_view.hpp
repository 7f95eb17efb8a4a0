#pragma once
// The Event log tab: the client's own messages, oldest first, from the
// source the refresh read (named above the table, with a choice among the
// sources when more than one exists), through the same table engine as the
// other tabs: moment, project and text, errors in red where the source tells
// them, a project filter and a search box over the texts. Why nothing could
// be read is said in the empty table, or above it while what was read
// before stays. New lines are followed to the end unless the user scrolled
// up: then the lines in sight stay in sight, and the selected ones stay
// selected. Copy gives the selected entries as the client writes them
// ("moment [project] text", a line each). The newest entries are shown, as
// many as the refresh was told to; Show older adds as many again of those
// held.

#include <cstddef>
#include <memory>

#include <QWidget>

#include "tables/refresh_value.hpp"

class QComboBox;
class QLabel;
class QPushButton;
class QTableView;

namespace crunchwatch {

class FilterBar;
class TableModel;

class EventLogView final : public QWidget {
    Q_OBJECT
public:
    // `olderStep`: how many more entries each Show older adds (0: all held).
    explicit EventLogView(std::size_t olderStep, QWidget* parent = nullptr);

    // Shows a refresh's event log.
    void show(const crunchwatch::RefreshValuePtr& value);
    // The selected entries in the order shown, a line each (with the line
    // feeds of their continuation lines); empty when none is selected.
    QString selectedText() const;
    // Whether new lines scroll the table to its end.
    bool following() const { return m_following; }

    TableModel* model() const { return m_model; }
    QTableView* table() const { return m_table; }
    FilterBar* filter() const { return m_filter; }
    QLabel* sourceLabel() const { return m_source; }
    QComboBox* sourceChoice() const { return m_choice; }
    QLabel* problemLabel() const { return m_problem; }
    QPushButton* olderButton() const { return m_older; }

signals:
    // The user chose another source to read.
    void sourceChosen(crunchwatch::EventSourceKind kind);

private:
    void install(const RefreshValuePtr& shown);
    RefreshValuePtr widened(const RefreshValuePtr& value);
    void showSources(const EventLogValue& events);
    void showCounts();
    void showOlder();
    void copySelected() const;

    TableModel* m_model;
    QTableView* m_table;
    FilterBar* m_filter;
    QLabel* m_source;
    QComboBox* m_choice;
    QLabel* m_problem;
    QLabel* m_count;
    QPushButton* m_older;
    std::size_t m_olderStep;
    std::size_t m_olderShown = 0;  // entries shown before those the refresh chose
    RefreshValuePtr m_value;       // as the refresh made it
    std::shared_ptr<const EventLogValue> m_widenedFrom, m_widened;
    bool m_following = true;
    bool m_installing = false;  // the scroll bar moves because rows change, not the user
};

}  // namespace crunchwatch
