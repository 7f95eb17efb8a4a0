// The refresh cycle: the one place where what the window shows is rebuilt.

#include <chrono>
#include <thread>

#include <QCheckBox>
#include <QLineEdit>
#include <QTableView>
#include <QTimer>

#include "app/main_controller.hpp"
#include "app/project_table.hpp"
#include "app/table_models.hpp"
#include "tables/format.hpp"

namespace crunchwatch {

const QString fileNotFoundMessage = QStringLiteral("Error: file not found!");

mainController::mainController(Settings& settings, QObject* parent)
    : QObject(parent), m_settings(settings), m_resultsModel(new ResultsModel(m_snapshot, formatDaty, this)) {}

mainController::~mainController() = default;

void mainController::usunTabliceDoTabelki() { m_snapshot = Snapshot(); }
void mainController::noweTabliceDoTabelki(Snapshot&& next) { m_snapshot = std::move(next); }

int mainController::podajRozmiarTabelkiProjektow() const { return static_cast<int>(m_snapshot.state.projectInfo.size()); }
projectRecord mainController::podajWartoscZTabelkiProjektow(int index) const {
    return m_snapshot.state.projectInfo.at(static_cast<std::size_t>(index));
}
int mainController::numberOfRowsInTableView() const { return static_cast<int>(m_snapshot.rows.main_result_table.size()); }

DateText mainController::podajDatePliku(const QString& path) const { return crunchwatch::podajDatePliku(path.toStdString()); }

// The client replaces its state file by writing a new one and renaming it
// into place, so for a moment there may be no file of that name. A path that
// was read before is given a few more tries within about 100 ms; any other
// path (the error message itself, a file never seen) fails at once, so a
// missing file never stalls the window on every watchdog tick.
Snapshot mainController::takeSnapshotWithRetry(const std::string& path) {
    Snapshot next = takeSnapshot(path);
    for (int attempt = 0; !next && attempt < 4 && !path.empty() && path == m_lastReadPath; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
        next = takeSnapshot(path);
    }
    return next;
}

void mainController::showCounters() {
    if (numberOfProjects) numberOfProjects->setText(QString::number(m_snapshot.numberOfProjects));
    if (totalCreditCount) totalCreditCount->setText(QString::fromStdString(formatGrouped(m_snapshot.totalCredit)));
}

void mainController::policzIWstawDoTabelki() {
    ++m_refreshCount;
    const std::string path = clientStatePath->text().toStdString();
    Snapshot next = takeSnapshotWithRetry(path);
    const bool read = static_cast<bool>(next);
    if (read) {
        m_lastReadPath = path;
        showSnapshot(std::move(next));
    } else {
        keepAfterFailure(next.status);
    }
    rereadChangedGlobalPrefs();
    emit refreshed(read);
}

// The snapshot just taken replaces the one shown. Both views read the one
// being replaced: they are told before it goes and after the new one is in
// place. A file without projects shows empty tables, and counters of 0
// beside them rather than the numbers of the file read before.
void mainController::showSnapshot(Snapshot&& next) {
    m_resultsModel->beginReload();
    projectTableOutlet->beginReload();
    usunTabliceDoTabelki();
    noweTabliceDoTabelki(std::move(next));
    m_resultsModel->endReload();
    projectTableOutlet->przeladujTabelke();
    showCounters();
    refreshHistory();
}

// The rows, the records, both tables and both counters stay as they were.
// Once the field holds the message, later cycles fail on the message itself;
// the file that was missing is still the one worth explaining.
void mainController::keepAfterFailure(const ReadStatus& status) {
    if (clientStatePath->text() != fileNotFoundMessage) {
        m_lastFailedPath = clientStatePath->text();
        m_lastFailure = status;
    }
    clientStatePath->setText(fileNotFoundMessage);
}

bool mainController::readGlobalPrefsFile() {
    const auto body = przygotujGlobalPrefs(global_prefsFileLocation);
    if (!body) return false;
    globalPrefsFileContents = *body;
    const GlobalPrefsValues values = wyciagamyDaneGlobalPrefs(globalPrefsFileContents);
    cpu_scheduling_period_minutes = values.cpu_scheduling_period_minutes;
    disk_interval = values.disk_interval;
    emit globalPrefsChanged();
    return true;
}

// Re-read only when the preferences file's date text changed since the last
// successful read; an unreadable file is tried again on every cycle.
void mainController::rereadChangedGlobalPrefs() {
    const DateText date = crunchwatch::podajDatePliku(global_prefsFileLocation);
    if (sameDate(date, global_prefs_time_stamp)) return;
    if (readGlobalPrefsFile()) global_prefs_time_stamp = date;
}

}  // namespace crunchwatch
