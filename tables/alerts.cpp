#include "tables/alerts.hpp"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "state/numbers.hpp"
#include "state/redact.hpp"
#include "tables/date_value.hpp"
#include "tables/project_status.hpp"
#include "tables/refresh_value.hpp"
#include "tables/results_cells.hpp"
#include "tables/table_definition.hpp"
#include "tables/task_details.hpp"
#include "tables/transfers_table.hpp"

namespace crunchwatch {
namespace {

std::string textOf(std::optional<std::string_view> t) { return t ? std::string(*t) : std::string(); }

// A span for people: hours, minutes and seconds up to two days, whole days beyond.
std::string durationText(double seconds) {
    if (seconds >= 2 * 86400.0 && seconds < 1e9 * 86400.0)
        return std::to_string(static_cast<long long>(seconds / 86400.0)) + " days";
    return countdown(seconds).value_or("00:00:00");
}

// The result states that end a task without a result to show for it.
constexpr int computeError = 3, aborted = 6, uploadFailed = 7;
// The exit status of a task the user aborted (EXIT_ABORTED_VIA_GUI): what
// they did a moment ago is no failure to tell them of.
constexpr int abortedByUser = 203;

bool abortedByTheUser(std::optional<std::string_view> exitStatus) {
    return exitStatus && readInteger(*exitStatus) == abortedByUser;
}

// Collects the alerts of one evaluation, each with the moment it began: the
// one remembered from before, else what the files tell, else now.
class Collector {
public:
    Collector(double now, const AlertMemory* before) : m_now(now), m_before(before) {}

    void add(Alert a, std::optional<double> began = std::nullopt) {
        std::string key = a.key();
        if (const auto known = remembered(key))
            a.since = *known;
        else
            a.since = began && std::isfinite(*began) && *began <= m_now ? *began : m_now;
        // One alert per key: the first rule's words.
        if (!m_memory.since.emplace(std::move(key), a.since).second) return;
        m_alerts.push_back(std::move(a));
    }

    std::vector<Alert> take() {
        // Sorted by their places, then moved there one cycle at a time: a
        // hundred thousand alerts need no second copy of themselves.
        std::vector<std::uint32_t> order(m_alerts.size());
        for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint32_t>(i);
        std::stable_sort(order.begin(), order.end(), [&](std::uint32_t i, std::uint32_t j) {
            const Alert& a = m_alerts[i];
            const Alert& b = m_alerts[j];
            if (a.since != b.since) return a.since > b.since;
            if (a.rule != b.rule) return a.rule < b.rule;
            if (a.project != b.project) return a.project < b.project;
            return a.task < b.task;
        });
        for (std::size_t start = 0; start < order.size(); ++start) {
            if (order[start] == start) continue;
            Alert held = std::move(m_alerts[start]);
            std::size_t at = start;
            for (std::size_t from = order[at]; from != start; from = order[at]) {
                m_alerts[at] = std::move(m_alerts[from]);
                order[at] = static_cast<std::uint32_t>(at);
                at = from;
            }
            m_alerts[at] = std::move(held);
            order[at] = static_cast<std::uint32_t>(at);
        }
        return std::move(m_alerts);
    }
    AlertMemory& memory() { return m_memory; }

private:
    std::optional<double> remembered(const std::string& key) const {
        if (!m_before) return std::nullopt;
        const auto known = m_before->since.find(key);
        return known == m_before->since.end() ? std::nullopt : std::optional<double>(known->second);
    }

