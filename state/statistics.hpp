#pragma once
// The client's credit history of one project (statistics_<project>.xml):
// <project_statistics> with its <master_url> and one <daily_statistics> per
// day, each with <day> (seconds since 1970) and the user's and the host's
// total and recent average credit.
//
// Read like the state file: whole, normalised, cut by literal tags. Values
// stay text, verbatim; an absent or empty one is absent.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "state/file_read.hpp"

namespace crunchwatch {

struct DailyStatistics {
    std::optional<std::string_view> day;
    std::optional<std::string_view> user_total_credit;
    std::optional<std::string_view> user_expavg_credit;
    std::optional<std::string_view> host_total_credit;
    std::optional<std::string_view> host_expavg_credit;
};

// The values are views into `text`, which moves with them.
struct ProjectStatistics {
    TextBuffer text;
    std::optional<std::string_view> master_url;
    std::vector<DailyStatistics> days;  // in file order
};

// Normalises the contents and cuts the values from them.
ProjectStatistics statisticsFromText(TextBuffer contents);

// Nothing when the file cannot be read (missing, unreadable, not a regular file).
std::optional<ProjectStatistics> readStatisticsFile(const std::string& path);

}  // namespace crunchwatch
