#pragma once
// The series of one metrics report, gathered once so that each family is
// written whole: one per project, task and transfer whose labels no earlier
// one has (Prometheus refuses a series repeated within one scrape; a project
// whose labels repeat an earlier one's, the same name and URL or texts that
// only differed by invalid UTF-8, is left out with its tasks and transfers).
// A task's or a transfer's series keeps where its labels come from rather
// than their text, which is made again for each family: a report of a
// hundred thousand tasks holds a few numbers each.

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dump/task_figures.hpp"
#include "tables/snapshot.hpp"

namespace crunchwatch {

using TaskCounts = std::array<double, taskStateLabels.size()>;  // by state, in taskStateLabels' order

struct ProjectSeries {
    std::uint32_t project = 0;  // where it stands in projectInfo
    std::uint32_t tasks = 0;    // its place in Series::taskCounts + 1; 0 without tasks
    std::string_view labels;    // project="…",url="…", held by the Series
};

struct TaskSeries {
    std::uint32_t row = 0;      // in the results table
    std::uint32_t project = 0;  // its project's series
    // The figures, each kept when its bit is set in `present`.
    std::array<double, 5> values{};
    std::uint8_t present = 0;

    TaskFigures figures() const;
};

struct TransferSeries {
    std::uint32_t transfer = 0;  // in the client status's transfers
    std::uint32_t project = 0;
};

struct Series {
    std::deque<ProjectSeries> projects;  // in file order
    std::deque<TaskCounts> taskCounts;   // of the projects that have tasks
    std::deque<TaskSeries> tasks;
    std::deque<TransferSeries> transfers;
    // The projects' labels, each once, in chunks that never move, and an
    // index of them by their text (a series' place + 1 per slot).
    std::vector<std::unique_ptr<char[]>> labelChunks;
    std::size_t labelChunkUsed = 0, labelChunkSize = 0;
    std::vector<std::uint32_t> labelIndex;

    const TaskCounts& tasksInState(const ProjectSeries& p) const;

    // The series of the project at that place in projectInfo; null for one
    // whose labels repeat an earlier project's.
    const ProjectSeries* ofProject(std::size_t project) const;
    // project="…",url="…",task="…" and project="…",url="…",file="…",direction="…"
    std::string taskLabels(const Snapshot& s, const TaskSeries& t) const;
    std::string transferLabels(const Snapshot& s, const TransferSeries& t) const;
};

// Every project's series and its tasks counted by state; with `perTask`,
// also each task's series with its figures at `now`, and each transfer's.
Series gatherSeries(const Snapshot& s, bool perTask, double now);

}  // namespace crunchwatch
