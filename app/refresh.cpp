// The refresh cycle: the one place where what the window shows is rebuilt.
// The reading runs on the worker (refresh_runner.cpp); here a cycle is asked
// for, and its value installed.

#include <QLineEdit>
#include <QTimer>
#include <QTableView>

#include "app/main_controller.hpp"
#include "app/table_model.hpp"
#include "tables/format.hpp"
#include "tables/refresher.hpp"
#include "tables/table_definition.hpp"

namespace crunchwatch {

const QString fileNotFoundMessage = QStringLiteral("Error: file not found!");

mainController::mainController(Settings& settings, QObject* parent)
    : QObject(parent),
      m_settings(settings),
      m_value(Refresher().last()),
      m_resultsModel(new ColumnTableModel<resultRow>(resultsTable, this, indexOf(ResultColumn::State))),
      m_slowReading(new QTimer(this)) {
    connect(this, &mainController::valueChanged, m_resultsModel, &TableModel::show);
    m_slowReading->setSingleShot(true);
    connect(m_slowReading, &QTimer::timeout, this,
            [this] { emit stillReading(QString::fromStdString(m_path.file())); });
}

mainController::~mainController() = default;

void mainController::usunTabliceDoTabelki() { m_value.reset(); }

void mainController::noweTabliceDoTabelki(RefreshValuePtr next) {
    m_value = std::move(next);
    emit valueChanged(m_value);
}

int mainController::podajRozmiarTabelkiProjektow() const {
    return static_cast<int>(m_value->snapshot->state.projectInfo.size());
}
projectRecord mainController::podajWartoscZTabelkiProjektow(int index) const {
    return m_value->snapshot->state.projectInfo.at(static_cast<std::size_t>(index));
}
int mainController::numberOfRowsInTableView() const {
    return static_cast<int>(m_value->snapshot->rows.main_result_table.size());
}

DateText mainController::podajDatePliku(const QString& path) const { return fileDateText(path.toStdString()); }

void mainController::policzIWstawDoTabelki() { ask(askRefresh); }

// A request while a job runs is remembered, and what was asked for runs once
// after it: never two jobs at once, and nothing asked for is lost. Whether
// the path field named a file is taken when the refresh is asked for, as the
// refresh would have read the field then.
void mainController::ask(unsigned what) {
    if (!m_runner) return;  // before start-up: its own refresh comes
    const bool named = !fieldShowsMessage();
    if (m_inFlight) {
        m_asked |= what;
        m_askedNamed = m_askedNamed || named;
        return;
    }
    start(what, named);
}

void mainController::start(unsigned what, bool fileNamed) {
    // No tick runs while the file panel is open (one asked for before it
    // opened waits for the next).
    if (m_panelOpen) what &= ~unsigned{askTick};
    if (what == 0) {
        emit settled();
        return;
    }
    RefreshJob job;
    job.refresh = (what & askRefresh) != 0;
    job.tick = (what & askTick) != 0;
    job.readWords = (what & askWords) != 0;
    job.fileNamed = fileNamed;
    startJob(std::move(job));
}

void mainController::startJob(RefreshJob job) {
    job.path = m_path;
    job.stamp = client_state_time_stamp;
    if (std::exchange(m_wordsPending, false)) job.words = m_words;
    if (!m_alertLimits) m_alertLimits = m_settings.alertThresholds();
    job.alertLimits = *m_alertLimits;
    m_inFlight = true;
    m_jobClock.start();
    m_slowReading->start(slowReadingMs());
    m_runner->start(std::move(job));
}

void mainController::startRunner(RefreshValuePtr resumeFrom) {
    m_runner = std::make_unique<RefreshRunner>(formatDaty, std::move(resumeFrom));
    connect(m_runner.get(), &RefreshRunner::finished, this, &mainController::jobFinished);
    m_wordsPending = true;
    m_inFlight = false;
    m_asked = 0;
    m_askedNamed = false;
    m_slowReading->stop();
}

void mainController::setJournalFile(std::optional<std::string> file) {
    m_words.journalFile = std::move(file);
    m_wordsPending = true;
}

void mainController::chooseEventSource(EventSourceKind kind) {
    const std::string_view id = sourceId(kind);
    m_settings.setEventLogSource(QString::fromLatin1(id.data(), static_cast<qsizetype>(id.size())));
    m_words.choice = kind;
    m_wordsPending = true;
    ask(askWords);
}

void mainController::setReadingPauseForTesting(std::function<void()> pause) {
    if (m_runner) m_runner->setPauseForTesting(std::move(pause));
}

bool mainController::fieldShowsMessage() const { return clientStatePath->text() == fileNotFoundMessage; }

void mainController::jobFinished(const RefreshOutcome& outcome) {
    m_inFlight = false;
    m_slowReading->stop();
    // A reading of the file shown before Open chose another is no longer
    // wanted: the refresh Open asked for follows.
    if (outcome.job.path == m_path) install(outcome);
    if (m_asked) {
        const unsigned asked = std::exchange(m_asked, 0);
        start(asked, std::exchange(m_askedNamed, false));
    } else {
        emit settled();
    }
}

void mainController::install(const RefreshOutcome& outcome) {
    const RefreshJob& job = outcome.job;
    if (job.tick || job.startUp) client_state_mod_date = outcome.reading;
    if (job.startUp) client_state_time_stamp = outcome.reading;
    // New lines of the event log, or new notices, without a new state file:
    // only they are new, and the state file's cycle neither ran nor counts.
    if (outcome.wordsOnly) {
        if (outcome.value) noweTabliceDoTabelki(outcome.value);
        return;
    }
    if (const RefreshValuePtr& value = outcome.value) {
        ++m_refreshCount;
        if (*value) showSnapshot(value);
        else keepAfterFailure(outcome);
        showPreferences(*value->prefs);
        // The stamp moves on only once the cycle the change asked for is done.
        if (job.tick) client_state_time_stamp = outcome.reading;
        emit refreshed(static_cast<bool>(*value));
    }
}

void mainController::showCounters() {
    const Snapshot& s = *m_value->snapshot;
    numberOfProjects->setText(QString::number(s.numberOfProjects));
    totalCreditCount->setText(QString::fromStdString(formatGrouped(s.totalCredit)));
    // The whole number in sight, whatever the window's width.
    for (QLineEdit* field : {numberOfProjects, totalCreditCount}) {
        field->setMinimumWidth(field->fontMetrics().horizontalAdvance(field->text()) + 16);
        field->setCursorPosition(0);
    }
}

// The value just made replaces the one shown: every view is handed the new
// one, and the counters follow. A file without projects shows empty tables,
// and counters of 0 beside them rather than the numbers of the file before.
void mainController::showSnapshot(RefreshValuePtr next) {
    clientStatePath->setText(QString::fromStdString(next->path.file()));
    usunTabliceDoTabelki();
    noweTabliceDoTabelki(std::move(next));
    showCounters();
}

// The rows, the records, both tables and both counters stay as they were.
// A cycle that read no file (the field held the message) keeps explaining
// the file that was missing.
void mainController::keepAfterFailure(const RefreshOutcome& outcome) {
    if (outcome.fileRead) {
        m_lastFailedPath = QString::fromStdString(outcome.value->path.file());
        m_lastFailure = outcome.value->status.failure;
    }
    clientStatePath->setText(fileNotFoundMessage);
    noweTabliceDoTabelki(outcome.value);
}

void mainController::showPreferences(const Preferences& prefs) {
    global_prefs_time_stamp = prefs.stamp;
    globalPrefsFileContents = prefs.fileContents;
    cpu_scheduling_period_minutes = prefs.values.cpu_scheduling_period_minutes;
    disk_interval = prefs.values.disk_interval;
}

}  // namespace crunchwatch
