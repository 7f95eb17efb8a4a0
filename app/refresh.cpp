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
    : QObject(parent), m_settings(settings), m_resultsModel(new ResultsModel(*this, this)) {}

mainController::~mainController() = default;

void mainController::usunTabliceDoTabelki() { m_rows.reset(); }
void mainController::noweTabliceDoTabelki() { m_rows.emplace(); }

int mainController::podajRozmiarTabelkiProjektow() const {
    return m_state ? static_cast<int>(m_state->projectInfo.size()) : 0;
}
projectRecord mainController::podajWartoscZTabelkiProjektow(int index) const {
    return m_state->projectInfo.at(static_cast<std::size_t>(index));
}

int mainController::numberOfRowsInTableView() const {
    return m_rows ? static_cast<int>(m_rows->main_result_table.size()) : 0;
}
resultRow mainController::resultRowAt(int row) const {
    return m_rows->main_result_table.at(static_cast<std::size_t>(row));
}

DateText mainController::podajDatePliku(const QString& path) const { return crunchwatch::podajDatePliku(path.toStdString()); }

// The client replaces its state file by writing a new one and renaming it
// into place, so for a moment there may be no file of that name. A path that
// was read before is given a few more tries within about 100 ms; any other
// path (the error message itself, a file never seen) fails at once, so a
// missing file never stalls the window on every watchdog tick.
std::optional<ClientState> mainController::loadWithRetry(const std::string& path, ReadFailure& why) {
    auto state = loadClientState(path, why);
    for (int attempt = 0; !state && attempt < 4 && !path.empty() && path == m_lastReadPath; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
        state = loadClientState(path, why);
    }
    return state;
}

void mainController::showCounters(std::size_t projects, double credit) {
    if (numberOfProjects) numberOfProjects->setText(QString::number(projects));
    if (totalCreditCount) totalCreditCount->setText(QString::fromStdString(formatGrouped(credit)));
}

void mainController::policzIWstawDoTabelki() {
    ++m_refreshCount;
    const std::string path = clientStatePath->text().toStdString();
    ReadFailure why = ReadFailure::none;
    auto loaded = loadWithRetry(path, why);
    if (!loaded) {
        // The rows, the records, both tables and both counters stay as they were.
        // Once the field holds the message, later cycles fail on the message
        // itself; the file that was missing is still the one worth explaining.
        if (clientStatePath->text() != fileNotFoundMessage) {
            m_lastFailedPath = clientStatePath->text();
            m_lastFailure = why;
        }
        clientStatePath->setText(fileNotFoundMessage);
    } else {
        m_lastReadPath = path;
        // Both views read the records being replaced: they are told before
        // the old ones go and after the new ones are complete.
        m_resultsModel->beginReload();
        projectTableOutlet->beginReload();
        usunTabliceDoTabelki();
        noweTabliceDoTabelki();
        m_state = std::move(loaded);  // wyciagamyDane ran as part of the load
        const std::size_t n = m_state->projectInfo.size();
        if (n > 0) m_rows = buildResultRows(m_state->projectInfo);
        m_resultsModel->endReload();
        projectTableOutlet->przeladujTabelke();
        // A file without projects shows empty tables, and counters of 0 beside
        // them rather than the numbers of the file read before.
        showCounters(n, n > 0 ? m_rows->totalCredit : 0.0);
        refreshHistory();
    }
    rereadChangedGlobalPrefs();
    emit refreshed(loaded.has_value());
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
