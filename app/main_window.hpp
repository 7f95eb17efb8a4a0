#pragma once
// The one window: the state file's path with Open, Update and the watchdog's
// check box; nine tabs (the tasks, with the results table over the projects
// table; the file transfers; the statistics; the history; the client's event
// log; the projects' notices, the tab's title counting the unread; the
// computer; its disk; the alerts, the tab's title counting them); the
// counters and the preferences below; the task details panel beside them
// when opened; a status bar that says when the last refresh succeeded and,
// on its right, the client's state in words.

#include <optional>

#include <QMainWindow>

#include "tables/refresh_value.hpp"

class QLabel;
class QLineEdit;
class QCheckBox;
class QPushButton;
class QTabWidget;
class QTableView;
class QTimer;

namespace crunchwatch {

class AlertsView;
class ComputerView;
class DiskView;
class EventLogView;
class HistoryView;
class NoticesView;
class Settings;
class StatisticsView;
class TaskDetailsPanel;
class TransfersView;
class mainController;
class projectTable;
class TableNote;

class MainWindow final : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(Settings& settings, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Start-up: `pathForThisRun` (from the command line) replaces the
    // remembered file for this run only; `journalFile`, when given, is read
    // for the event log instead of the system's journal. The window shows at
    // once; the first refresh fills it when its reading is done.
    void start(const std::optional<QString>& pathForThisRun = std::nullopt,
               const std::optional<QString>& journalFile = std::nullopt);

    mainController& controller() const { return *m_controller; }
    projectTable& projects() const { return *m_projects; }
    QTableView* resultsView() const { return m_results; }
    QTableView* projectsView() const { return m_projectsView; }
    TableNote* resultsNote() const;
    QPushButton* openButton() const { return m_open; }
    QPushButton* updateButton() const { return m_update; }
    // The tabs: the tasks (results and projects), transfers, statistics,
    // history, event log, notices, computer, disk and alerts.
    QTabWidget* tabs() const { return m_tabs; }
    TransfersView* transfersView() const { return m_transfers; }
    StatisticsView* statisticsView() const { return m_statistics; }
    HistoryView* historyView() const { return m_history; }
    EventLogView* eventLogView() const { return m_eventLog; }
    NoticesView* noticesView() const { return m_notices; }
    ComputerView* computerView() const { return m_computer; }
    DiskView* diskView() const { return m_disk; }
    AlertsView* alertsView() const { return m_alerts; }
    // The preferences in force below the tabs: the scheduling period and the disk interval.
    QLabel* preferencesLabel() const { return m_prefs; }
    TaskDetailsPanel* detailsPanel() const { return m_details; }
    // The status bar's account of the client: running, stopped, or which cannot be told.
    QLabel* clientStateLabel() const { return m_clientState; }

    // What a notification leads to: the window raised (shown again from the
    // tray), on the Alerts tab with `alert` selected, and its task selected
    // on the Tasks tab while the task is still there.
    void showAlert(const crunchwatch::Alert& alert);

private:
    QWidget* buildTasksTab(QWidget* parent);
    void buildMenus();
    void showRefresh(bool ok);
    void showClientState(const crunchwatch::RefreshValuePtr& value);
    void showPreferences(const crunchwatch::RefreshValuePtr& value);
    void repaintCountdowns();
    bool selectTask(const std::string& projectUrl, const std::string& name);

    mainController* m_controller;
    projectTable* m_projects;
    QLineEdit* m_path;
    QTableView* m_results = nullptr;
    QTableView* m_projectsView = nullptr;
    QPushButton* m_open;
    QPushButton* m_update;
    QCheckBox* m_watch;
    QLabel* m_prefs;
    QTimer* m_clock;
    bool m_hasShownAFile = false;  // whether the tables hold a file's data
    QTabWidget* m_tabs;
    TransfersView* m_transfers;
    StatisticsView* m_statistics;
    HistoryView* m_history;
    EventLogView* m_eventLog;
    NoticesView* m_notices;
    ComputerView* m_computer;
    DiskView* m_disk;
    AlertsView* m_alerts;
    TaskDetailsPanel* m_details;
    QLabel* m_refreshNote;  // how the last refresh went
    QLabel* m_clientState;
};

}  // namespace crunchwatch
