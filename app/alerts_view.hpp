#pragma once
// The Alerts tab: every alert active in the last refresh (what the rules
// found that needs the user), newest first, through the same table engine
// as the other tabs; an error's row is marked red, a warning's orange, as a
// failed or late task's are in the results table. The tab's title counts
// them ("Alerts (3)"); an empty table says that nothing needs the user.
//
// Beside it, the Alerts menu: which rules are told to the desktop, "Do not
// disturb", and whether closing the window leaves the program in the tray.
// Each choice is written to the settings the moment it is made; the rules'
// thresholds are kept in the settings file only.

#include <cstddef>
#include <string>

#include <QWidget>

#include "tables/refresh_value.hpp"

class QMenu;
class QTableView;

namespace crunchwatch {

class Settings;
class TableModel;

class AlertsView final : public QWidget {
    Q_OBJECT
public:
    explicit AlertsView(QWidget* parent = nullptr);

    // Shows a refresh's alerts.
    void show(const crunchwatch::RefreshValuePtr& value);

    // Selects the alert shown whose key is `key`; false when none is.
    bool select(const std::string& key);

    // The tab's title for `count` alerts: "Alerts (3)", or "Alerts" for none.
    static QString title(std::size_t count);

    TableModel* model() const { return m_model; }
    QTableView* table() const { return m_table; }

signals:
    // The number of alerts shown changed (the first value shown counts as a change).
    void countChanged(int count);

private:
    TableModel* m_model;
    QTableView* m_table;
    int m_count = -1;
};

// The Alerts menu, its choices read from `settings` now and written to it
// as they are made; `settings` must outlive the menu. Its actions are named
// "doNotDisturb", "keepInTray" and "notify <rule id>".
QMenu* makeAlertsMenu(Settings& settings, QWidget* parent);

}  // namespace crunchwatch
