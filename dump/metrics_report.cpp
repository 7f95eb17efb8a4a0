#include "dump/metrics_report.hpp"

#include <array>
#include <map>
#include <string_view>
#include <vector>

#include "dump/alerts_report.hpp"
#include "dump/exposition.hpp"
#include "dump/host_report.hpp"
#include "dump/metrics_series.hpp"
#include "dump/task_figures.hpp"
#include "state/history_match.hpp"
#include "state/numbers.hpp"
#include "state/redact.hpp"
#include "tables/projects_cells.hpp"
#include "tables/results_cells.hpp"

namespace crunchwatch {
namespace {

// The credit figures, by the `kind` label and the projects table's column.
struct CreditKind {
    std::string_view label;
    ProjectColumn column;
};
constexpr std::array<CreditKind, 4> creditKinds{{{"user_total", ProjectColumn::user_total_credit},
                                                  {"user_average", ProjectColumn::user_expavg_credit},
                                                  {"host_total", ProjectColumn::host_total_credit},
                                                  {"host_average", ProjectColumn::host_expavg_credit}}};

std::optional<double> creditOf(const projectRecord& p, ProjectColumn column) { return projectCell(p, column).value; }

void writeStateFileFamilies(ExpositionWriter& w, bool readable, const MetricsOptions& o) {
    const std::string path = labelText({{"path", o.stateFileAsGiven}});
    w.family("crunchwatch_state_file_readable", MetricType::Gauge,
             "Whether the BOINC client's state file could be read (1) or not (0).");
    w.sample("crunchwatch_state_file_readable", path, readable ? 1 : 0);
    w.family("crunchwatch_state_file_modified_seconds", MetricType::Gauge,
             "When the BOINC client last wrote its state file, in seconds since 1970.");
    if (o.stateFileModified) w.sample("crunchwatch_state_file_modified_seconds", path, *o.stateFileModified);
}

void writeHostFamilies(ExpositionWriter& w, const Snapshot& s) {
    w.family("crunchwatch_projects", MetricType::Gauge, "How many projects the BOINC client is attached to.");
    w.sample("crunchwatch_projects", {}, static_cast<double>(s.numberOfProjects));
    // Summed over every project block as the window's total credit is, an
    // absent credit adding nothing.
    w.family("crunchwatch_credit", MetricType::Gauge, "Credit of all the client's projects together, by kind.");
    for (const CreditKind& kind : creditKinds) {
        double total = 0;
        for (const projectRecord& p : s.state.projectInfo) total += creditOf(p, kind.column).value_or(0.0);
        w.sample("crunchwatch_credit", labelText({{"kind", kind.label}}), total);
    }
}

// Whether a client runs on the folder (no sample when nothing can tell), and
// how many transfers it keeps trying each way.
void writeClientFamilies(ExpositionWriter& w, const Report& report) {
    w.family("crunchwatch_client_running", MetricType::Gauge,
             "Whether a BOINC client holds the lock of its data directory (1) or not (0).");
    const ClientLock lock = report.around ? report.around->lock : ClientLock{};
    if (lock.running != ClientRunning::cannotTell)
        w.sample("crunchwatch_client_running", {}, lock.running == ClientRunning::yes ? 1 : 0);
    w.family("crunchwatch_transfers", MetricType::Gauge,
             "How many file transfers the client keeps trying, by direction.");
    double uploads = 0, downloads = 0;
    for (const Transfer& t : report.snapshot->state.clientStatus.transfers()) (t.upload() ? uploads : downloads) += 1;
    w.sample("crunchwatch_transfers", labelText({{"direction", "upload"}}), uploads);
    w.sample("crunchwatch_transfers", labelText({{"direction", "download"}}), downloads);
}

// What holds a project back: until when the client defers talking to it,
// and the flags its element holds.
void writeProjectStatusFamilies(ExpositionWriter& w, const Snapshot& s, const Series& series) {
    const auto statusOf = [&](const ProjectSeries& p) { return s.state.clientStatus.of(p.project); };
    w.family("crunchwatch_project_deferred_until_seconds", MetricType::Gauge,
             "Until when the client defers communicating with a project (its min_rpc_time), in seconds since 1970.");
    for (const ProjectSeries& p : series.projects)
        if (const ProjectStatus status = statusOf(p); status.min_rpc_time)
            w.sample("crunchwatch_project_deferred_until_seconds", p.labels, readNumber(status.min_rpc_time));
    w.family("crunchwatch_project_flag", MetricType::Gauge,
             "1 for each flag set in a project's state, such as suspended_via_gui, dont_request_more_work or ended.");
    for (const ProjectSeries& p : series.projects) {
        const ProjectStatus status = statusOf(p);
        for (std::size_t f = 0; f < projectFlagNames.size(); ++f)
            if (status.has(static_cast<ProjectFlag>(f)))
                w.sample("crunchwatch_project_flag", p.labels, 1, labelText({{"flag", projectFlagNames[f]}}));
    }
}

void writeProjectFamilies(ExpositionWriter& w, const Snapshot& s, const Series& series) {
    const ProjectInfo& info = s.state.projectInfo;
    w.family("crunchwatch_project_credit", MetricType::Gauge,
             "A project's credit of the user's account and of this host: total and recent average.");
    for (const CreditKind& kind : creditKinds) {
        const std::string kindLabel = labelText({{"kind", kind.label}});
        for (const ProjectSeries& p : series.projects)
            if (const auto v = creditOf(info[p.project], kind.column))
                w.sample("crunchwatch_project_credit", p.labels, *v, kindLabel);
    }
    w.family("crunchwatch_project_resource_share", MetricType::Gauge, "A project's resource share.");
    for (const ProjectSeries& p : series.projects)
        if (info[p.project].values.has(Key::resource_share))
            w.sample("crunchwatch_project_resource_share", p.labels,
                     *projectCell(info[p.project], ProjectColumn::resource_share).value);
    w.family("crunchwatch_project_resource_share_ratio", MetricType::Gauge,
             "A project's resource share divided by the sum of every project's share.");
    for (const ProjectSeries& p : series.projects)
        if (info[p.project].values.has(Key::resource_share) && s.rows.totalShare != 0)
            w.sample("crunchwatch_project_resource_share_ratio", p.labels,
                     *projectCell(info[p.project], ProjectColumn::resource_share).value / s.rows.totalShare);
    w.family("crunchwatch_tasks", MetricType::Gauge, "How many of a project's tasks are in each state.");
    for (std::size_t k = 0; k < taskStateLabels.size(); ++k) {
        const std::string stateLabel = labelText({{"state", taskStateLabels[k]}});
        for (const ProjectSeries& p : series.projects)
            w.sample("crunchwatch_tasks", p.labels, series.tasksInState(p)[k], stateLabel);
    }
}

struct TaskFamily {
    std::string_view name;
    std::string_view help;
    std::optional<double> (*value)(const TaskFigures&);
};
constexpr std::array<TaskFamily, 6> taskFamilies{{
    {"crunchwatch_task_progress_ratio", "How much of a task is done, from 0 to 1.",
     [](const TaskFigures& f) { return f.progressRatio; }},
    {"crunchwatch_task_cpu_seconds", "Processor time a task has used so far.",
     [](const TaskFigures& f) { return f.cpuSeconds; }},
    {"crunchwatch_task_remaining_seconds", "Processor time a task still needs, estimated from its progress.",
     [](const TaskFigures& f) { return f.remainingSeconds; }},
    {"crunchwatch_task_deadline_timestamp_seconds", "When a task must be reported, in seconds since 1970.",
     [](const TaskFigures& f) { return f.deadline; }},
    {"crunchwatch_task_completion_timestamp_seconds",
     "When a task should finish at its project's share of the processor, in seconds since 1970.",
     [](const TaskFigures& f) { return f.completion; }},
    {"crunchwatch_task_deadline_at_risk", "1 when a task's expected completion lies after its deadline, else 0.",
     [](const TaskFigures& f) {
         const auto risk = f.deadlineAtRisk();
         return risk ? std::optional<double>(*risk ? 1.0 : 0.0) : std::nullopt;
     }},
}};

void writeTaskFamilies(ExpositionWriter& w, const Snapshot& s, const Series& series) {
    for (const TaskFamily& family : taskFamilies) {
        w.family(family.name, MetricType::Gauge, family.help);
        for (const TaskSeries& t : series.tasks)
            if (const auto v = family.value(t.figures())) w.sample(family.name, series.taskLabels(s, t), *v);
    }
    w.family("crunchwatch_transfer_retries", MetricType::Gauge,
             "How often a file transfer failed and was tried again.");
    const StoredList<Transfer> transfers = s.state.clientStatus.transfers();
    for (const TransferSeries& t : series.transfers)
        if (const MaybeText retries = transfers[t.transfer].num_retries)
            w.sample("crunchwatch_transfer_retries", series.transferLabels(s, t), readNumber(retries));
}

// What the client's own history files say per project: its newest day of
// statistics, and the tasks its job log counts as finished.
void writeHistoryFamilies(ExpositionWriter& w, const Report& report, const Series& series) {
    const HistoryValue& h = *report.history;
    // A host whose client keeps no history files gets none of these families.
    if (h.history.statisticsFiles().empty() && h.history.jobLogFiles().empty()) return;
    const auto figures = historyFiguresByProject(h.history, report.snapshot->state.projectInfo, h.match);
    const auto figuresOf = [&](const ProjectSeries& p) -> const ProjectHistoryFigures& {
        return figures[p.project];
    };
    w.family("crunchwatch_project_statistics_day_timestamp_seconds", MetricType::Gauge,
             "The newest day in a project's statistics file, in seconds since 1970.");
    for (const ProjectSeries& p : series.projects)
        if (const auto day = figuresOf(p).newestStatisticsDay)
            w.sample("crunchwatch_project_statistics_day_timestamp_seconds", p.labels, readNumber(day));
    w.family("crunchwatch_project_statistics_credit", MetricType::Gauge,
             "A project's credit on the newest day of its statistics file: total and recent average.");
    // A day's values, in the order of creditKinds.
    constexpr std::array<std::optional<std::string_view> DailyStatistics::*, creditKinds.size()> dayValues{
        &DailyStatistics::user_total_credit, &DailyStatistics::user_expavg_credit, &DailyStatistics::host_total_credit,
        &DailyStatistics::host_expavg_credit};
    for (std::size_t k = 0; k < creditKinds.size(); ++k) {
        const std::string kindLabel = labelText({{"kind", creditKinds[k].label}});
        for (const ProjectSeries& p : series.projects) {
            const DailyStatistics* d = figuresOf(p).newestDay;
            if (!d) continue;
            const std::optional<std::string_view> value = d->*dayValues[k];
            if (value) w.sample("crunchwatch_project_statistics_credit", p.labels, readNumber(value), kindLabel);
        }
    }
    w.family("crunchwatch_project_finished_tasks_total", MetricType::Counter,
             "Tasks of a project that the client's job log records as finished.");
    for (const ProjectSeries& p : series.projects)
        if (figuresOf(p).finishedTasks > 0)
            w.sample("crunchwatch_project_finished_tasks_total", p.labels,
                     static_cast<double>(figuresOf(p).finishedTasks));
    w.family("crunchwatch_project_finished_tasks_cpu_seconds_total", MetricType::Counter,
             "Processor time of the finished tasks the client's job log records for a project.");
    for (const ProjectSeries& p : series.projects)
        if (figuresOf(p).finishedTasks > 0)
            w.sample("crunchwatch_project_finished_tasks_cpu_seconds_total", p.labels, figuresOf(p).processorSeconds);
}

// The error lines of the event log this run read, per project. The client's
// own lines (and those without a project) count under project="". A run
// counts the log as it finds it: the client's rotation drops old lines, which
// Prometheus takes for a counter's reset.
void writeEventLogFamilies(ExpositionWriter& w, const Report& report) {
    constexpr std::string_view name = "crunchwatch_event_log_error_lines_total";
    w.family(name, MetricType::Counter,
             "Lines of the BOINC client's event log marked as errors, by project (\"\" for the client's own).");
    if (!report.events || !report.events->shown) return;
    const EventLog& log = report.events->log;
    std::map<std::string, double> errors{{"", 0}};
    for (std::size_t i = 0; i < log.size(); ++i)
        if (const EventEntry e = log.entry(i); e.severity == EventSeverity::error)
            errors[mayHoldSecret(e.project) ? hideSecrets(e.project) : std::string(e.project)] += 1;
    for (const auto& [project, count] : errors) w.sample(name, labelText({{"project", project}}), count);
}

}  // namespace

void writePrometheusReport(std::ostream& out, const Report* report, const MetricsOptions& options) {
    ExpositionWriter w(out);
    writeStateFileFamilies(w, report != nullptr, options);
    if (!report) return;
    // Each group writes whole families from the one refresh.
    const Snapshot& snapshot = *report->snapshot;
    const Series series = gatherSeries(snapshot, options.perTask, options.now);
    writeHostFamilies(w, snapshot);
    writeClientFamilies(w, *report);
    writeProjectFamilies(w, snapshot, series);
    writeProjectStatusFamilies(w, snapshot, series);
    writeHistoryFamilies(w, *report, series);
    writeEventLogFamilies(w, *report);
    writeAlertMetrics(w, *report);
    writeHostMetrics(w, *report, [&series](std::size_t project) {
        const ProjectSeries* p = series.ofProject(project);
        return p ? p->labels : std::string_view();
    });
    if (options.perTask) writeTaskFamilies(w, snapshot, series);
}

}  // namespace crunchwatch
