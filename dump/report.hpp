#pragma once
// One refresh cycle, headless: what the window would show for a state file,
// as JSON or as text tables.

#include <optional>
#include <ostream>
#include <string>

#include "state/global_prefs.hpp"
#include "state/history.hpp"
#include "state/projects.hpp"
#include "tables/rows.hpp"

namespace crunchwatch {

struct Snapshot {
    ClientState state;
    ResultRows rows;
    GlobalPrefsValues prefs;
    History history;  // the history files beside the state file
};

// Reads the state file at `absolutePath`, and the preferences and history
// files beside it.
// Nothing when the state file cannot be read.
std::optional<Snapshot> takeSnapshot(const std::string& absolutePath);
// The same, and on failure `why` records what the reader saw.
std::optional<Snapshot> takeSnapshot(const std::string& absolutePath, ReadFailure& why);

struct ReportOptions {
    std::string stateFileAsGiven;
    double now = 0;                         // the current moment, for "ETC"
    std::optional<std::string> dateFormat;  // every date cell's format
    std::size_t width = 100;                // terminal columns, for text tables
};

void writeJsonReport(std::ostream& out, const Snapshot& snapshot, const ReportOptions& options);
void writeTextReport(std::ostream& out, const Snapshot& snapshot, const ReportOptions& options);

}  // namespace crunchwatch
