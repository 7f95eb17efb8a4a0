#pragma once
// The client's credit history of one project (statistics_<project>.xml):
// <project_statistics> with its <master_url> and one <daily_statistics> per
// day, each with <day> (seconds since 1970) and the user's and the host's
// total and recent average credit.
//
// Read like the state file: whole, normalised, cut by literal tags. Values
// stay text, verbatim; an absent or empty one is absent. The statistics are
// an immutable value: copies share the text and the days, so a copy costs a
// few pointers, and the views stay valid while any copy lives.

#include <cstddef>
#include <memory>
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

// A file's text, shared by every copy of what was cut from it.
class SharedText final {
public:
    SharedText() = default;
    explicit SharedText(TextBuffer text) : m_text(std::make_shared<const TextBuffer>(std::move(text))) {}
    std::string_view view() const noexcept { return m_text ? m_text->view() : std::string_view(); }

private:
    std::shared_ptr<const TextBuffer> m_text;
};

// The days in file order, shared by every copy.
class StatisticsDays final {
public:
    StatisticsDays() = default;
    explicit StatisticsDays(std::vector<DailyStatistics> days)
        : m_days(std::make_shared<const std::vector<DailyStatistics>>(std::move(days))) {}
    const DailyStatistics* begin() const noexcept { return m_days ? m_days->data() : nullptr; }
    const DailyStatistics* end() const noexcept { return begin() + size(); }
    std::size_t size() const noexcept { return m_days ? m_days->size() : 0; }
    bool empty() const noexcept { return size() == 0; }
    const DailyStatistics& operator[](std::size_t i) const noexcept { return (*m_days)[i]; }

private:
    std::shared_ptr<const std::vector<DailyStatistics>> m_days;
};

// The values are views into `text`.
struct ProjectStatistics {
    SharedText text;
    std::optional<std::string_view> master_url;
    StatisticsDays days;
};

// Normalises the contents and cuts the values from them.
ProjectStatistics statisticsFromText(TextBuffer contents);

// Nothing when the file cannot be read (missing, unreadable, not a regular
// file); `why` then says why.
std::optional<ProjectStatistics> readStatisticsFile(const std::string& path);
std::optional<ProjectStatistics> readStatisticsFile(const std::string& path, ReadFailure& why);
class Folder;
std::optional<ProjectStatistics> readStatisticsFile(const Folder& folder, std::string_view name, ReadFailure& why);

}  // namespace crunchwatch