    double m_now;
    const AlertMemory* m_before;
    std::vector<Alert> m_alerts;
    AlertMemory m_memory;
};

Alert alertOf(AlertRule rule, AlertSeverity severity, std::optional<std::string_view> project,
              std::optional<std::string_view> url, std::optional<std::string_view> task, std::string text) {
    Alert a;
    a.rule = rule;
    a.severity = severity;
    a.projectUrl = textOf(url);
    a.project = project && !project->empty() ? std::string(*project) : a.projectUrl;
    a.task = textOf(task);
    // A server's words may quote a request, and with it the account's key:
    // hidden here, so the tab, the desktop and the dump all show it hidden.
    a.text = mayHoldSecret(text) ? hideSecrets(text) : std::move(text);
    return a;
}

// ", exit status 194 (…)", or the meaning alone where it names the code.
std::string exitStatusText(std::string_view status) {
    const auto meaning = exitStatusMeaning(readInteger(status));
    if (meaning && meaning->find(status) != std::string::npos) return ": " + *meaning;
    return ", exit status " + std::string(status) + (meaning ? " (" + *meaning + ")" : "");
}

std::string failureText(const resultRow& row, int state) {
    if (state == aborted) {
        // The client's reasons for an abort (by the project, for a late
        // start, by the client itself) are the words of what happened.
        const std::int32_t code = readInteger(row.get(Key::exit_status));
        const auto meaning = code >= 192 ? exitStatusMeaning(code) : std::nullopt;
        return meaning && code <= 208 ? *meaning : "aborted";
    }
    if (state == uploadFailed) return "its output could not be uploaded";
    std::string text = "computation error";
    if (const auto status = row.get(Key::exit_status)) text += exitStatusText(*status);
    return text;
}

// Whether the project's server has acknowledged the finished task's report:
// only a task ready to report can have been, so the others cost no search.
bool reported(const resultRow& row) {
    if (!row.has(Key::ready_to_report)) return false;
    const auto element = resultElement(row);
    return element && childValue(*element, "got_server_ack");
}

// Whether a task is a GPU's, by its plan class as projects name them
// ("cuda118", "opencl_nvidia_101", "ati14", "opencl_intel_gpu", "vulkan").
bool needsGpu(const resultRow& row) {
    const auto plan = planClass(row);
    if (!plan) return false;
    std::string lower(*plan);
    for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    // Word by word ("sse2_static" holds "ati", but no word begins with it).
    std::string_view rest = lower;
    while (!rest.empty()) {
        const std::string_view word = rest.substr(0, rest.find('_'));
        rest.remove_prefix(std::min(rest.size(), word.size() + 1));
        for (std::string_view gpu : {"cuda", "opencl", "ati", "nvidia", "amd", "gpu", "vulkan", "metal", "hip"})
            if (word.substr(0, gpu.size()) == gpu) return true;
    }
    return false;
}

// What the results say, one pass: failures, deadlines, the work under way
// and waiting, and each project's tasks waiting to be reported.
struct ResultsPass {
    std::size_t waiting = 0;
    // Per project that has any, ascending: a file of very many projects
    // without such tasks costs nothing here.
    std::vector<std::pair<std::size_t, std::size_t>> toReport;

