#pragma once
// Refresher: makes one RefreshValue per refresh, keeping between refreshes
// what makes the next one cheap: the history's incremental reading, the
// preferences' date stamp, the last snapshot read. The window (on its worker
// thread), crunchwatch-dump, the benchmarks and the fuzzers all refresh
// through it. One refresher is used by one thread at a time; the values it
// hands out may be read anywhere.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "state/file_stat.hpp"
#include "state/folder.hpp"
#include "state/paths.hpp"
#include "tables/date_value.hpp"
#include "tables/refresh_value.hpp"

namespace crunchwatch {

// Equal date texts (see fileDateText in state/file_stat.hpp): both present and the same. None never equals anything.
inline bool sameDate(const DateText& a, const DateText& b) { return a && b && *a == *b; }

// A value of a state file's contents already in memory, as a refresh of them
// would make it, without preferences or history (tests, fuzzing, benchmarks).
RefreshValuePtr valueOfText(std::string_view contents, std::optional<std::string> dateFormat = std::nullopt);

// Whether a refresh makes the History tab's rows (every finished task, newest
// first: a sort of every task whenever the history changes). The dump reads
// the job logs as they are and does without.
enum class TaskRows : bool { made, skipped };

// Where the client's own words are read from, beside the state file.
struct WordsOptions {
    bool read = true;                          // false: neither event log nor notices (the value has none)
    std::optional<std::string> journalFile;    // a journal file instead of the system's journal
    std::string systemLog = "/var/log/boinc.log";
    std::optional<EventSourceKind> choice;     // the user's; none, or one that does not exist: the first
    std::size_t shownEntries = 10000;          // the newest entries the views show; 0 for all
    std::size_t heldBytes = std::size_t{64} << 20;  // the event log's text kept at most
    // The newest journal entries a first read takes at most (0: as many as
    // fit in the held bytes): a one-shot reader that shows only the newest
    // entries need not read the whole journal.
    std::size_t journalFirstRead = 0;
};

// How the Disk tab's figures are counted.
struct DiskWalkOptions {
    bool walk = true;                       // false: no walk (the figures stay the client's own records)
    double every = 60;                      // seconds between walks at most, unless the projects changed
    std::size_t mostEntries = mostWalkEntries;
};

// The folder a data directory (a state path's rootDir()) is read through.
using FolderOf = std::function<std::shared_ptr<const Folder>(const std::string& rootDir)>;

// The state file's name in the folder of its directory: its path below the
// directory, or, for a path of no directory, the path itself as this
// machine's working folder has it.
std::string stateFileName(const StatePath& path);

class Refresher final {
public:
    explicit Refresher(std::optional<std::string> dateFormat = std::nullopt, TaskRows rows = TaskRows::made);

    // Every file from now on read through the folders `folders` gives (by
    // default, this machine's: a LocalFolder of each directory).
    void useFolders(FolderOf folders);

    // Start-up's own reading of the preferences, before its first refresh.
    // It leaves their stamp unset, so that the first refresh reads them again.
    void readPreferences(const StatePath& path);

    // One refresh cycle (policzIWstawDoTabelki's reading): the state file
    // at `path`; when it was read, the history beside it; last, whether it
    // was read or not, the preferences, if their date text changed since
    // their last successful read.
    RefreshValuePtr refresh(const StatePath& path);
    // A cycle with no state file to read (what the path field names is no
    // file): it fails, and what is shown stays; the preferences step runs.
    RefreshValuePtr refreshWithoutFile(const StatePath& path);

    // Goes on from `last`, a value another refresher made: its snapshot,
    // preferences and history are taken as this one's own.
    void resume(const RefreshValuePtr& last);

    // Whether what lies beside the state file changed since the last value:
    // the client's lock, or the checkpoint file of a task shown as running
    // (one attribute query each). The watchdog's tick asks this when the
    // state file itself has not changed.
    bool surroundingsChanged(const StatePath& path) const;

