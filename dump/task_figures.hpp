#pragma once
// A task's figures as metrics report them, each taken from the cell the
// results table shows, so that the metrics and the window never disagree.

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "tables/rows.hpp"

namespace crunchwatch {

// The task states a metric counts, one label value per state text the table
// shows; "other" holds every other text and a row with no state.
inline constexpr std::array<std::string_view, 7> taskStateLabels{"running",  "paused", "waiting", "downloading",
                                                                 "finished", "sent",   "other"};

// The label for a state text: "running..." -> "running", "Paused" -> "paused", ...
std::string_view taskStateLabel(std::optional<std::string_view> stateText);

// Each figure is absent where the table's cell is empty.
struct TaskFigures {
    std::optional<double> progressRatio;     // the Progress cell's percent / 100
    std::optional<double> cpuSeconds;        // the CPU time cell
    std::optional<double> remainingSeconds;  // the Remaining cell
    std::optional<double> completion;        // the Completes cell's moment
    std::optional<double> deadline;          // the Deadline cell's moment, when the result has one

    // Whether the expected completion lies after the deadline; absent unless both are known.
    std::optional<bool> deadlineAtRisk() const {
        if (!completion || !deadline) return std::nullopt;
        return *completion > *deadline;
    }
};

// `now` is the current moment for the expected completion.
TaskFigures taskFigures(const resultRow& row, double now);

}  // namespace crunchwatch
