#pragma once
// RefreshValue: everything one refresh produced, in one immutable value that
// every view reads: how reading the state file went and why, the snapshot
// the tables show, the preferences in force, the history beside the state
// file matched with the snapshot's projects, where all of it was read, and
// when. A refresh makes a new value and never changes one it has handed out,
// so a value may be read on one thread while the next is made on another.
// Parts that a refresh left as they were are shared with the value before.

#include <cstddef>
#include <memory>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "state/client_lock.hpp"
#include "state/effective_prefs.hpp"
#include "state/event_log.hpp"
#include "state/event_sources.hpp"
#include "state/global_prefs.hpp"
#include "state/history.hpp"
#include "state/history_match.hpp"
#include "state/notices.hpp"
#include "state/paths.hpp"
#include "state/slot_checkpoint.hpp"
#include "tables/alerts.hpp"
#include "tables/computer.hpp"
#include "tables/history_table.hpp"
#include "tables/snapshot.hpp"

namespace crunchwatch {

// A file's date text: how a change is noticed (see fileDateText). None, a
// file whose attributes cannot be read, equals nothing.
using DateText = std::optional<std::string>;

// The global preferences: the web preferences file as last read
// successfully, the local override beside it, and what the client makes of
// the two (the override's values win).
struct Preferences {
    std::optional<std::string> fileContents;  // globalPrefsFileContents: the <global_preferences> body
    GlobalPrefsValues values;                 // cpu_scheduling_period_minutes, disk_interval: the web file's
    DateText stamp;                           // global_prefs_time_stamp: the file's date text when read
    std::size_t reads = 0;                    // how often the file has been read, start-up's read included
    std::optional<std::string> overrideContents;  // global_prefs_override.xml's body; none when absent
    DateText overrideStamp;                       // its date text when read
    EffectivePrefs effective;                     // the values in force, each with its file
};

// The history files and what they were matched with. Built once and never
// copied: the table's rows point into `history`.
struct HistoryValue {
    // `withRows` false leaves the table empty.
    HistoryValue(History h, HistoryMatch m, HistoryLabels l, bool withRows);
    HistoryValue(const HistoryValue&) = delete;
    HistoryValue& operator=(const HistoryValue&) = delete;

    History history;
    HistoryMatch match;    // each file's project, by its index in the snapshot's projectInfo
    HistoryLabels labels;  // what each file is shown as
    HistoryTable table;    // every finished task, newest first (when made)
};

// What the files beside the state file said when it was read: whether a
// client runs on the folder, the checkpoints of the running tasks that are
// newer than the state file, and how much of each download is on disk.
struct Surroundings {
    ClientLock lock;
    std::optional<double> stateFileTime;  // the state file's last modification, when read
    // By the results table's row, ascending.
    std::vector<std::pair<std::size_t, SlotCheckpoint>> checkpoints;
    // Per transfer of the snapshot: the size of a download's partial file.
    std::vector<std::optional<std::uint64_t>> partialSizes;

    bool clientStopped() const noexcept { return lock.running == ClientRunning::no; }
    const SlotCheckpoint* checkpointOfRow(std::size_t row) const noexcept;
};

// The client's event log as read from the source shown.
struct EventLogValue {
    std::vector<EventSource> sources;  // those that exist, in the order of preference
    std::optional<EventSource> shown;  // the one read: the user's choice when it exists, else the first
    std::string problem;               // why it gave nothing, in a sentence; empty when it was read
    EventLog log;                      // what was read of it, oldest first, secrets hidden
    std::size_t firstShown = 0;        // the views show the entries from here on (the newest ones)
};

// The projects' notices and their schedulers' last messages.
struct NoticesValue {
    NoticeFiles files;  // secrets hidden
    // The rows, newest first: an index below files.notices.size() is that
    // notice, one above it the scheduler message at (index - that size).
    std::vector<std::size_t> order;
    std::string stamp;  // what the files looked like when read (noticeFilesStamp)
};

struct RefreshValue {
    StatePath path;     // the state file this refresh was of, with its directory
    ReadStatus status;  // how reading it went
    // What the tables show: this refresh's snapshot when the file was read,
    // else the last one read (before any, an empty one whose status says
    // that nothing was read), kept as it was.
    std::shared_ptr<const Snapshot> snapshot;
    std::shared_ptr<const Preferences> prefs;
    std::shared_ptr<const HistoryValue> history;
    std::shared_ptr<const Surroundings> around;
    std::shared_ptr<const EventLogValue> events;
    std::shared_ptr<const NoticesValue> notices;
    std::shared_ptr<const ComputerValue> computer;  // the Computer and Disk tabs'
    std::shared_ptr<const AlertsValue> alerts;      // what needs the user (never null)
    std::optional<std::string> dateFormat;  // formatDaty, for every date shown
    double takenAt = 0;                     // when, in seconds since 1970

    explicit operator bool() const noexcept { return static_cast<bool>(status); }
};

using RefreshValuePtr = std::shared_ptr<const RefreshValue>;

}  // namespace crunchwatch