    void report(std::size_t project) {
        if (toReport.empty() || toReport.back().first != project) toReport.emplace_back(project, 0);
        ++toReport.back().second;
    }
    std::size_t toReportOf(std::size_t project) const {
        const auto it = std::lower_bound(toReport.begin(), toReport.end(), project,
                                         [](const auto& r, std::size_t p) { return r.first < p; });
        return it != toReport.end() && it->first == project ? it->second : 0;
    }
};

ResultsPass resultAlerts(const RefreshValue& v, double now, Collector& out, WorkSummary& work) {
    const Snapshot& shot = *v.snapshot;
    // With the GPUs off, a GPU's task waiting is no work the client could do.
    const bool gpusOff = readInteger(shot.state.clientStatus.client.user_gpu_request) == 3;
    ResultsPass pass;
    const ResultTable& rows = shot.rows.main_result_table;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const resultRow row = resultRowOf(v, i);
        const int state = readInteger(row.get(Key::state));
        const auto project = row.get(Key::project_name);
        const auto url = row.get(Key::master_url);
        const auto name = row.get(Key::name);
        const bool ended = state == computeError || state == aborted || state == uploadFailed;
        const bool failed = ended && !(state == aborted && abortedByTheUser(row.get(Key::exit_status)));
        if (failed)
            out.add(alertOf(AlertRule::task_failed, AlertSeverity::error, project, url, name, failureText(row, state)));
        // Only a task not yet finished completes; once per row, it is the dearest cell.
        const auto done = state <= 2 ? completionMoment(row, now) : std::nullopt;
        const auto shown = stateText(row);
        if (shown && *shown == "running...") {
            ++work.running;
            if (done && (!work.nextCompletion || *done < *work.nextCompletion)) work.nextCompletion = done;
        } else if (state == 2 && !row.has(Key::suspended_via_gui) &&
                   !(row.project.status && row.project.status->has(ProjectFlag::suspended_via_gui)) &&
                   !(gpusOff && needsGpu(row))) {
            ++pass.waiting;
        }
        const bool acknowledged = reported(row);
        if (row.projectIndex < shot.state.projectInfo.size() && row.has(Key::ready_to_report) && !acknowledged)
            pass.report(row.projectIndex);
        const auto deadline = reportDeadline(row);
        if (ended || !deadline) continue;
        if (*deadline < now && !acknowledged) {
            out.add(alertOf(AlertRule::deadline_missed, AlertSeverity::error, project, url, name,
                            "its deadline passed " + durationText(now - *deadline) + " ago"),
                    *deadline);
        } else if (done && *done > *deadline) {
            ++work.atRisk;
            out.add(alertOf(AlertRule::deadline_at_risk, AlertSeverity::warning, project, url, name,
                            "expected to complete " + durationText(*done - *deadline) + " after its deadline"));
        }
    }
    return pass;
}

// The tasks of the last `within` seconds in the job logs that ended with a
// non-zero exit status. The logs are read from their ends, as far back as
// that: a long history costs only its last day. Also the newest end of any
// task, which tells how long nothing has finished.
std::optional<double> jobLogAlerts(const RefreshValue& v, double now, double within, Collector& out) {
    std::optional<double> newest;
    const auto& files = v.history->history.jobLogFiles();
    const ProjectInfo& projects = v.snapshot->state.projectInfo;
    for (std::size_t f = 0; f < files.size(); ++f) {
        const JobLog& log = files[f].log;
        const auto match = f < v.history->match.jobLogs.size() ? v.history->match.jobLogs[f] : std::nullopt;
        std::optional<std::string_view> project, url;
        if (match && *match < projects.size()) {
            const projectRecord p = projects[*match];
            project = p.values.get(Key::project_name);
            url = p.values.get(Key::master_url);
        }
        for (std::size_t i = log.size(); i-- > 0;) {
            const double ended = readNumber(log.field(i, JobField::time));
            if (!newest || ended > *newest) newest = ended;
            if (!(ended >= now - within)) break;
            const auto status = log.field(i, JobField::es);
            if (!status || readInteger(status) == 0 || abortedByTheUser(status)) continue;
            std::string text = "ended" + exitStatusText(*status);
            Alert a = alertOf(AlertRule::task_failed, AlertSeverity::error, project, url, log.field(i, JobField::nm),
                              std::move(text));
            if (!project) a.project = v.history->labels.jobLogs.size() > f ? v.history->labels.jobLogs[f] : "";
            out.add(std::move(a), ended);
        }
    }
    return newest;
}

std::optional<std::string_view> projectValue(const ProjectInfo& projects, std::size_t index, Key key) {
    if (index >= projects.size()) return std::nullopt;
    return projects[index].values.get(key);
}

void transferAlerts(const RefreshValue& v, double now, const AlertThresholds& limits, Collector& out) {
    const ClientState& state = v.snapshot->state;
    for (const Transfer& t : state.clientStatus.transfers()) {
        const double retries = readNumber(t.num_retries);
        const TransferRow row{t, projectValue(state.projectInfo, t.project, Key::project_name),
                              projectValue(state.projectInfo, t.project, Key::master_url), std::nullopt};
        const auto givesUp = giveUpMoment(row);
        const bool soon = givesUp && *givesUp - now < limits.transferGivesUpWithin;
        if (!(retries >= limits.transferRetries) && !soon) continue;
        std::string text = std::string(t.upload() ? "upload" : "download") + " failed " +
                           std::string(t.num_retries.value_or("0")) + " times";
        if (givesUp) text += *givesUp > now ? "; the client gives up in " + durationText(*givesUp - now)
                                            : "; the client gives up now";
        if (t.error_msg) text += ": " + std::string(*t.error_msg);
        out.add(alertOf(AlertRule::transfer_stuck, AlertSeverity::warning, row.projectName, row.masterUrl, t.name,
                        std::move(text)));
    }
}

void deferredAlerts(const RefreshValue& v, double now, const AlertThresholds& limits, const ResultsPass& pass,
                    const AlertMemory* previous, Collector& out) {
    const ClientState& state = v.snapshot->state;
    for (const ProjectStatus& p : state.clientStatus.projects()) {
        const std::size_t toReport = p.min_rpc_time ? pass.toReportOf(p.project) : 0;
        if (toReport == 0) continue;
        const double left = readNumber(p.min_rpc_time) - now;
        Alert a = alertOf(AlertRule::project_deferred, AlertSeverity::warning,
                          projectValue(state.projectInfo, p.project, Key::project_name),
                          projectValue(state.projectInfo, p.project, Key::master_url), std::nullopt,
                          "communication deferred " + durationText(left) + " with " +
                              std::to_string(toReport) + " finished task" + (toReport == 1 ? "" : "s") +
                              " to report");
        // Begun, it lasts as long as the deferral does: a deferral running
        // out below the threshold, then renewed, is one alert, not two.
        const bool going = previous && previous->since.count(a.key());
        if (!(left > (going ? 0.0 : limits.deferredFor))) continue;
        out.add(std::move(a));
    }
}

void diskAlert(const RefreshValue& v, const AlertThresholds& limits, Collector& out) {
    if (!v.computer) return;
    const DiskFigures& disk = v.computer->disk;
    if (!disk.totalBytes || !disk.allowed.bytes) return;
    const double used = static_cast<double>(*disk.totalBytes), allowed = *disk.allowed.bytes;
    if (!(used > limits.diskShare * allowed) || used == 0) return;
    std::string text = "the client uses " + bytesForPeople(used) + " of the " + bytesForPeople(allowed) +
                       " it may use (set by " + std::string(boundText(disk.allowed.bound)) + ")";
    out.add(alertOf(AlertRule::disk_full, AlertSeverity::warning, std::nullopt, std::nullopt, std::nullopt,
                    std::move(text)));
}

}  // namespace

