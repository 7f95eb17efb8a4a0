#pragma once
// mainController: the monitor's one controller. It holds what one successful
// refresh built (the records, the rows, the counters' values), the paths and
// date stamps, the watchdog's timer, and the references to the window's
// widgets it writes. Everything runs on the main thread.
//
// Its operations keep the names they have always had in this program:
// policzIWstawDoTabelki ("count and put into the table") is the refresh cycle,
// the one place where data is rebuilt; start-up, the watchdog, Open and Update
// all run it. What a refresh built is one Snapshot, which both tables' models
// read directly.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include <QObject>
#include <QString>
#include <QStringList>

#include "app/file_date.hpp"
#include "app/settings.hpp"
#include "state/global_prefs.hpp"
#include "state/history.hpp"
#include "state/history_match.hpp"
#include "tables/snapshot.hpp"

class QCheckBox;
class QLineEdit;
class QMainWindow;
class QTableView;
class QTimer;

namespace crunchwatch {

class ResultsModel;
class projectTable;

// What the path field shows once a refresh could not read the state file.
extern const QString fileNotFoundMessage;

class mainController final : public QObject {
    Q_OBJECT

public:
    explicit mainController(Settings& settings, QObject* parent = nullptr);
    ~mainController() override;

    // Outlets: the widgets the logic reads and writes, set by the window
    // that owns them. Their names are the program's long-standing ones (an
    // outlet is a reference to a widget, named for what it shows); a null
    // outlet is simply not written.
    QLineEdit* clientStatePath = nullptr;   // the only copy of the current path
    QLineEdit* numberOfProjects = nullptr;
    QLineEdit* totalCreditCount = nullptr;
    QTableView* mainTable = nullptr;        // the results table
    QCheckBox* watchDogButton = nullptr;
    QMainWindow* mainWindow = nullptr;
    projectTable* projectTableOutlet = nullptr;

    // Start-up (startup.cpp). awakeFromNib prepares the results table once the
    // outlets are connected; applicationDidFinishLaunching runs the start-up
    // sequence. `pathForThisRun`, from the command line, replaces the path
    // the settings would give, without being stored.
    void awakeFromNib();
    void applicationDidFinishLaunching(const std::optional<QString>& pathForThisRun = std::nullopt);

    // The refresh cycle and its steps (refresh.cpp).
    void policzIWstawDoTabelki();
    // usunTabliceDoTabelki ("remove the tables' lists"): drops the snapshot
    // shown, its rows and records with it.
    void usunTabliceDoTabelki();
    // noweTabliceDoTabelki ("new lists for the tables"): `next` becomes the
    // snapshot shown.
    void noweTabliceDoTabelki(Snapshot&& next);
    // What the last successful refresh built; empty before the first. The
    // tables' models hold a reference to it.
    const Snapshot& snapshot() const { return m_snapshot; }
    // podajRozmiarTabelkiProjektow ("give the projects table's size").
    int podajRozmiarTabelkiProjektow() const;
    // podajWartoscZTabelkiProjektow ("give a value of the projects table"): one project's record.
    projectRecord podajWartoscZTabelkiProjektow(int index) const;
    // podajFormatDaty ("give the date format"): the user's, or none for the locale's.
    const std::optional<std::string>& podajFormatDaty() const { return formatDaty; }
    // podajDatePliku ("give the file's date"): its date text, or none.
    DateText podajDatePliku(const QString& path) const;
    // The number of rows of the results table.
    int numberOfRowsInTableView() const;

    // The watchdog (watchdog.cpp): stoper ("stopwatch") starts a repeating
    // timer that calls `co` ("what") every `seconds`; watchDog is one tick;
    // watchDogButtonAction is the check box's action.
    void stoper(void (mainController::*co)(), int seconds);
    void watchDog();
    void watchDogButtonAction();
    bool watchdogRunning() const;
    int watchdogIntervalMs() const;
    // Tests shorten the watchdog's interval; the program uses 2 seconds.
    void setWatchdogIntervalForTesting(int milliseconds) { m_intervalOverrideMs = milliseconds; }

    // Commands (commands.cpp).
    void Open();
    void Update();
    // wybierzIZapamietajPlikZFolderu ("choose and remember a file from a
    // folder"): the file panel, then the choice stored as "client_state location".
    std::optional<QString> wybierzIZapamietajPlikZFolderu(const QString& start, const QStringList& types);
    // The modal file chooser; tests put a stand-in here.
    using FilePanel = std::function<std::optional<QString>(const QString& start, const QStringList& types)>;
    void setFilePanel(FilePanel panel) { m_filePanel = std::move(panel); }

    // Fields of the data model, readable for the window and the tests.
    std::optional<std::string> formatDaty;
    std::string root_dir;
    std::string global_prefsFileLocation;
    DateText global_prefs_time_stamp;
    DateText client_state_mod_date;
    DateText client_state_time_stamp;
    std::optional<std::string> globalPrefsFileContents;
    std::optional<std::string> cpu_scheduling_period_minutes;
    std::optional<std::string> disk_interval;
    std::int8_t watchDogButtonState = 0;

    // The history files in the data directory (history_refresh.cpp), read
    // again by each successful refresh; each file's label, matched against
    // the projects just read; per project, its history figures.
    const History& history() const { return m_history; }
    const HistoryLabels& historyLabels() const { return m_historyLabels; }
    std::vector<ProjectHistoryFigures> historyFigures() const;

    ResultsModel* resultsModel() const { return m_resultsModel; }
    Settings& settings() { return m_settings; }
    int refreshCount() const { return m_refreshCount; }
    // The path the last failed refresh could not read, and why, as the reader recorded it.
    const QString& lastFailedPath() const { return m_lastFailedPath; }
    ReadFailure lastFailure() const { return m_lastFailure.failure; }

signals:
    // After every refresh cycle: whether the state file was read.
    void refreshed(bool ok);
    // After the preferences were read again.
    void globalPrefsChanged();
    // After a refresh changed the history or its labels. It is emitted in
    // the same refresh that changed them, before any view can ask for a row.
    void historyChanged();

private:
    // Reads the preferences file and extracts its values; false when unreadable.
    bool readGlobalPrefsFile();
    void rereadChangedGlobalPrefs();
    void derivePaths(const QString& statePath);
    Snapshot takeSnapshotWithRetry(const std::string& path);
    void showSnapshot(Snapshot&& next);
    void keepAfterFailure(const ReadStatus& status);
    void showCounters();
    void refreshHistory();

    Settings& m_settings;
    // sekcje, projectInfo, main_result_table and the counters' values.
    Snapshot m_snapshot;
    std::string m_lastReadPath;
    ResultsModel* m_resultsModel = nullptr;
    QTimer* m_stoper = nullptr;
    int m_intervalOverrideMs = 0;
    bool m_panelOpen = false;
    FilePanel m_filePanel;
    int m_refreshCount = 0;
    QString m_lastFailedPath;
    ReadStatus m_lastFailure;
    History m_history;
    HistoryLabels m_historyLabels;
};

}  // namespace crunchwatch
