#pragma once
// Which project each history file belongs to: a statistics file by the
// <master_url> it holds, a job log by the escaped master URL in its name,
// each against the projects of the state file (the first that matches). A
// file that matches none is still shown, under its file name.
//
// And, per project, the figures other outputs report: its newest statistics
// day and its finished tasks with their processor time.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "state/history.hpp"
#include "state/projects.hpp"

namespace crunchwatch {

// The client's name for a project's files: the master URL without its scheme
// (http://, https://), every character other than an ASCII letter, digit,
// '.', '-' or '_' replaced by '_', and one trailing '_' removed:
// "http://crunch.invalid/test/" gives "crunch.invalid_test".
std::string escapedMasterUrl(std::string_view masterUrl);

// The escaped master URL a job log's file name holds ("job_log_X.txt" -> "X").
std::string_view escapedUrlOfJobLog(std::string_view fileName) noexcept;

// Per file of the history (in its order), the index of its project in
// projectInfo, or nothing.
struct HistoryMatch {
    std::vector<std::optional<std::size_t>> statistics;
    std::vector<std::optional<std::size_t>> jobLogs;
    bool operator==(const HistoryMatch&) const = default;
};
HistoryMatch matchHistory(const History& history, const ProjectInfo& projects);

// What a file is shown as: its project's name, or else its file name.
std::string_view historyLabel(const std::string& fileName, std::optional<std::size_t> project,
                              const ProjectInfo& projects);

// Every file's label (see historyLabel), in the history's order: what the
// views show, and what tells them that a refresh renamed something.
struct HistoryLabels {
    std::vector<std::string> statistics;
    std::vector<std::string> jobLogs;
    bool operator==(const HistoryLabels&) const = default;
};
HistoryLabels historyLabels(const History& history, const ProjectInfo& projects, const HistoryMatch& match);

struct ProjectHistoryFigures {
    std::optional<std::string_view> newestStatisticsDay;  // the greatest <day>, verbatim
    const DailyStatistics* newestDay = nullptr;           // that day's values
    std::size_t finishedTasks = 0;                         // lines of its job log(s)
    double processorSeconds = 0;                           // the sum of their ct
};
// One per project of projectInfo, in its order. The views point into
// `history` and `projects`.
std::vector<ProjectHistoryFigures> historyFiguresByProject(const History& history, const ProjectInfo& projects,
                                                           const HistoryMatch& match);

}  // namespace crunchwatch
