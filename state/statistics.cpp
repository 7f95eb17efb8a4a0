#include "state/statistics.hpp"

#include "state/local_folder.hpp"
#include "state/normalise.hpp"
#include "state/scan.hpp"

namespace crunchwatch {

ProjectStatistics statisticsFromText(TextBuffer contents) {
    contents.shrinkTo(normaliseInPlace(contents.data(), contents.size()));
    ProjectStatistics s{SharedText(std::move(contents)), std::nullopt, {}};
    const std::string_view text = s.text.view();
    s.master_url = wytnij(text, "<master_url>", "</master_url>");

    // Each day from its start tag up to the next end tag (or the end of the
    // text); the next one is looked for from that end tag on, as results are.
    constexpr std::string_view open = "<daily_statistics>", close = "</daily_statistics>";
    std::vector<DailyStatistics> days;
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t start = findFrom(text, open, from);
        if (start == std::string_view::npos) break;
        std::size_t end = findFrom(text, close, start + open.size());
        if (end == std::string_view::npos) end = text.size();
        const std::string_view day = text.substr(start, end - start);
        days.push_back({wytnij(day, "<day>", "</day>"),
                        wytnij(day, "<user_total_credit>", "</user_total_credit>"),
                        wytnij(day, "<user_expavg_credit>", "</user_expavg_credit>"),
                        wytnij(day, "<host_total_credit>", "</host_total_credit>"),
                        wytnij(day, "<host_expavg_credit>", "</host_expavg_credit>")});
        from = end;
    }
    s.days = StatisticsDays(std::move(days));
    return s;
}

std::optional<ProjectStatistics> readStatisticsFile(const std::string& path, ReadFailure& why) {
    return readStatisticsFile(LocalFolder(), path, why);
}

std::optional<ProjectStatistics> readStatisticsFile(const Folder& folder, std::string_view name, ReadFailure& why) {
    auto contents = folder.readWhole(name, why);
    if (!contents) return std::nullopt;
    return statisticsFromText(std::move(*contents));
}

std::optional<ProjectStatistics> readStatisticsFile(const std::string& path) {
    ReadFailure ignored{};
    return readStatisticsFile(path, ignored);
}

}  // namespace crunchwatch
