#include "dump/task_figures.hpp"

#include "tables/results_cells.hpp"

namespace crunchwatch {
namespace {

std::optional<double> valueOf(const Cell& c) {
    if (c.kind == Cell::Kind::Empty) return std::nullopt;
    return c.value;
}

std::optional<double> momentOf(const Cell& c) {
    if (c.kind != Cell::Kind::Date) return std::nullopt;
    return c.moment;
}

}  // namespace

std::string_view taskStateLabel(std::optional<std::string_view> stateText) {
    if (!stateText) return "other";
    const std::string_view t = *stateText;
    if (t == "running...") return "running";
    if (t == "Paused") return "paused";
    if (t == "Waiting") return "waiting";
    if (t == "Downloading") return "downloading";
    if (t == "Finished") return "finished";
    if (t == "Sent") return "sent";
    return "other";
}

TaskFigures taskFigures(const resultRow& row, double now) {
    TaskFigures f;
    if (const auto percent = valueOf(resultCell(row, ResultColumn::Progress, now))) f.progressRatio = *percent / 100.0;
    f.cpuSeconds = valueOf(resultCell(row, ResultColumn::CPUTime, now));
    f.remainingSeconds = valueOf(resultCell(row, ResultColumn::ETR, now));
    f.completion = momentOf(resultCell(row, ResultColumn::ETC, now));
    // The Deadline cell reads an absent deadline as the start of 1970.
    f.deadline = reportDeadline(row);
    return f;
}

}  // namespace crunchwatch
