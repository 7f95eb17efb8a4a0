// Start-up: which file to show, the first reading of everything, and the
// watchdog as the settings say.

#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMainWindow>
#include <QTableView>

#include "app/autosave.hpp"
#include "app/main_controller.hpp"
#include "app/project_table.hpp"
#include "app/state_path.hpp"
#include "tables/table_definition.hpp"

namespace crunchwatch {

// The results table is prepared once the window's widgets are connected:
// grid lines, and whole columns can be selected (as well as cells and rows).
void mainController::awakeFromNib() {
    mainTable->setShowGrid(true);
    mainTable->setSelectionBehavior(QAbstractItemView::SelectItems);
    mainTable->setSelectionMode(QAbstractItemView::ExtendedSelection);
}

// The window is shown before anything is read: the first reading of the
// file's date, the preferences and the first refresh run on the worker, in
// that order, and are installed when done.
void mainController::applicationDidFinishLaunching(const std::optional<QString>& pathForThisRun) {
    if (const auto format = m_settings.shortTimeDateFormat()) formatDaty = format->toStdString();
    if (const auto source = m_settings.eventLogSource()) m_words.choice = sourceOfId(source->toStdString());
    m_words.shownEntries = m_settings.eventLogEntries();
    m_wordsPending = true;

    autosaveWindow(mainWindow, m_settings, Settings::mainWindowLayout);
    autosaveHeader(mainTable->horizontalHeader(), m_settings, Settings::resultsTableLayout,
                   static_cast<int>(resultsTable.shownByDefault));
    projectTableOutlet->uruchomAutoSave();

    m_path = StatePath((pathForThisRun ? *pathForThisRun : resolveStatePath(m_settings)).toStdString());
    clientStatePath->setText(QString::fromStdString(m_path.file()));

    mainWindow->show();
    mainWindow->raise();
    mainWindow->activateWindow();

    startRunner(nullptr);
    RefreshJob first;
    first.startUp = true;
    startJob(std::move(first));

    // Only exactly 1 starts the watchdog here; any other non-zero state
    // ticks the box without starting it.
    watchDogButtonState = m_settings.enableWatchdogState();
    watchDogButton->setChecked(watchDogButtonState != 0);
    if (watchDogButtonState == 1) stoper(&mainController::watchDog, 2);
}

}  // namespace crunchwatch
