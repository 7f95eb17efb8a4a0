#pragma once
// One refresh cycle, headless: what the window would show for a state file,
// as JSON or as text tables.

#include <optional>
#include <ostream>
#include <string>
#include <utility>

#include "state/global_prefs.hpp"
#include "state/history.hpp"
#include "tables/snapshot.hpp"

namespace crunchwatch {

// What the dump reports: the refresh's snapshot, as the window has it, and
// the files read beside the state file.
struct Report : Snapshot {
    explicit Report(Snapshot&& snapshot) : Snapshot(std::move(snapshot)) {}

    GlobalPrefsValues prefs;
    History history;  // the history files beside the state file
};

// The snapshot of the state file at `absolutePath`, then, when it was read,
// the preferences and history files beside it.
Report readReport(const std::string& absolutePath);

struct ReportOptions {
    std::string stateFileAsGiven;
    double now = 0;                         // the current moment, for "ETC"
    std::optional<std::string> dateFormat;  // every date cell's format
    std::size_t width = 100;                // terminal columns, for text tables
};

void writeJsonReport(std::ostream& out, const Report& report, const ReportOptions& options);
void writeTextReport(std::ostream& out, const Report& report, const ReportOptions& options);

}  // namespace crunchwatch
