#include "tables/history_table.hpp"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <map>

#include "state/numbers.hpp"
#include "tables/duration.hpp"

namespace crunchwatch {
namespace {

// The few exit codes the client itself sets when it ends a task.
constexpr std::pair<int, const char*> clientExitCodes[] = {
    {193, "the application was stopped by a signal"},
    {194, "aborted by the client"},
    {196, "the task used more disk space than allowed"},
    {197, "the task ran longer than allowed"},
    {198, "the task used more memory than allowed"},
    {202, "aborted by the project"},
    {203, "aborted by the user"},
};

template <JobField field>
Cell textCell(const HistoryTask& t, double) {
    const auto v = t.value(field);
    return v ? Cell::ofText(std::string(*v)) : Cell::empty();
}
template <JobField field>
SortValue textSort(const HistoryTask& t, double) {
    const auto v = t.value(field);
    return v ? SortValue::ofText(*v) : SortValue::none();
}

Cell finishedCell(const HistoryTask& t, double) { return Cell::ofDate(t.time); }
SortValue finishedSort(const HistoryTask& t, double) { return SortValue::ofNumber(t.time); }

Cell projectCell(const HistoryTask& t, double) { return Cell::ofText(std::string(t.project())); }
SortValue projectSort(const HistoryTask& t, double) { return SortValue::ofText(t.project()); }

// Durations sort by their seconds; one that cannot be shown is empty.
template <JobField field>
Cell durationCell(const HistoryTask& t, double) {
    const auto v = t.value(field);
    if (!v) return Cell::empty();
    const double seconds = readNumber(v);
    auto shown = czasHMSzSekund(seconds);
    return shown ? Cell::ofText(std::move(*shown), seconds) : Cell::empty();
}
template <JobField field>
SortValue durationSort(const HistoryTask& t, double now) {
    const Cell c = durationCell<field>(t, now);
    return c.value ? SortValue::ofNumber(*c.value) : SortValue::none();
}

Cell exitCell(const HistoryTask& t, double) {
    const auto v = t.value(JobField::es);
    return v ? Cell::ofText(std::string(*v), readNumber(v)) : Cell::empty();
}
SortValue exitSort(const HistoryTask& t, double) {
    const auto v = t.value(JobField::es);
    return v ? SortValue::ofNumber(readNumber(v)) : SortValue::none();
}
std::optional<std::string> exitTip(const HistoryTask& t, double) {
    std::string why = exitStatusExplanation(t.value(JobField::es));
    return why.empty() ? std::nullopt : std::optional<std::string>(std::move(why));
}
Tone exitTone(const HistoryTask& t, double) { return isFailedExit(t.value(JobField::es)) ? Tone::failed : Tone::plain; }

}  // namespace

constexpr std::array<TableColumn<HistoryTask>, historyColumnCount> historyColumns{{
    tableColumn<HistoryTask>({"time", "Finished", "When the task's computation finished"}, &finishedCell,
                             &finishedSort),
    tableColumn<HistoryTask>(
        {"project", "Project", "The project the task belongs to (the job log's name when no project matches it)"},
        &projectCell, &projectSort),
    tableColumn<HistoryTask>({"nm", "Task", "The task's name"}, &textCell<JobField::nm>, &textSort<JobField::nm>),
    tableColumn<HistoryTask>({"ct", "CPU time", "Processor time the task used (hours:minutes:seconds)"},
                             &durationCell<JobField::ct>, &durationSort<JobField::ct>),
    tableColumn<HistoryTask>(
        {"et", "Elapsed", "Time from the task's start to its end, suspensions included (hours:minutes:seconds)"},
        &durationCell<JobField::et>, &durationSort<JobField::et>),
    tableColumn<HistoryTask>({"ue", "Estimate", "The client's estimate of the task's run time (hours:minutes:seconds)"},
                             &durationCell<JobField::ue>, &durationSort<JobField::ue>),
    tableColumn<HistoryTask>({"es", "Exit status", "How the task ended: 0 is success, anything else a failure"},
                             &exitCell, &exitSort, &exitTip, &exitTone),
}};

std::optional<std::string_view> HistoryTask::value(JobField f) const {
    return table->history().jobLogFiles()[log].log.field(task, f);
}
std::string_view HistoryTask::project() const { return table->labelOf(log); }

bool isFailedExit(std::optional<std::string_view> exitStatus) { return exitStatus && readNumber(exitStatus) != 0; }

std::string exitStatusExplanation(std::optional<std::string_view> exitStatus) {
    if (!isFailedExit(exitStatus)) return {};
    std::string text = "Failed: exit status " + std::string(*exitStatus);
    const double code = readNumber(exitStatus);
    for (const auto& [value, meaning] : clientExitCodes)
        if (code == value) return text + " (" + meaning + ")";
    return text + " (the application's own error code)";
}

HistoryTable::HistoryTable(const History& history, std::vector<std::string> labels)
    : m_history(&history), m_labels(std::move(labels)) {
    const auto& logs = history.jobLogFiles();
    m_labels.resize(logs.size());
    std::size_t total = 0;
    for (const JobLogFile& f : logs) total += f.read ? f.log.size() : 0;
    m_rows.reserve(total);
    for (std::size_t l = 0; l < logs.size(); ++l) {
        if (!logs[l].read) continue;
        const JobLog& log = logs[l].log;
        for (std::size_t t = log.size(); t-- > 0;)
            m_rows.push_back({static_cast<std::uint32_t>(l), static_cast<std::uint32_t>(t),
                              readNumber(log.field(t, JobField::time))});
    }
    // Later lines first among equal moments: the reverse walk above, kept stable.
    std::stable_sort(m_rows.begin(), m_rows.end(), [](const Row& a, const Row& b) { return a.time > b.time; });
}

std::vector<std::string> HistoryTable::projectLabels() const {
    std::vector<std::string> labels;
    for (std::size_t l = 0; l < m_labels.size(); ++l)
        if (m_history->jobLogFiles()[l].read) labels.push_back(m_labels[l]);
    std::sort(labels.begin(), labels.end());
    labels.erase(std::unique(labels.begin(), labels.end()), labels.end());
    return labels;
}

namespace {

// Local midnight of the day holding `second`, and of the day after it.
bool localDay(std::int64_t second, std::int64_t& start, std::int64_t& end) {
    const auto t = static_cast<std::time_t>(second);
    std::tm local{};
    if (!::localtime_r(&t, &local)) return false;
    local.tm_hour = local.tm_min = local.tm_sec = 0;
    local.tm_isdst = -1;
    std::tm next = local;
    ++next.tm_mday;
    start = static_cast<std::int64_t>(std::mktime(&local));
    end = static_cast<std::int64_t>(std::mktime(&next));
    return end > start;
}

// A log whose times span more than this is not drawn day by day.
constexpr std::size_t mostDays = 40000;

}  // namespace

std::vector<DayTotals> tasksPerDay(const HistoryTable& table, const std::vector<std::uint32_t>& rows) {
    std::map<std::int64_t, DayTotals> days;  // by local midnight
    std::int64_t lastStart = 0, lastEnd = 0;  // the day last found, as a cache
    bool have = false;
    for (std::uint32_t i : rows) {
        const HistoryTask t = table[i];
        if (!std::isfinite(t.time) || std::fabs(t.time) > 1e12) continue;
        const auto second = static_cast<std::int64_t>(std::floor(t.time));
        if (!have || second < lastStart || second >= lastEnd) {
            have = localDay(second, lastStart, lastEnd);
            if (!have) continue;
        }
        DayTotals& d = days.try_emplace(lastStart, DayTotals{static_cast<double>(lastStart)}).first->second;
        ++d.tasks;
        const double cpu = readNumber(t.value(JobField::ct));
        if (std::isfinite(cpu)) d.processorHours += cpu / 3600;
    }
    std::vector<DayTotals> out;
    if (days.empty()) return out;
    // Every day between the first and the last, the days without a task at zero.
    std::int64_t start = days.begin()->first, end = 0;
    while (start <= days.rbegin()->first && out.size() < mostDays && localDay(start, start, end)) {
        const auto found = days.find(start);
        out.push_back(found != days.end() ? found->second : DayTotals{static_cast<double>(start)});
        start = end;
    }
    if (out.empty() || out.back().dayStart != static_cast<double>(days.rbegin()->first)) {
        out.clear();  // too many days, or a calendar that cannot be walked: the days with tasks
        for (auto& [day, totals] : days) out.push_back(totals);
    }
    return out;
}

}  // namespace crunchwatch
