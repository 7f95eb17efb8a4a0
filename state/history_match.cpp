#include "state/history_match.hpp"

#include <unordered_map>

#include "state/numbers.hpp"

namespace crunchwatch {
namespace {

bool isKept(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
           c == '_';
}

// The history's files each name one project by a text of its (the master
// URL, or its escaped form): the first project with that text is theirs.
// The index is of the files' texts, a few dozen at most, and the projects
// are passed once, so a state file of very many projects costs no index of
// its own.
class FilesByKey final {
public:
    void add(std::size_t file, std::optional<std::string_view> key) {
        if (key) m_files[std::string(*key)].push_back(file);
    }
    // Gives each file whose key is `key` the project, unless an earlier
    // project had that key.
    void offer(std::string_view key, std::size_t project, std::vector<std::optional<std::size_t>>& match) {
        const auto it = m_files.find(std::string(key));
        if (it == m_files.end()) return;
        for (const std::size_t file : it->second)
            if (!match[file]) match[file] = project;
        m_files.erase(it);
    }
    bool empty() const noexcept { return m_files.empty(); }

private:
    std::unordered_map<std::string, std::vector<std::size_t>> m_files;
};

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
    m.statistics.resize(history.statisticsFiles().size());
    m.jobLogs.resize(history.jobLogFiles().size());
    FilesByKey byUrl, byEscaped;
    for (std::size_t i = 0; i < history.statisticsFiles().size(); ++i) {
        const StatisticsFile& f = history.statisticsFiles()[i];
        byUrl.add(i, f.statistics ? f.statistics->master_url : std::nullopt);
    }
    for (std::size_t i = 0; i < history.jobLogFiles().size(); ++i) {
        byEscaped.add(i, escapedUrlOfJobLog(history.jobLogFiles()[i].name));
    }
    for (std::size_t p = 0; p < projects.size() && !(byUrl.empty() && byEscaped.empty()); ++p) {
        const auto url = projects[p].values.get(Key::master_url);
        if (!url) continue;
        byUrl.offer(*url, p, m.statistics);
        if (!byEscaped.empty()) byEscaped.offer(escapedMasterUrl(*url), p, m.jobLogs);
    }
    return m;
}

std::string_view historyLabel(const std::string& fileName, std::optional<std::size_t> project,
                              const ProjectInfo& projects) {
    if (project && *project < projects.size())
        if (const auto name = projects[*project].values.get(Key::project_name)) return *name;
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
