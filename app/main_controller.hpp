#pragma once
// mainController: the monitor's one controller. It holds the state file's
// path, the value of the last refresh, the date stamps, the watchdog's
// timer, and the references to the window's widgets it writes; it hands the
// reading to a worker thread and installs what comes back.
//
// Its operations keep the names they have always had in this program:
// policzIWstawDoTabelki ("count and put into the table") is the refresh cycle,
// the one place where data is rebuilt; start-up, the watchdog, Open and Update
// all run it. A cycle's reading runs on the worker; its value is installed on
// the window's thread in the cycle's own order (the path field, or the message
// on failure; the tables and the counters; the preferences), and handed to
// every view by one signal. At most one cycle runs at a time: what is asked
// for meanwhile runs once, right after it.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>

#include "app/refresh_runner.hpp"
#include "app/settings.hpp"
#include "tables/refresh_value.hpp"

class QCheckBox;
class QLineEdit;
class QMainWindow;
class QTableView;
class QTimer;

namespace crunchwatch {

class TableModel;
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
    // outlet is a reference to a widget, named for what it shows).
    QLineEdit* clientStatePath = nullptr;  // shows the state file's path, or the message
    QLineEdit* numberOfProjects = nullptr;
    QLineEdit* totalCreditCount = nullptr;
    QTableView* mainTable = nullptr;  // the results table
    QCheckBox* watchDogButton = nullptr;
    QMainWindow* mainWindow = nullptr;
    projectTable* projectTableOutlet = nullptr;

    // Start-up (startup.cpp). awakeFromNib prepares the results table once the
    // outlets are connected; applicationDidFinishLaunching runs the start-up
    // sequence and returns once the first refresh has started. `pathForThisRun`,
    // from the command line, replaces the path the settings give, unstored.
    void awakeFromNib();
    void applicationDidFinishLaunching(const std::optional<QString>& pathForThisRun = std::nullopt);

    // The refresh cycle and its steps (refresh.cpp).
    void policzIWstawDoTabelki();
    // usunTabliceDoTabelki ("remove the tables' lists"): lets go of the value shown.
    void usunTabliceDoTabelki();
    // noweTabliceDoTabelki ("new lists for the tables"): `next` becomes the
    // value shown, and every view is handed it.
    void noweTabliceDoTabelki(RefreshValuePtr next);
    // podajRozmiarTabelkiProjektow ("give the projects table's size").
    int podajRozmiarTabelkiProjektow() const;
    // podajWartoscZTabelkiProjektow ("give a value of the projects table"):
    // one project's record; `index` is below the size last given.
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
    // A reading that has not answered for this long is shown as such, and
    // Open of another file no longer waits for it (2 seconds; tests shorten it).
    void setSlowReadingForTesting(int milliseconds) { m_slowOverrideMs = milliseconds; }
    // Tests hold the reading back with this (run before each of its jobs).
    void setReadingPauseForTesting(std::function<void()> pause);

    // The client's own words (refresh.cpp): its event log and the projects'
    // notices, read on the worker with every refresh and every tick. The
    // journal file given on the command line is read instead of the
    // system's journal; the source chosen is remembered and read at once.
    void setJournalFile(std::optional<std::string> file);
    void chooseEventSource(EventSourceKind kind);
    const WordsOptions& wordsOptions() const { return m_words; }

    // Commands (commands.cpp).
    void Open();
    void Update();
    // wybierzIZapamietajPlikZFolderu ("choose and remember a file from a
    // folder"): the file panel, then the choice stored as "client_state location".
    std::optional<QString> wybierzIZapamietajPlikZFolderu(const QString& start, const QStringList& types);
    // The modal file chooser; tests put a stand-in here.
    using FilePanel = std::function<std::optional<QString>(const QString& start, const QStringList& types)>;
    void setFilePanel(FilePanel panel) { m_filePanel = std::move(panel); }

    // Fields of the data model. root_dir and global_prefsFileLocation are
    // the state path's own, derived with it.
    std::optional<std::string> formatDaty;
    const std::string& root_dir() const { return m_path.rootDir(); }
    const std::string& global_prefsFileLocation() const { return m_path.globalPrefsFile(); }
    DateText global_prefs_time_stamp;
    DateText client_state_mod_date;
    DateText client_state_time_stamp;
    std::optional<std::string> globalPrefsFileContents;
    std::optional<std::string> cpu_scheduling_period_minutes;
    std::optional<std::string> disk_interval;
    std::int8_t watchDogButtonState = 0;

    // The value shown: what the last refresh produced (an empty one before).
    const RefreshValuePtr& value() const { return m_value; }
    TableModel* resultsModel() const { return m_resultsModel; }
    Settings& settings() { return m_settings; }
    int refreshCount() const { return m_refreshCount; }
    // Whether a refresh runs or waits to run.
    bool refreshing() const { return m_inFlight; }
    // The state file the last failed read could not read, and why.
    const QString& lastFailedPath() const { return m_lastFailedPath; }
    ReadFailure lastFailure() const { return m_lastFailure; }

signals:
    // A new value to show, after every refresh cycle (a failed one's keeps
    // the rows it had).
    void valueChanged(const crunchwatch::RefreshValuePtr& value);
    // After every refresh cycle: whether the state file was read.
    void refreshed(bool ok);
    // Once no refresh runs and none waits: what was asked for is shown.
    void settled();
    // A reading of `path` has not answered for a while (a slow disk, a
    // hung network mount).
    void stillReading(const QString& path);

private:
    enum Ask : unsigned { askRefresh = 1, askTick = 2, askWords = 4 };
    void ask(unsigned what);
    void start(unsigned what, bool fileNamed);
    void startJob(RefreshJob job);
    void startRunner(RefreshValuePtr resumeFrom);
    int slowReadingMs() const { return m_slowOverrideMs > 0 ? m_slowOverrideMs : 2000; }
    void jobFinished(const RefreshOutcome& outcome);
    void install(const RefreshOutcome& outcome);
    bool fieldShowsMessage() const;
    void showSnapshot(RefreshValuePtr next);
    void keepAfterFailure(const RefreshOutcome& outcome);
    void showCounters();
    void showPreferences(const Preferences& prefs);

    Settings& m_settings;
    StatePath m_path;
    RefreshValuePtr m_value;
    std::unique_ptr<RefreshRunner> m_runner;
    TableModel* m_resultsModel = nullptr;
    QTimer* m_stoper = nullptr;
    int m_intervalOverrideMs = 0;
    bool m_panelOpen = false;
    bool m_inFlight = false;
    unsigned m_asked = 0;        // what was asked for while a job ran
    bool m_askedNamed = false;  // whether the field named a file when it was asked for
    QElapsedTimer m_jobClock;    // since the running job started
    QTimer* m_slowReading = nullptr;
    int m_slowOverrideMs = 0;
    FilePanel m_filePanel;
    int m_refreshCount = 0;
    QString m_lastFailedPath;
    ReadFailure m_lastFailure = ReadFailure::none;
    WordsOptions m_words;
    bool m_wordsPending = true;  // the worker has yet to be given m_words
    std::optional<AlertThresholds> m_alertLimits;  // the settings' thresholds, read at the first job
};

}  // namespace crunchwatch
