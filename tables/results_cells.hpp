#pragma once
// The results table's cells, computed from a row at the moment they are
// asked for. `now` is the current moment for the expected completion.
//
// Old clients store a task's scheduler state and live fraction done in the
// state file. Current ones (6.12.26 on) store neither: they keep the process
// state ("active_task_state") and the fraction at the last checkpoint
// ("checkpoint_fraction_done") instead. The cells read the stored values when
// they are there and fall back on the current ones, so both kinds of file
// show what is running, how far along it is and when it will finish.

#include <optional>
#include <string>
#include <string_view>

#include "tables/cell.hpp"
#include "tables/columns.hpp"
#include "tables/rows.hpp"

namespace crunchwatch {

// The scheduler state the cells read: the stored "scheduler_state" when
// present; otherwise from the process state, executing (1) as scheduled
// ("2") and suspended (9) as preempted ("1"); otherwise nothing.
std::optional<std::string_view> schedulerState(const resultRow& row);

// The fraction done the cells read: the slot's checkpoint when the row has
// one (it is newer than the state file), else "fraction_done" when present,
// else the fraction at the last checkpoint.
struct FractionDone {
    std::string_view text;
    bool atCheckpoint = false;
    bool inSlot = false;
};
std::optional<FractionDone> fractionDone(const resultRow& row);

// The processor time still needed, in seconds; nothing when the time used or
// the fraction is absent, or nothing is done yet.
std::optional<double> remainingSeconds(const resultRow& row);

// The state text of a row: "Downloading", "Waiting", "Paused", "running...",
// "Finished", "Sent", or the stored state (or scheduler state) text itself,
// which is a view into the file's text. A task the user suspended, and one
// that would run when the client is known to have stopped, is "Paused"; its
// Completes cell is then empty.
std::optional<std::string_view> stateText(const resultRow& row);

// The result's plan class ("cuda118"), read from its element in the file.
std::optional<std::string_view> planClass(const resultRow& row);

// The report deadline, in seconds since 1970; nothing when the row has none.
std::optional<double> reportDeadline(const resultRow& row);

// The cell of a column (its table's own function).
inline Cell resultCell(const resultRow& row, ResultColumn column, double now) { return columnOf(column).cell(row, now); }

// The column a cell is asked for by identifier: "WUnit", "PName", "Version",
// "State", "Progress", "CPUTime", "ETR" or "ETC"; any other identifier is the
// report deadline column.
ResultColumn resultColumnOf(std::string_view columnId);
// The cell for a column identifier, as the table's data source is asked for it.
inline Cell resultCell(const resultRow& row, std::string_view columnId, double now) {
    return resultCell(row, resultColumnOf(columnId), now);
}

// The moment the task should finish: the remaining time stretched by the
// project's share of the processor, counted from now. Nothing while the
// client is stopped or the user holds the task or its project back.
std::optional<double> completionMoment(const resultRow& row, double now);

// How many seconds after its report deadline the expected completion lies;
// nothing when it lies on or before it, or either moment is unknown.
std::optional<double> completionPastDeadline(const resultRow& row, double now);

// What the client's codes behind the State cell mean, in words.
std::string stateExplanation(const resultRow& row);
// Where the Progress cell's fraction comes from, in words; nothing when the
// cell is empty.
std::optional<std::string> progressExplanation(const resultRow& row);

}  // namespace crunchwatch
