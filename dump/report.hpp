#pragma once
// One refresh cycle, headless: what the window would show for a state file,
// as JSON or as text tables.

#include <optional>
#include <ostream>
#include <string>
#include <utility>

#include "tables/refresh_value.hpp"
#include "tables/refresher.hpp"

namespace crunchwatch {

// What the dump reports: one refresh, as the window has it.
using Report = RefreshValue;

// One refresh of the state file at `absolutePath`: the file, and beside it
// the history (when the file was read), the preferences and the client's
// words as `words` says.
RefreshValuePtr readReport(const std::string& absolutePath, const WordsOptions& words = {});

struct ReportOptions {
    std::string stateFileAsGiven;
    double now = 0;                         // the current moment, for "ETC"
    std::optional<std::string> dateFormat;  // every date cell's format
    std::size_t width = 100;                // terminal columns, for text tables
    std::optional<EventSourceKind> eventSource = std::nullopt;  // the event log's source asked for
    // The JSON member of the client's <host_info>: "host" alone, "host_info"
    // among several hosts, whose "host" is the host's name.
    std::string hostKey = "host";
};

void writeJsonReport(std::ostream& out, const Report& report, const ReportOptions& options);
void writeTextReport(std::ostream& out, const Report& report, const ReportOptions& options);

}  // namespace crunchwatch
