#pragma once
// The History view's table: every finished task of every job log, newest
// first, with its cells, and the sorting and filtering the view offers. Plain
// data and functions: the window's model and the tests share them.
//
// Rows refer to the job logs of a History, which must outlive the table and
// not be refreshed while the table is used (rebuild it after a refresh).

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "state/history.hpp"
#include "tables/cell.hpp"
#include "tables/columns.hpp"

namespace crunchwatch {

inline constexpr std::array<Column, 7> historyColumns{{
    {"time", "Finished", "When the task's computation finished"},
    {"project", "Project", "The project the task belongs to (the job log's name when no project matches it)"},
    {"nm", "Task", "The task's name"},
    {"ct", "CPU time", "Processor time the task used (hours:minutes:seconds)"},
    {"et", "Elapsed", "Time from the task's start to its end, suspensions included (hours:minutes:seconds)"},
    {"ue", "Estimate", "The client's estimate of the task's run time (hours:minutes:seconds)"},
    {"es", "Exit status", "How the task ended: 0 is success, anything else a failure"},
}};

// Whether a task failed: an exit status whose number is not 0. Older clients
// write none; such tasks count as finished.
bool isFailedExit(std::optional<std::string_view> exitStatus);
// What a failed exit status means, for its tooltip; empty for success.
std::string exitStatusExplanation(std::optional<std::string_view> exitStatus);

struct HistoryRow {
    std::uint32_t log;   // index into History::jobLogFiles()
    std::uint32_t task;  // index into that log
    double time;         // the moment it finished, as a number
};

class HistoryTable final {
public:
    // All tasks of the logs that were read, newest first (ties in file order,
    // later lines first). `labels` holds each log's project label.
    void rebuild(const History& history, std::vector<std::string> labels);

    std::size_t size() const noexcept { return m_rows.size(); }
    const HistoryRow& row(std::size_t i) const { return m_rows[i]; }
    std::string_view labelOf(const HistoryRow& r) const { return m_labels[r.log]; }
    std::optional<std::string_view> value(const HistoryRow& r, JobField f) const;
    // The distinct project labels, in byte order.
    std::vector<std::string> projectLabels() const;

    // The cell for one of historyColumns' identifiers.
    Cell cell(const HistoryRow& r, std::string_view columnId) const;

    // Indices of the rows of `project` (all when nothing) whose task name
    // contains `search` (ASCII letters without regard to case), in table order.
    std::vector<std::uint32_t> filtered(const std::optional<std::string>& project, std::string_view search) const;
    // Sorts row indices by a column's value (numbers as numbers, text by its
    // bytes, empty cells first); stable, so equal values keep their order.
    void sortRows(std::vector<std::uint32_t>& rows, std::string_view columnId, bool descending) const;

private:
    const History* m_history = nullptr;
    std::vector<std::string> m_labels;
    std::vector<HistoryRow> m_rows;
};

// Tasks and processor hours per local calendar day, over `rows` of `table`.
struct DayTotals {
    double dayStart;  // local midnight, seconds since 1970
    std::size_t tasks = 0;
    double processorHours = 0;
};
std::vector<DayTotals> tasksPerDay(const HistoryTable& table, const std::vector<std::uint32_t>& rows);

}  // namespace crunchwatch
