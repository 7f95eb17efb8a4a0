#include "tables/refresher.hpp"

#include <algorithm>
#include <chrono>
#include <unordered_map>
#include <thread>

#include "state/history_match.hpp"
#include "state/local_folder.hpp"
#include "state/numbers.hpp"
#include "tables/date_value.hpp"
#include "tables/results_cells.hpp"

namespace crunchwatch {
namespace {

HistoryTable tableOf(const History& history, const HistoryLabels& labels, bool withRows) {
    if (!withRows) return {};
    return {history, labels.jobLogs};
}

// Before any file is read, the client's defaults are in force.
std::shared_ptr<const Preferences> noPreferences() {
    auto prefs = std::make_shared<Preferences>();
    prefs->effective = effectivePrefs(std::nullopt, std::nullopt);
    return prefs;
}

}  // namespace

std::string stateFileName(const StatePath& path) {
    const std::string& file = path.file();
    const std::string& dir = path.rootDir();
    if (file.size() > dir.size() && file.starts_with(dir)) {
        const std::size_t name = file.find_first_not_of('/', dir.size());
        if (name != std::string::npos) return file.substr(name);
    }
    // No directory: "f.xml" is the working folder's, though its folder is
    // "/" (and the preferences "/global_prefs.xml").
    return file.empty() || file.starts_with('/') ? file : "./" + file;
}

void Refresher::useFolders(FolderOf folders) {
    m_folderOf = std::move(folders);
    m_folder.reset();
    m_folderDir.clear();
}

const std::shared_ptr<const Folder>& Refresher::sharedFolderOf(const std::string& rootDir) const {
    if (!m_folder || m_folderDir != rootDir) {
        m_folder = m_folderOf ? m_folderOf(rootDir) : std::make_shared<const LocalFolder>(rootDir);
        m_folderDir = rootDir;
    }
    return m_folder;
}

HistoryValue::HistoryValue(History h, HistoryMatch m, HistoryLabels l, bool withRows)
    : history(std::move(h)), match(std::move(m)), labels(std::move(l)), table(tableOf(history, labels, withRows)) {}

RefreshValuePtr valueOfText(std::string_view contents, std::optional<std::string> dateFormat) {
    const Refresher empty(dateFormat);
    RefreshValue v = *empty.last();
    v.snapshot = std::make_shared<const Snapshot>(snapshotOfText(contents));
    auto computer = std::make_shared<ComputerValue>();
    const ClientState& state = v.snapshot->state;
    computer->lines = computerLines(state.host, state.clientStatus.client, nullptr, v.prefs->effective);
    computer->disk = diskFigures(std::shared_ptr<const ClientState>(v.snapshot, &state), state.host, v.prefs->effective,
                                 nullptr);
    v.computer = std::move(computer);
    v.takenAt = nowSeconds();
    v.alerts = std::make_shared<const AlertsValue>(evaluateAlerts(v, AlertThresholds{}, nullptr));
    return std::make_shared<const RefreshValue>(std::move(v));
}

namespace {

// What the tables show before any file was read: nothing, and not as a file
// without projects.
std::shared_ptr<const Snapshot> nothingRead() {
    auto none = std::make_shared<Snapshot>();
    none->status.failure = ReadFailure::noPath;
    return none;
}

}  // namespace

Refresher::Refresher(std::optional<std::string> dateFormat, TaskRows rows)
    : m_dateFormat(std::move(dateFormat)),
      m_rows(rows),
      m_snapshot(nothingRead()),
      m_prefs(noPreferences()),
      m_historyValue(std::make_shared<const HistoryValue>(History(), HistoryMatch(), HistoryLabels(), true)),
      m_around(std::make_shared<const Surroundings>()),
      m_events(std::make_shared<const EventLogValue>()),
      m_notices(std::make_shared<const NoticesValue>()),
      m_computer(std::make_shared<const ComputerValue>()),
      m_last(std::make_shared<const RefreshValue>(RefreshValue{StatePath(), ReadStatus{}, m_snapshot, m_prefs,
                                                               m_historyValue, m_around, m_events, m_notices,
                                                               m_computer, std::make_shared<const AlertsValue>(),
                                                               m_dateFormat, 0})) {}

void Refresher::resume(const RefreshValuePtr& last) {
    m_snapshot = last->snapshot;
    m_prefs = last->prefs;
    m_historyValue = last->history;
    m_around = last->around;
    m_events = last->events;
    m_notices = last->notices;
    resumeComputer(last);
    m_history = last->history->history;
    m_lastReadPath = *last ? last->path.file() : std::string();
    m_aroundPath = StatePath(m_lastReadPath);
    m_alertsFor = m_lastReadPath;
    m_last = last;
}

RefreshValuePtr Refresher::refreshAlerts(double now) {
    if (!(now - m_last->takenAt >= alertsEvery) && now >= m_last->takenAt) return nullptr;
    RefreshValue next = *m_last;
    next.takenAt = now;
    next.alerts = std::make_shared<const AlertsValue>(evaluateAlerts(next, m_alertLimits, &m_last->alerts->memory));
    // The memory holds each active alert's key with the moment it began, and
    // an alert that goes on keeps its moment: equal memories, the same alerts.
    const bool changed = next.alerts->memory.since != m_last->alerts->memory.since;
    // The next evaluation counts from this one, shown or not.
    m_last = std::make_shared<const RefreshValue>(std::move(next));
    return changed ? m_last : nullptr;
}

void Refresher::readPreferences(const StatePath& path) { readPreferencesFile(path, m_prefs->stamp); }

RefreshValuePtr Refresher::refresh(const StatePath& path) {
    Snapshot next = takeSnapshotWithRetry(path);
    const ReadStatus status = next.status;
    if (status) {
        m_lastReadPath = path.file();
        m_snapshot = std::make_shared<const Snapshot>(std::move(next));
        historyStep(path);
    }
    return finish(path, status);
}

RefreshValuePtr Refresher::refreshWithoutFile(const StatePath& path) {
    return finish(path, ReadStatus{ReadFailure::noPath});
}

RefreshValuePtr Refresher::finish(const StatePath& path, ReadStatus status) {
    surroundingsStep(path);
    preferencesStep(path);
    wordsStep(path);
    computerStep(path);
    RefreshValue next{path,     status,     m_snapshot, m_prefs,      m_historyValue, m_around,
                      m_events, m_notices,  m_computer, nullptr,      m_dateFormat,   nowSeconds()};
    // What began before goes on from when it began, while the snapshot is
    // of the same file (a file that failed to read shows the one before).
    const bool sameFile = m_alertsFor == m_lastReadPath;
    next.alerts = std::make_shared<const AlertsValue>(
        evaluateAlerts(next, m_alertLimits, sameFile ? &m_last->alerts->memory : nullptr));
    m_alertsFor = m_lastReadPath;
    m_last = std::make_shared<const RefreshValue>(std::move(next));
    return m_last;
}

namespace {


bool runsNow(const resultRow& row) {
    return readInteger(row.get(Key::state)) == 2 && !row.has(Key::suspended_via_gui) &&
           readNumber(schedulerState(row)) == 2.0;
}

bool newerThan(const SlotCheckpoint& c, const FileStat& state) {
    return c.seconds != state.seconds ? c.seconds > state.seconds : c.nanoseconds > state.nanoseconds;
}

// The most slot files read, and partial downloads looked at, in a refresh:
// more than any machine runs tasks at once or fetches files.
constexpr std::size_t mostSlotsRead = 4096;

// A name the client gave one of its files or folders: never a path of its own.
bool plainFileName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

}  // namespace

// Read with every refresh, whether or not the state file was read: a client
// that stops leaves its file as it was, and only the lock says so. The
// checkpoints and partial files are those of the snapshot shown, in the
// folder it was read from.
void Refresher::surroundingsStep(const StatePath& path) {
    const StatePath shownPath = m_lastReadPath.empty() ? path : StatePath(m_lastReadPath);
    const Folder& folder = folderOf(shownPath.rootDir());
    auto next = std::make_shared<Surroundings>();
    next->lock = folder.lock(lockFileName);
    m_aroundPath = shownPath;
    m_slotDates.clear();
    const Snapshot& shown = *m_snapshot;
    ReadFailure ignored{};
    const auto state = shown ? folder.stat(stateFileName(shownPath), ignored) : std::nullopt;
    if (state) next->stateFileTime = static_cast<double>(state->seconds) + state->nanoseconds / 1e9;
    // A slot holds one task: each slot's file is read once, and only so many
    // as a big machine has slots.
    std::unordered_map<std::string_view, std::optional<SlotCheckpoint>> slots;
    const ResultTable& rows = shown.rows.main_result_table;
    for (std::size_t i = 0; state && i < rows.size(); ++i) {
        const resultRow row = rows[i];
        const auto slot = row.get(Key::slot);
        if (!slot || !runsNow(row)) continue;
        auto known = slots.find(*slot);
        if (known == slots.end()) {
            const auto file = slotFileName(*slot);
            if (!file || slots.size() == mostSlotsRead) continue;
            m_slotDates.emplace_back(*file, folder.dateText(*file));
            auto checkpoint = readSlotCheckpoint(folder, *slot);
            if (checkpoint && !newerThan(*checkpoint, *state)) checkpoint.reset();
            known = slots.emplace(*slot, std::move(checkpoint)).first;
        }
        const auto& checkpoint = known->second;
        if (!checkpoint || checkpoint->project_url != row.get(Key::master_url) ||
            checkpoint->result != row.get(Key::name))
            continue;
        next->checkpoints.emplace_back(i, *checkpoint);
    }
    const ProjectInfo& projects = shown.state.projectInfo;
    std::size_t looked = 0;
    for (const Transfer& t : shown.state.clientStatus.transfers()) {
        std::optional<std::uint64_t> size;
        const auto url = t.project < projects.size() ? projects[t.project].values.get(Key::master_url) : std::nullopt;
        if (!t.upload() && !t.bytes_xferred && url && t.name && plainFileName(*t.name) && looked < mostSlotsRead) {
            const std::string projectDir = escapedMasterUrl(*url);
            ++looked;
            // Only a regular file in the project's own folder: never a link.
            const std::string file = "projects/" + projectDir + "/" + std::string(*t.name);
            const auto partial = plainFileName(projectDir) ? folder.stat(file, ignored, Links::notFollowed) : std::nullopt;
            if (partial && partial->regular) size = partial->size;
        }
        next->partialSizes.push_back(size);
    }
    m_around = std::move(next);
}

bool Refresher::surroundingsChanged(const StatePath& path) const {
    const StatePath& shownPath = m_lastReadPath.empty() ? path : m_aroundPath;
    const Folder& folder = folderOf(shownPath.rootDir());
    if (folder.lock(lockFileName) != m_around->lock) return true;
    for (const auto& [file, date] : m_slotDates)
        if (folder.dateText(file) != date) return true;
    return false;
}

const SlotCheckpoint* Surroundings::checkpointOfRow(std::size_t row) const noexcept {
    const auto it = std::lower_bound(checkpoints.begin(), checkpoints.end(), row,
                                     [](const auto& c, std::size_t r) { return c.first < r; });
    return it != checkpoints.end() && it->first == row ? &it->second : nullptr;
}

// The client replaces its state file by writing a new one and renaming it
// into place, so for a moment there may be no file of that name. A path that
// was read before is given a few more tries within about 100 ms; any other
// path (a file never seen) fails at once.
Snapshot Refresher::takeSnapshotWithRetry(const StatePath& path) {
    const Folder& folder = folderOf(path.rootDir());
    const std::string name = stateFileName(path);
    Snapshot next = takeSnapshot(folder, name);
    for (int attempt = 0; !next && attempt < 4 && !path.file().empty() && path.file() == m_lastReadPath; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
        next = takeSnapshot(folder, name);
    }
    return next;
}

// The data directory listed again, the history files that changed read
// again, and every file matched against the projects just read. A new value
// only when something shown changed.
void Refresher::historyStep(const StatePath& path) {
    const bool changed = m_history.refresh(folderOf(path.rootDir()));
    const ProjectInfo& projects = m_snapshot->state.projectInfo;
    HistoryMatch match = matchHistory(m_history, projects);
    HistoryLabels labels = historyLabels(m_history, projects, match);
    if (!changed && match == m_historyValue->match && labels == m_historyValue->labels) return;
    // The value takes a copy, which shares the files' contents with the
    // history read on at the next refresh.
    m_historyValue = std::make_shared<const HistoryValue>(m_history, std::move(match), std::move(labels),
                                                          m_rows == TaskRows::made);
}

// Read again only when the file's date text changed since the last
// successful read; an unreadable file is tried again on every cycle.
void Refresher::preferencesStep(const StatePath& path) {
    const Folder& folder = folderOf(path.rootDir());
    const DateText date = folder.dateText(globalPrefsFileName);
    // An override that is still absent is unchanged: nothing to read again.
    if (sameDate(date, m_prefs->stamp) && folder.dateText(prefsOverrideFileName) == m_prefs->overrideStamp) return;
    readPreferencesFile(path, date);
}

// The web file as before: its last successful read stays when it cannot be
// read. The override is read whenever its date changed, and goes when it
// goes: the client then uses the web file's values again.
bool Refresher::readPreferencesFile(const StatePath& path, const DateText& stamp) {
    const Folder& folder = folderOf(path.rootDir());
    auto body = przygotujGlobalPrefs(folder, globalPrefsFileName);
    const DateText overrideStamp = folder.dateText(prefsOverrideFileName);
    const bool overrideChanged = overrideStamp != m_prefs->overrideStamp;
    if (!body && !overrideChanged) return false;
    auto next = std::make_shared<Preferences>(*m_prefs);
    if (body) {
        next->values = wyciagamyDaneGlobalPrefs(*body);
        next->fileContents = std::move(*body);
        next->stamp = stamp;
        next->reads = m_prefs->reads + 1;
    }
    if (overrideChanged) {
        auto overrideBody = overrideStamp ? przygotujGlobalPrefs(folder, prefsOverrideFileName) : std::nullopt;
        next->overrideContents = overrideBody ? std::move(*overrideBody) : std::nullopt;
        next->overrideStamp = overrideStamp;
    }
    next->effective = effectivePrefs(next->overrideContents, next->fileContents);
    m_prefs = std::move(next);
    return true;
}

}  // namespace crunchwatch