    // How the client's words are read from now on; the next refresh reads
    // them again when the source changed.
    void setWords(WordsOptions options);
    const WordsOptions& words() const noexcept { return m_wordsOptions; }
    // Whether the event log grew or the notices changed since the last value
    // (attribute queries only; the journal is asked for new entries).
    bool wordsChanged(const StatePath& path);
    // The last value with the event log read on and the notices read again
    // when they changed; the state file is not read. Null when nothing changed.
    RefreshValuePtr refreshWords(const StatePath& path);

    // The last value with its alerts evaluated again now, when that begins
    // or ends one: a deadline passes, a client's file grows stale, a client
    // stays idle long enough, all without a file changing. Null otherwise,
    // and when the last evaluation is less than `alertsEvery` seconds old.
    RefreshValuePtr refreshAlerts(double now = nowSeconds());
    static constexpr double alertsEvery = 30;

    // How the disk is walked from now on.
    void setDiskWalk(DiskWalkOptions options) { m_diskOptions = options; }

    // The alerts' thresholds from now on (the next refresh uses them).
    void setAlertThresholds(AlertThresholds limits) { m_alertLimits = limits; }

    // The last value handed out (an empty one before any).
    const RefreshValuePtr& last() const noexcept { return m_last; }

private:
    const Folder& folderOf(const std::string& rootDir) const { return *sharedFolderOf(rootDir); }
    const std::shared_ptr<const Folder>& sharedFolderOf(const std::string& rootDir) const;
    RefreshValuePtr finish(const StatePath& path, ReadStatus status);
    Snapshot takeSnapshotWithRetry(const StatePath& path);
    void historyStep(const StatePath& path);
    void surroundingsStep(const StatePath& path);
    void preferencesStep(const StatePath& path);
    bool readPreferencesFile(const StatePath& path, const DateText& stamp);

    std::optional<std::string> m_dateFormat;
    TaskRows m_rows;
    FolderOf m_folderOf;
    mutable std::shared_ptr<const Folder> m_folder;  // the folder asked for last
    mutable std::string m_folderDir;                // and its directory
    std::string m_lastReadPath;  // the state file last read, for the retry
    std::shared_ptr<const Snapshot> m_snapshot;
    std::shared_ptr<const Preferences> m_prefs;
    History m_history;  // read on from refresh to refresh
    std::shared_ptr<const HistoryValue> m_historyValue;
    std::shared_ptr<const Surroundings> m_around;
    StatePath m_aroundPath;  // the state file whose folder m_around describes
    std::vector<std::pair<std::string, DateText>> m_slotDates;  // the running tasks' checkpoint files, as last seen
    struct WordsReader;  // the open sources and what was read of them (refresher_words.cpp)
    void wordsStep(const StatePath& path);
    void noticesStep(const Folder& folder);
    WordsOptions m_wordsOptions;
    bool m_wordsAsked = false;  // options set since the last words step: the next one makes a value
    std::shared_ptr<WordsReader> m_words;
    std::shared_ptr<const EventLogValue> m_events;
    std::shared_ptr<const NoticesValue> m_notices;
    void computerStep(const StatePath& path);
    void resumeComputer(const RefreshValuePtr& last);
    DiskWalkOptions m_diskOptions;
    std::shared_ptr<const HostFiles> m_hostFiles;
    std::string m_hostFilesFor;  // the folder and the files' dates they were read at
    std::shared_ptr<const DiskWalk> m_walk;
    // The data folder and projects the last walk counted.
    std::string m_walkedDir;
    std::shared_ptr<const ProjectFolderList> m_walkedFolders;  // null when resumed from a value:
    std::optional<std::uint64_t> m_walkedDigest;                // then only their digest is known
    std::shared_ptr<const ProjectFolderList> m_folders;  // the shown snapshot's, in m_foldersDir
    std::string m_foldersDir;
    const void* m_foldersOf = nullptr;
    bool walkedTheFolders() const;  // whether m_walk counted m_folders in m_foldersDir
    std::shared_ptr<const ComputerValue> m_computer;
    const void* m_computerSnapshot = nullptr;  // the snapshot and preferences m_computer was built from
    const void* m_computerPrefs = nullptr;
    AlertThresholds m_alertLimits;
    std::string m_alertsFor;  // the file whose snapshot the last alerts were of
    RefreshValuePtr m_last;
};

}  // namespace crunchwatch
