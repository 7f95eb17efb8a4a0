#include "state/history_match.hpp"

#include <unordered_map>

#include "state/numbers.hpp"

namespace crunchwatch {
namespace {

bool isKept(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
           c == '_';
}

// A first-match index of the projects by some text of theirs.
template <class KeyOf>
std::unordered_map<std::string, std::size_t> firstIndexBy(const ProjectInfo& projects, KeyOf keyOf) {
    std::unordered_map<std::string, std::size_t> index;
    for (std::size_t i = 0; i < projects.size(); ++i)
        if (const auto key = keyOf(projects[i])) index.try_emplace(*key, i);
    return index;
}

std::optional<std::size_t> lookUp(const std::unordered_map<std::string, std::size_t>& index, std::string_view key) {
    const auto it = index.find(std::string(key));
    return it == index.end() ? std::nullopt : std::optional<std::size_t>(it->second);
}

}  // namespace

std::string escapedMasterUrl(std::string_view url) {
    for (std::string_view scheme : {"http://", "https://"})
        if (url.starts_with(scheme)) {
            url.remove_prefix(scheme.size());
            break;
        }
    std::string out(url);
    for (char& c : out)
        if (!isKept(c)) c = '_';
    if (!out.empty() && out.back() == '_') out.pop_back();
    return out;
}

std::string_view escapedUrlOfJobLog(std::string_view fileName) noexcept {
    constexpr std::string_view prefix = "job_log_", suffix = ".txt";
    if (!isJobLogFileName(fileName)) return {};
    return fileName.substr(prefix.size(), fileName.size() - prefix.size() - suffix.size());
}

HistoryMatch matchHistory(const History& history, const ProjectInfo& projects) {
    HistoryMatch m;
    const auto byUrl = firstIndexBy(projects, [](const projectRecord& p) -> std::optional<std::string> {
        const auto url = p.values.get("master_url");
        return url ? std::optional<std::string>(*url) : std::nullopt;
    });
    const auto byEscaped = firstIndexBy(projects, [](const projectRecord& p) -> std::optional<std::string> {
        const auto url = p.values.get("master_url");
        return url ? std::optional<std::string>(escapedMasterUrl(*url)) : std::nullopt;
    });
    for (const StatisticsFile& f : history.statisticsFiles()) {
        const auto url = f.statistics ? f.statistics->master_url : std::nullopt;
        m.statistics.push_back(url ? lookUp(byUrl, *url) : std::nullopt);
    }
    for (const JobLogFile& f : history.jobLogFiles()) m.jobLogs.push_back(lookUp(byEscaped, escapedUrlOfJobLog(f.name)));
    return m;
}

std::string_view historyLabel(const std::string& fileName, std::optional<std::size_t> project,
                              const ProjectInfo& projects) {
    if (project && *project < projects.size())
        if (const auto name = projects[*project].values.get("project_name")) return *name;
    return fileName;
}

HistoryLabels historyLabels(const History& history, const ProjectInfo& projects, const HistoryMatch& match) {
    HistoryLabels labels;
    for (std::size_t i = 0; i < history.statisticsFiles().size(); ++i)
        labels.statistics.emplace_back(historyLabel(history.statisticsFiles()[i].name, match.statistics[i], projects));
    for (std::size_t i = 0; i < history.jobLogFiles().size(); ++i)
        labels.jobLogs.emplace_back(historyLabel(history.jobLogFiles()[i].name, match.jobLogs[i], projects));
    return labels;
}

std::vector<ProjectHistoryFigures> historyFiguresByProject(const History& history, const ProjectInfo& projects,
                                                           const HistoryMatch& match) {
    std::vector<ProjectHistoryFigures> figures(projects.size());
    std::vector<double> newest(projects.size(), 0);
    for (std::size_t i = 0; i < history.statisticsFiles().size() && i < match.statistics.size(); ++i) {
        const StatisticsFile& f = history.statisticsFiles()[i];
        if (!f.statistics || !match.statistics[i]) continue;
        const std::size_t p = *match.statistics[i];
        for (const DailyStatistics& d : f.statistics->days) {
            if (!d.day) continue;
            const double day = readNumber(d.day);
            if (!figures[p].newestStatisticsDay || day > newest[p]) {
                figures[p].newestStatisticsDay = d.day;
                figures[p].newestDay = &d;
                newest[p] = day;
            }
        }
    }
    for (std::size_t i = 0; i < history.jobLogFiles().size() && i < match.jobLogs.size(); ++i) {
        const JobLogFile& f = history.jobLogFiles()[i];
        if (!f.read || !match.jobLogs[i]) continue;
        figures[*match.jobLogs[i]].finishedTasks += f.log.size();
        figures[*match.jobLogs[i]].processorSeconds += f.log.processorSeconds();
    }
    return figures;
}

}  // namespace crunchwatch
