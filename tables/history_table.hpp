#pragma once
// The History view's table: every finished task of every job log, newest
// first, as rows of the shared column tables, and the tasks per day of the
// rows a view shows. Plain data and functions: the window's model, the dump
// and the tests share them.
//
// A table refers to the job logs of a History, which must outlive it and
// not change while it is used (a refresh builds a new table over a new
// History value).

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "state/history.hpp"
#include "tables/columns.hpp"

namespace crunchwatch {

class HistoryTable;

// One finished task, a view of its job log's line.
struct HistoryTask {
    const HistoryTable* table = nullptr;
    std::uint32_t log = 0;   // index into History::jobLogFiles()
    std::uint32_t task = 0;  // index into that log
    double time = 0;         // the moment it finished, as a number

    std::optional<std::string_view> value(JobField f) const;
    // The label of its log's project (the log's file name when none matches).
    std::string_view project() const;
};

enum class HistoryColumn : std::size_t { time, project, nm, ct, et, ue, es };
inline constexpr std::size_t historyColumnCount = 7;
extern const std::array<TableColumn<HistoryTask>, historyColumnCount> historyColumns;

// Whether a task failed: an exit status whose number is not 0. Older clients
// write none; such tasks count as finished.
bool isFailedExit(std::optional<std::string_view> exitStatus);
// What a failed exit status means, for its tooltip; empty for success.
std::string exitStatusExplanation(std::optional<std::string_view> exitStatus);

class HistoryTable final {
public:
    HistoryTable() = default;
    // All tasks of the logs that were read, newest first (ties in file order,
    // later lines first). `labels` holds each log's project label.
    HistoryTable(const History& history, std::vector<std::string> labels);
    HistoryTable(const HistoryTable&) = delete;  // its rows point back at it
    HistoryTable& operator=(const HistoryTable&) = delete;

    std::size_t size() const noexcept { return m_rows.size(); }
    HistoryTask operator[](std::size_t i) const noexcept {
        const Row& r = m_rows[i];
        return {this, r.log, r.task, r.time};
    }
    const History& history() const noexcept { return *m_history; }
    std::string_view labelOf(std::uint32_t log) const { return m_labels[log]; }
    // The distinct project labels of the logs read, in byte order.
    std::vector<std::string> projectLabels() const;

private:
    struct Row {
        std::uint32_t log, task;
        double time;
    };
    const History* m_history = nullptr;
    std::vector<std::string> m_labels;
    std::vector<Row> m_rows;
};

// Tasks and processor hours per local calendar day, over `rows` (indices
// into `table`): every day from the first task's to the last one's, days
// without a task included (at zero), so a chart of them shows the gaps.
struct DayTotals {
    double dayStart;  // local midnight, seconds since 1970
    std::size_t tasks = 0;
    double processorHours = 0;
};
std::vector<DayTotals> tasksPerDay(const HistoryTable& table, const std::vector<std::uint32_t>& rows);

}  // namespace crunchwatch
