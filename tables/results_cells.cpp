#include "tables/results_cells.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "state/client_status.hpp"
#include "state/numbers.hpp"
#include "tables/duration.hpp"
#include "tables/format.hpp"
#include "tables/task_details.hpp"

namespace crunchwatch {
namespace {

Cell textOrEmpty(std::optional<std::string_view> v) { return v ? Cell::ofText(std::string(*v)) : Cell::empty(); }

Cell durationCell(double seconds) {
    auto text = czasHMSzSekund(seconds);
    return text ? Cell::ofText(std::move(*text), seconds) : Cell::empty();
}

// A task the user suspended: the client takes it out of memory, so its
// process state says nothing of it; only the result's own flag does.
bool suspendedByUser(const resultRow& row) {
    return row.has(Key::suspended_via_gui) && readInteger(row.get(Key::state)) == 2;
}

// The client's process states that map onto a scheduler state.
constexpr int processExecuting = 1;
constexpr int processSuspended = 9;

}  // namespace

std::optional<double> completionMoment(const resultRow& row, double now) {
    // Nothing completes while the client is stopped or the user holds the
    // task, or its whole project, back.
    if (row.clientStopped || suspendedByUser(row) ||
        (row.project.status && row.project.status->has(ProjectFlag::suspended_via_gui)))
        return std::nullopt;
    const auto etr = remainingSeconds(row);
    const auto total = row.get(Key::rsc_share);
    const auto shareText = row.get(Key::resource_share);
    if (!etr || !total || !shareText) return std::nullopt;
    // A project with no share gets no processor time: it has no completion moment.
    const double share = readNumber(shareText);
    if (share == 0.0) return std::nullopt;
    const double moment = now + *etr * readNumber(total) / share;
    if (!std::isfinite(moment)) return std::nullopt;
    return moment;
}

namespace {

std::string resultStateMeaning(std::int32_t code) {
    switch (code) {
        case 0: return "new: its input files are not yet being fetched";
        case 1: return "downloading its input files";
        case 2: return "ready to run: its input files are here";
        case 3: return "computation error: the application failed or was stopped";
        case 4: return "uploading its output files";
        case 5: return "its output is uploaded and waits to be reported";
        case 6: return "aborted";
        case 7: return "an output file failed to upload";
        default: return "a code this monitor does not know";
    }
}

std::string processStateMeaning(std::int32_t code) {
    switch (code) {
        case 0: return "its process has not started";
        case processExecuting: return "its process is executing";
        case 2: return "its process has exited";
        case 3: return "its process was stopped by a signal";
        case 4: return "its process exited for an unknown reason";
        case 5: return "its process is being aborted";
        case 6: return "its process was aborted";
        case 7: return "its process could not start";
        case 8: return "its process is being asked to quit";
        case processSuspended: return "its process is suspended";
        case 10: return "its process waits for its files to be copied";
        default: return "its process is in a state this monitor does not know";
    }
}

}  // namespace

std::optional<std::string_view> schedulerState(const resultRow& row) {
    if (const auto stored = row.get(Key::scheduler_state)) return stored;
    const auto process = row.get(Key::active_task_state);
    if (!process) return std::nullopt;
    switch (readInteger(process)) {
        case processExecuting: return std::string_view("2");
        case processSuspended: return std::string_view("1");
        default: return std::nullopt;
    }
}

std::optional<FractionDone> fractionDone(const resultRow& row) {
    if (row.checkpoint && row.checkpoint->fraction_done) return FractionDone{*row.checkpoint->fraction_done, true, true};
    if (const auto live = row.get(Key::fraction_done)) return FractionDone{*live, false};
    if (const auto checkpoint = row.get(Key::checkpoint_fraction_done)) return FractionDone{*checkpoint, true};
    return std::nullopt;
}

std::optional<double> remainingSeconds(const resultRow& row) {
    const auto cpuText = row.get(Key::current_cpu_time);
    const auto fraction = fractionDone(row);
    if (!cpuText || !fraction) return std::nullopt;
    const double f = readNumber(fraction->text);
    if (f == 0.0) return std::nullopt;
    double cpu = readNumber(cpuText);
    std::optional<std::string_view> checkpointCpu = row.get(Key::checkpoint_cpu_time);
    if (fraction->inSlot) {
        // The slot's checkpoint is newer than the state file's processor time.
        checkpointCpu = row.checkpoint->checkpoint_cpu_time;
        if (checkpointCpu) cpu = std::max(cpu, readNumber(checkpointCpu));
    }
    if (fraction->atCheckpoint && checkpointCpu) {
        // The processor time at the checkpoint over the fraction reached by
        // then is the whole task's estimate; a task already past it has
        // nothing left to run by this measure.
        const double left = readNumber(checkpointCpu) / f - cpu;
        return left < 0.0 ? 0.0 : left;
    }
    return (cpu / f) * (1.0 - f);
}

std::optional<std::string_view> stateText(const resultRow& row) {
    const auto state = row.get(Key::state);
    if (!state) return std::nullopt;
    switch (readInteger(state)) {
        case 1: return "Downloading";
        case 2: {
            if (suspendedByUser(row)) return "Paused";
            const auto scheduler = schedulerState(row);
            if (!scheduler) return "Waiting";
            switch (readInteger(scheduler)) {
                case 1: return "Paused";
                // A stopped client's last file still says its tasks execute.
                case 2: return row.clientStopped ? "Paused" : "running...";
                default: return scheduler;
            }
        }
        case 4: return "Finished";
        case 5: return "Sent";
        default: return state;
    }
}

std::optional<std::string_view> planClass(const resultRow& row) {
    const auto element = resultElement(row);
    return element ? childValue(*element, "plan_class") : std::nullopt;
}

std::optional<double> reportDeadline(const resultRow& row) {
    const auto deadline = row.get(Key::report_deadline);
    if (!deadline) return std::nullopt;
    return readNumber(deadline);
}

namespace {

std::optional<double> versionNumber(const resultRow& row) {
    const auto v = row.get(Key::version_num);
    if (!v) return std::nullopt;
    return readNumber(v) / 100.0;
}

std::optional<double> progressPercent(const resultRow& row) {
    const auto fraction = fractionDone(row);
    if (!fraction) return std::nullopt;
    return readNumber(fraction->text) * 100.0;
}

SortValue textSort(std::optional<std::string_view> v) { return v ? SortValue::ofText(*v) : SortValue::none(); }
SortValue numberSort(std::optional<double> n) { return n ? SortValue::ofNumber(*n) : SortValue::none(); }

// A column that sorts by its cell's own number: a duration whose cell is
// empty where it cannot be shown sorts with the empty cells.
template <Cell (*cellOf)(const resultRow&, double)>
SortValue byCellNumber(const resultRow& row, double now) {
    const Cell cell = cellOf(row, now);
    return cell.value ? SortValue::ofNumber(*cell.value) : SortValue::none();
}

Cell workUnitCell(const resultRow& row, double) { return textOrEmpty(row.get(Key::wu_name)); }
SortValue workUnitSort(const resultRow& row, double) { return textSort(row.get(Key::wu_name)); }

Cell projectNameCell(const resultRow& row, double) { return textOrEmpty(row.get(Key::project_name)); }
SortValue projectNameSort(const resultRow& row, double) { return textSort(row.get(Key::project_name)); }

Cell versionCell(const resultRow& row, double) {
    const auto version = versionNumber(row);
    return version ? Cell::ofText(formatFixed(*version, 2), *version) : Cell::empty();
}
SortValue versionSort(const resultRow& row, double) { return numberSort(versionNumber(row)); }

Cell stateCell(const resultRow& row, double) { return textOrEmpty(stateText(row)); }

Cell progressCell(const resultRow& row, double) {
    const auto percent = progressPercent(row);
    if (!percent) return Cell::empty();
    // The number of the scheduler state, not its integer: "2.0" and
    // "20e-1" are a running task too.
    if (*percent == 0.0 && readNumber(schedulerState(row)) == 2.0) return Cell::ofText("checking...", 0.0);
    return Cell::ofText(formatFixed(*percent, 2) + "%", *percent);
}
SortValue progressSort(const resultRow& row, double) { return numberSort(progressPercent(row)); }

Cell cpuTimeCell(const resultRow& row, double) {
    const auto cpu = row.get(Key::current_cpu_time);
    return cpu ? durationCell(readNumber(cpu)) : Cell::empty();
}

Cell remainingCell(const resultRow& row, double) {
    const auto etr = remainingSeconds(row);
    return etr ? durationCell(*etr) : Cell::empty();
}

Cell completionCell(const resultRow& row, double now) {
    const auto moment = completionMoment(row, now);
    return moment ? Cell::ofDate(*moment) : Cell::empty();
}
SortValue completionSort(const resultRow& row, double now) { return numberSort(completionMoment(row, now)); }

// An absent deadline reads as 0, the start of 1970.
Cell deadlineCell(const resultRow& row, double) { return Cell::ofDate(reportDeadline(row).value_or(0.0)); }
SortValue deadlineSort(const resultRow& row, double) { return SortValue::ofNumber(reportDeadline(row).value_or(0.0)); }


// The state's place in the order a user reads the table by: what runs,
// what could, what waits for its files, what is done; then the client's own
// codes, by their number, after every named state.
SortValue stateSort(const resultRow& row, double) {
    const auto state = stateText(row);
    if (!state) return SortValue::none();
    constexpr std::string_view named[] = {"running...", "Paused", "Waiting", "Downloading", "Finished", "Sent"};
    for (std::size_t i = 0; i < std::size(named); ++i)
        if (*state == named[i]) return SortValue::ofNumber(static_cast<double>(i));
    // Any number maps into (6, 7) in its own order; text without one reads as 0.
    const double code = readNumber(state);
    return SortValue::ofNumber(std::isnan(code) ? 6.5 : 6.5 + std::atan(code) / 3.2);
}

std::optional<std::string> stateTip(const resultRow& row, double) {
    std::string text = stateExplanation(row);
    return text.empty() ? std::nullopt : std::optional<std::string>(std::move(text));
}
Tone stateTone(const resultRow& row, double) {
    const auto state = stateText(row);
    if (!state) return Tone::plain;
    if (*state == "running...") return Tone::running;
    if (*state == "Downloading") return Tone::downloading;
    if (*state == "Finished" || *state == "Sent") return Tone::done;
    if (*state == "Paused") return Tone::paused;
    switch (readInteger(row.get(Key::state))) {
        case 3:  // a computation error
        case 6:  // aborted
        case 7:  // an output file failed to upload
            return Tone::failed;
        default: return Tone::plain;
    }
}

std::optional<std::string> progressTip(const resultRow& row, double) { return progressExplanation(row); }

Cell applicationCell(const resultRow& row, double) {
    const auto app = applicationName(row);
    if (!app) return Cell::empty();
    const auto version = versionNumber(row);
    return Cell::ofText(std::string(*app) + (version ? " " + formatFixed(*version, 2) : std::string()));
}
SortValue applicationSort(const resultRow& row, double) { return textSort(applicationName(row)); }

Cell elapsedCell(const resultRow& row, double) {
    const auto seconds = elapsedSeconds(row);
    return seconds ? durationCell(*seconds) : Cell::empty();
}

Cell planClassCell(const resultRow& row, double) { return textOrEmpty(planClass(row)); }
SortValue planClassSort(const resultRow& row, double) { return textSort(planClass(row)); }

std::optional<double> receivedMoment(const resultRow& row) {
    const auto element = resultElement(row);
    const auto received = element ? childValue(*element, "received_time") : std::nullopt;
    return received ? std::optional<double>(readNumber(received)) : std::nullopt;
}
Cell receivedCell(const resultRow& row, double) {
    const auto moment = receivedMoment(row);
    return moment ? Cell::ofDate(*moment) : Cell::empty();
}
SortValue receivedSort(const resultRow& row, double) { return numberSort(receivedMoment(row)); }

// Every result in the client's file is still to be reported (the client
// drops one once its project has acknowledged the report), so a passed
// deadline is always a late one, whether or not the result is ready.
bool isOverdue(const resultRow& row, double now) {
    const auto deadline = reportDeadline(row);
    return deadline && *deadline < now;
}

// How late the expected completion is; said of a deadline not yet passed.
std::optional<std::string> latenessTip(const resultRow& row, double now) {
    const auto late = completionPastDeadline(row, now);
    if (!late || isOverdue(row, now)) return std::nullopt;
    const auto duration = czasHMSzSekund(*late);
    return "Expected to complete " + duration.value_or("long") +
           " (hours:minutes:seconds) after its report deadline";
}
Tone completionTone(const resultRow& row, double now) {
    return completionPastDeadline(row, now) ? Tone::atRisk : Tone::plain;
}
Tone deadlineTone(const resultRow& row, double now) { return isOverdue(row, now) ? Tone::late : Tone::plain; }

}  // namespace

constexpr std::array<TableColumn<resultRow>, resultColumnCount> resultColumns{{
    tableColumn<resultRow>({"WUnit", "Work unit", "The work unit this result computes"}, &workUnitCell, &workUnitSort),
    tableColumn<resultRow>({"PName", "Project", "The project the result belongs to"}, &projectNameCell,
                           &projectNameSort),
    tableColumn<resultRow>({"Version", "Version", "The application version"}, &versionCell, &versionSort),
    tableColumn<resultRow>({"State", "State", "Downloading, waiting, running..., paused, finished or sent"},
                           &stateCell, &stateSort, &stateTip, &stateTone),
    tableColumn<resultRow>({"Progress", "Progress",
                            "Fraction done of a task in progress; a current client records it at the task's "
                            "checkpoints"},
                           &progressCell, &progressSort, &progressTip),
    tableColumn<resultRow>({"CPUTime", "CPU time", "Processor time used so far"}, &cpuTimeCell,
                           &byCellNumber<&cpuTimeCell>),
    tableColumn<resultRow>({"ETR", "Remaining",
                            "Processor time still needed: the time used, divided by the fraction done, times the "
                            "fraction left"},
                           &remainingCell, &byCellNumber<&remainingCell>),
    tableColumn<resultRow>({"ETC", "Completes",
                            "When the task should finish: the remaining time stretched by the project's share of "
                            "the processor, counted from now; orange when that is after the deadline"},
                           &completionCell, &completionSort, &latenessTip, &completionTone),
    tableColumn<resultRow>({"Deadline", "Deadline", "When the result must be reported to its project; red once passed"},
                           &deadlineCell, &deadlineSort, &latenessTip, &deadlineTone),
    tableColumn<resultRow>({"Application", "Application", "The application and its version"}, &applicationCell,
                           &applicationSort),
    tableColumn<resultRow>({"Elapsed", "Elapsed time",
                            "Time the task has run: its final elapsed time once finished, else the elapsed time at "
                            "its last checkpoint"},
                           &elapsedCell, &byCellNumber<&elapsedCell>),
    tableColumn<resultRow>({"PlanClass", "Plan class", "The kind of application version (processor or GPU type)"},
                           &planClassCell, &planClassSort),
    tableColumn<resultRow>({"Received", "Received", "When the client received the task"}, &receivedCell,
                           &receivedSort),
}};

namespace {

// Each enumerator names its column's identifier.
constexpr bool listedInEnumOrder() {
    using enum ResultColumn;
    constexpr std::pair<ResultColumn, std::string_view> named[] = {
        {WUnit, "WUnit"}, {PName, "PName"}, {Version, "Version"}, {State, "State"},      {Progress, "Progress"},
        {CPUTime, "CPUTime"}, {ETR, "ETR"}, {ETC, "ETC"},         {Deadline, "Deadline"},
        {Application, "Application"}, {Elapsed, "Elapsed"}, {PlanClass, "PlanClass"}, {Received, "Received"}};
    for (const auto& [column, id] : named)
        if (resultColumns[static_cast<std::size_t>(column)].id != id) return false;
    return std::size(named) == resultColumnCount;
}
static_assert(listedInEnumOrder(), "resultColumns follows ResultColumn");

}  // namespace

ResultColumn resultColumnOf(std::string_view id) {
    for (std::size_t i = 0; i < resultColumns.size(); ++i)
        if (resultColumns[i].id == id) return static_cast<ResultColumn>(i);
    // The deadline column is the one whose identifier is none of the others'.
    return ResultColumn::Deadline;
}

std::optional<double> completionPastDeadline(const resultRow& row, double now) {
    const auto deadline = reportDeadline(row);
    const auto completes = completionMoment(row, now);
    if (!deadline || !completes) return std::nullopt;
    const double late = *completes - *deadline;
    if (!(late > 0.0)) return std::nullopt;
    return late;
}

std::string stateExplanation(const resultRow& row) {
    const auto state = row.get(Key::state);
    if (!state) return {};
    const std::int32_t code = readInteger(state);
    std::string text = "Result state " + std::string(*state) + ": " + resultStateMeaning(code);
    if (code != 2) return text;
    if (suspendedByUser(row)) return "Suspended by user. " + text;
    if (row.clientStopped && readNumber(schedulerState(row)) == 2.0)
        text = "Paused: the client is not running (its last file says the task runs). " + text;
    if (const auto stored = row.get(Key::scheduler_state)) {
        switch (readInteger(stored)) {
            case 0: text += "; the client has not scheduled it yet"; break;
            case 1: text += "; the client has preempted it"; break;
            case 2: text += "; the client is running it"; break;
            default: text += "; scheduler state " + std::string(*stored) + ", a code this monitor does not know";
        }
        return text;
    }
    if (const auto process = row.get(Key::active_task_state)) {
        return text + "; " + processStateMeaning(readInteger(process));
    }
    return text + "; no task has been started for it";
}

std::optional<std::string> progressExplanation(const resultRow& row) {
    const auto fraction = fractionDone(row);
    if (!fraction) return std::nullopt;
    if (fraction->inSlot)
        return "Progress at the task's last checkpoint, from its slot's checkpoint file, which is newer than the "
               "client's state file";
    if (fraction->atCheckpoint)
        return "Progress at the task's last checkpoint: a current client writes the fraction done into its "
               "state file only when the task checkpoints, so the live figure may be ahead of it";
    return "Progress as the client last wrote it into its state file";
}

}  // namespace crunchwatch