std::optional<AlertRule> ruleNamed(std::string_view id) {
    for (std::size_t i = 0; i < alertRuleCount; ++i)
        if (alertRuleIds[i] == id) return static_cast<AlertRule>(i);
    return std::nullopt;
}

std::string Alert::key() const {
    std::string k;
    k.reserve(ruleId(rule).size() + projectUrl.size() + task.size() + 2);
    const auto add = [&k](std::string_view part) {
        for (char c : part) k.push_back(c == '\t' || c == '\n' || c == '\r' ? ' ' : c);
    };
    add(ruleId(rule));
    k.push_back('\t');
    add(projectUrl);
    k.push_back('\t');
    add(task);
    return k;
}

std::size_t AlertsValue::count(AlertSeverity s) const noexcept {
    return static_cast<std::size_t>(
        std::count_if(alerts.begin(), alerts.end(), [s](const Alert& a) { return a.severity == s; }));
}

std::string workSummaryText(const WorkSummary& work, const std::optional<std::string>& dateFormat) {
    if (work.running == 0 && work.atRisk == 0) return "nothing running";
    std::string text = std::to_string(work.running) + " running";
    if (work.atRisk) text += " \u00b7 " + std::to_string(work.atRisk) + " at risk";
    if (work.nextCompletion)
        if (const auto when = formatDaty(*work.nextCompletion, dateFormat)) text += " \u00b7 next completes " + *when;
    return text;
}

