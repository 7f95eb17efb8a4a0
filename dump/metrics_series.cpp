#include "dump/metrics_series.hpp"

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "dump/exposition.hpp"
#include "dump/json_writer.hpp"
#include "state/first_match.hpp"
#include "state/text_hash.hpp"
#include "tables/results_cells.hpp"

namespace crunchwatch {
namespace {

using Name = std::optional<std::string_view>;

// A task is known by its result's name (its workunit's when it has none).
Name taskName(const resultRow& row) {
    return row.result.get(Key::name) ? row.result.get(Key::name) : row.result.get(Key::wu_name);
}

std::string_view directionOf(const Transfer& t) { return t.upload() ? "upload" : "download"; }

// Which of `count` items is the first to bear its name (`nameOf(i)`; an item
// without one is none). Names are compared as their labels show them, made
// valid UTF-8: a name that needs it is made so here, the others are compared
// as they are, so that the items cost a bit each and the index eight bytes.
template <class NameOf>
std::vector<bool> firstOfEachName(std::size_t count, NameOf nameOf) {
    std::vector<std::pair<std::size_t, std::string>> madeValid;  // by item, ascending
    for (std::size_t i = 0; i < count; ++i) {
        const Name name = nameOf(i);
        if (!name || std::all_of(name->begin(), name->end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
            continue;
        if (std::string valid = validUtf8(*name); valid != *name) madeValid.emplace_back(i, std::move(valid));
    }
    const auto keyAt = [&](std::size_t i) -> Name {
        const auto it = std::lower_bound(madeValid.begin(), madeValid.end(), i,
                                         [](const auto& m, std::size_t k) { return m.first < k; });
        if (it != madeValid.end() && it->first == i) return std::string_view(it->second);
        return nameOf(i);
    };
    const FirstMatch index(count, keyAt);
    std::vector<bool> first(count);
    for (std::size_t i = 0; i < count; ++i) first[i] = index.find(keyAt(i)) == i;
    return first;
}

TaskSeries taskSeriesOf(std::size_t row, std::size_t project, const TaskFigures& f) {
    TaskSeries t{static_cast<std::uint32_t>(row), static_cast<std::uint32_t>(project), {}, 0};
    const std::optional<double> figures[] = {f.progressRatio, f.cpuSeconds, f.remainingSeconds, f.completion,
                                             f.deadline};
    for (std::size_t k = 0; k < t.values.size(); ++k)
        if (figures[k]) {
            t.values[k] = *figures[k];
            t.present = static_cast<std::uint8_t>(t.present | (1u << k));
        }
    return t;
}

// A project's tasks, rows [begin, end) of the results table: counted by
// state, and each the first of its name a series.
void gatherTasks(Series& series, std::size_t at, const ResultTable& rows, std::size_t begin, std::size_t end,
                 bool perTask, double now) {
    ProjectSeries& project = series.projects[at];
    TaskCounts& counts = series.taskCounts.emplace_back();
    project.tasks = static_cast<std::uint32_t>(series.taskCounts.size());
    for (std::size_t i = begin; i < end; ++i) {
        const std::string_view state = taskStateLabel(stateText(rows[i]));
        for (std::size_t k = 0; k < taskStateLabels.size(); ++k)
            if (taskStateLabels[k] == state) counts[k] += 1;
    }
    if (!perTask) return;
    const std::vector<bool> first = firstOfEachName(end - begin, [&](std::size_t k) { return taskName(rows[begin + k]); });
    for (std::size_t i = begin; i < end; ++i)
        if (first[i - begin]) series.tasks.push_back(taskSeriesOf(i, at, taskFigures(rows[i], now)));
}

// A project's transfers [begin, end): each the first of its file name and
// direction a series.
void gatherTransfers(Series& series, std::size_t at, const StoredList<Transfer>& transfers, std::size_t begin,
                     std::size_t end) {
    std::vector<bool> first(end - begin);
    for (const bool upload : {false, true}) {
        const auto named = firstOfEachName(end - begin, [&](std::size_t k) -> Name {
            const Transfer t = transfers[begin + k];
            return t.upload() == upload ? t.name : std::nullopt;
        });
        for (std::size_t k = 0; k < first.size(); ++k) first[k] = first[k] || named[k];
    }
    for (std::size_t i = begin; i < end; ++i)
        if (first[i - begin]) series.transfers.push_back({static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(at)});
}

// The labels' slot in the index, found or free; `labels` are compared with
// the series' own.
std::size_t slotOf(const Series& series, std::string_view labels, std::uint64_t hash) {
    const std::size_t mask = series.labelIndex.size() - 1;
    for (std::size_t at = static_cast<std::size_t>(hash) & mask;; at = (at + 1) & mask) {
        const std::uint32_t item = series.labelIndex[at];
        if (item == 0 || series.projects[item - 1].labels == labels) return at;
    }
}

// Keeps `labels` as the next series' own unless an earlier series has them.
bool addProjectSeries(Series& series, std::size_t project, const std::string& labels) {
    if (series.labelIndex.empty()) series.labelIndex.assign(64, 0);
    std::size_t at = slotOf(series, labels, hashOf(labels));
    if (series.labelIndex[at] != 0) return false;
    // Kept in a chunk of its own when it is larger than one.
    constexpr std::size_t chunk = std::size_t{1} << 16;
    if (series.labelChunkUsed + labels.size() > series.labelChunkSize) {
        series.labelChunkSize = std::max(chunk, labels.size());
        series.labelChunks.push_back(std::make_unique_for_overwrite<char[]>(series.labelChunkSize));
        series.labelChunkUsed = 0;
    }
    char* text = series.labelChunks.back().get() + series.labelChunkUsed;
    std::copy(labels.begin(), labels.end(), text);
    series.labelChunkUsed += labels.size();
    series.projects.push_back({static_cast<std::uint32_t>(project), 0, std::string_view(text, labels.size())});
    series.labelIndex[at] = static_cast<std::uint32_t>(series.projects.size());
    // At most three quarters full, so that a search stays short.
    if (series.projects.size() * 4 > series.labelIndex.size() * 3) {
        series.labelIndex.assign(series.labelIndex.size() * 2, 0);
        for (std::size_t i = 0; i < series.projects.size(); ++i) {
            const std::string_view l = series.projects[i].labels;
            series.labelIndex[slotOf(series, l, hashOf(l))] = static_cast<std::uint32_t>(i + 1);
        }
    }
    return true;
}

// Calls `gather(at, begin, end)` for each run [begin, end) of the `count`
// items of one project (`projectOf(i)`, the runs in file order) that has
// series, `at` being its place among them.
template <class ProjectOf, class Gather>
void forEachProjectRun(const Series& series, std::size_t count, ProjectOf projectOf, Gather gather) {
    for (std::size_t begin = 0, at = 0; begin < count;) {
        const std::size_t project = projectOf(begin);
        std::size_t end = begin + 1;
        while (end < count && projectOf(end) == project) ++end;
        while (at < series.projects.size() && series.projects[at].project < project) ++at;
        if (at < series.projects.size() && series.projects[at].project == project) gather(at, begin, end);
        begin = end;
    }
}

}  // namespace

const TaskCounts& Series::tasksInState(const ProjectSeries& p) const {
    static const TaskCounts none{};
    return p.tasks == 0 ? none : taskCounts[p.tasks - 1];
}

TaskFigures TaskSeries::figures() const {
    std::optional<double> f[5];
    for (std::size_t k = 0; k < values.size(); ++k)
        if (present & (1u << k)) f[k] = values[k];
    return {f[0], f[1], f[2], f[3], f[4]};
}

const ProjectSeries* Series::ofProject(std::size_t project) const {
    const auto it = std::lower_bound(projects.begin(), projects.end(), project,
                                     [](const ProjectSeries& p, std::size_t i) { return p.project < i; });
    return it != projects.end() && it->project == project ? &*it : nullptr;
}

std::string Series::taskLabels(const Snapshot& s, const TaskSeries& t) const {
    return std::string(projects[t.project].labels) + ',' +
           labelText({{"task", *taskName(s.rows.main_result_table[t.row])}});
}

std::string Series::transferLabels(const Snapshot& s, const TransferSeries& t) const {
    const Transfer transfer = s.state.clientStatus.transfers()[t.transfer];
    return std::string(projects[t.project].labels) + ',' +
           labelText({{"file", *transfer.name}, {"direction", directionOf(transfer)}});
}

Series gatherSeries(const Snapshot& s, bool perTask, double now) {
    const ProjectInfo& info = s.state.projectInfo;
    Series series;
    for (std::size_t i = 0; i < info.size(); ++i) {
        const Record& v = info[i].values;
        const auto url = v.get(Key::master_url).value_or("");
        addProjectSeries(series, i, labelText({{"project", v.get(Key::project_name).value_or(url)}, {"url", url}}));
    }
    // A project's rows, and its transfers, lie together in file order.
    const ResultTable& rows = s.rows.main_result_table;
    forEachProjectRun(series, rows.size(), [&](std::size_t i) { return rows[i].projectIndex; },
                      [&](std::size_t at, std::size_t begin, std::size_t end) {
                          gatherTasks(series, at, rows, begin, end, perTask, now);
                      });
    if (!perTask) return series;
    const StoredList<Transfer> transfers = s.state.clientStatus.transfers();
    forEachProjectRun(series, transfers.size(), [&](std::size_t i) { return transfers[i].project; },
                      [&](std::size_t at, std::size_t begin, std::size_t end) {
                          gatherTransfers(series, at, transfers, begin, end);
                      });
    return series;
}

}  // namespace crunchwatch