AlertsValue evaluateAlerts(const RefreshValue& v, const AlertThresholds& limits, const AlertMemory* previous) {
    AlertsValue result;
    const double now = v.takenAt;
    // No moment, no alerts: each rule counts from now.
    if (!v.snapshot || !*v.snapshot || !std::isfinite(now)) return result;
    Collector out(now, previous);
    const ResultsPass pass = resultAlerts(v, now, out, result.work);
    const std::size_t running = result.work.running;
    const auto lastEnded = v.history ? jobLogAlerts(v, now, limits.failedJobWithin, out) : std::nullopt;
    transferAlerts(v, now, limits, out);
    deferredAlerts(v, now, limits, pass, previous, out);
    diskAlert(v, limits, out);

    // Whether a client runs: its lock tells; without a lock, a state file
    // that has not changed for long while tasks run says it stopped.
    const auto stateTime = v.around ? v.around->stateFileTime : std::nullopt;
    const ClientRunning lock = v.around ? v.around->lock.running : ClientRunning::cannotTell;
    const bool stale = lock == ClientRunning::cannotTell && stateTime && running > 0 &&
                       now - *stateTime > limits.staleFor;
    if (lock == ClientRunning::no) {
        out.add(alertOf(AlertRule::client_stopped, AlertSeverity::error, std::nullopt, std::nullopt, std::nullopt,
                        "the client is not running: its lock is free"),
                stateTime);
    } else if (stale) {
        out.add(alertOf(AlertRule::client_stopped, AlertSeverity::error, std::nullopt, std::nullopt, std::nullopt,
                        "the state file has not changed for " + durationText(now - *stateTime) +
                            " while tasks should be running"),
                stateTime);
    }
    result.clientStopped = lock == ClientRunning::no || stale;

    // Idle: a client that runs, may compute and has tasks waiting, yet runs
    // none. Since when: the latest of the last task seen running, the last
    // task that ended, the client's start and the first refresh that saw it idle.
    AlertMemory& memory = out.memory();
    memory.lastRunning = running > 0 ? std::optional<double>(now) : (previous ? previous->lastRunning : std::nullopt);
    const bool mayCompute = readInteger(v.snapshot->state.clientStatus.client.user_run_request) != 3;
    const bool idle = !result.clientStopped && mayCompute && running == 0 && pass.waiting > 0;
    if (idle) {
        memory.idleSeen = previous && previous->idleSeen ? previous->idleSeen : std::optional<double>(now);
        // The files tell when a task last ran or ended and when the client
        // started; only without any of them does the first idle refresh count.
        std::optional<double> from;
        for (const auto moment : {memory.lastRunning, lastEnded,
                                  std::optional<double>(readNumber(v.snapshot->state.host.time.client_start_time))})
            if (moment && *moment > 0 && *moment <= now && (!from || *moment > *from)) from = moment;
        if (!from) from = memory.idleSeen;
        if (now - *from >= limits.idleFor)
            out.add(alertOf(AlertRule::idle, AlertSeverity::warning, std::nullopt, std::nullopt, std::nullopt,
                            "no task has run for " + durationText(now - *from) + " though " +
                                std::to_string(pass.waiting) + " wait" + (pass.waiting == 1 ? "s" : "") + " to run"),
                    from);
    }
    result.alerts = out.take();
    result.memory = std::move(memory);
    return result;
}

}  // namespace crunchwatch
