#pragma once
// Alerts: what in one refresh value needs the user, by fixed rules. Each
// alert is keyed by its rule, its project and its task or file, so that the
// same trouble seen in the next refresh is the same alert; it carries the
// moment it began, taken from the files where they tell it (a deadline, a
// finished task's line in the job log, the state file's date) and otherwise
// the first refresh that saw it. The window notifies an alert once when it
// begins (see AlertLedger); the dump and the metrics list those active now.

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace crunchwatch {

struct RefreshValue;

enum class AlertRule : std::uint8_t {
    task_failed, deadline_at_risk, deadline_missed, transfer_stuck, project_deferred, client_stopped, idle, disk_full,
};
inline constexpr std::size_t alertRuleCount = 8;
// The rules' fixed identifiers (the dump's "rule", the metric's label, the settings' keys).
inline constexpr std::array<std::string_view, alertRuleCount> alertRuleIds{
    "task_failed", "deadline_at_risk", "deadline_missed", "transfer_stuck",
    "project_deferred", "client_stopped", "idle", "disk_full",
};
// Their names for people.
inline constexpr std::array<std::string_view, alertRuleCount> alertRuleTitles{
    "Task failed", "Deadline at risk", "Deadline missed", "Transfer stuck",
    "Project deferred", "Client stopped", "Nothing running", "Disk nearly full",
};
inline std::string_view ruleId(AlertRule r) { return alertRuleIds[static_cast<std::size_t>(r)]; }
inline std::string_view ruleTitle(AlertRule r) { return alertRuleTitles[static_cast<std::size_t>(r)]; }
std::optional<AlertRule> ruleNamed(std::string_view id);

enum class AlertSeverity : std::uint8_t { warning, error };
inline std::string_view severityName(AlertSeverity s) { return s == AlertSeverity::error ? "error" : "warning"; }

struct Alert {
    AlertRule rule = AlertRule::task_failed;
    AlertSeverity severity = AlertSeverity::warning;
    std::string project;     // the project's name for people; empty for the client's own alerts
    std::string projectUrl;  // its master URL, as written
    std::string task;        // the task's or the file's name; empty for a project's or the client's
    std::string text;        // one line for people
    double since = 0;        // when it began, seconds since 1970

    // rule, project URL and task joined by tabs (tabs and line ends inside
    // become spaces): one line of text that names the alert.
    std::string key() const;
};

// The rules' thresholds. Every rule is evaluated; which of them are told
// to the desktop is the window's choice.
struct AlertThresholds {
    double transferRetries = 5;          // a transfer with this many retries is stuck
    double transferGivesUpWithin = 86400; // ... or one the client gives up within this many seconds
    double deferredFor = 3600;           // communication deferred this long while tasks wait to be reported
    double staleFor = 3600;              // the state file unchanged this long while tasks run: stopped
    double idleFor = 1800;               // nothing running this long while the client could compute
    double diskShare = 0.9;              // the client's usage above this share of what it may use
    double failedJobWithin = 86400;      // a failed task in the job log counts this long after it ended
};

// What evaluation keeps from one refresh to the next.
struct AlertMemory {
    std::map<std::string, double> since;  // by key: when each active alert began
    std::optional<double> lastRunning;    // the last refresh that saw a task run
    std::optional<double> idleSeen;       // the first refresh that saw the client idle, while it is
    bool operator==(const AlertMemory&) const = default;
};

// The work under way, for a one-line summary ("3 running · 1 at risk ·
// next completes 14:05").
struct WorkSummary {
    std::size_t running = 0;
    std::size_t atRisk = 0;
    std::optional<double> nextCompletion;  // the earliest expected completion of a running task
};

struct AlertsValue {
    std::vector<Alert> alerts;  // newest first; equal moments by rule, project, task
    AlertMemory memory;
    WorkSummary work;
    bool clientStopped = false;  // a client_stopped alert is among them

    std::size_t count(AlertSeverity s) const noexcept;
};

// The alerts of `value` at `now` (its takenAt), going on from `previous`
// (null for the first evaluation: a one-shot reader such as the dump).
AlertsValue evaluateAlerts(const RefreshValue& value, const AlertThresholds& limits, const AlertMemory* previous);

// "3 running · 1 at risk · next completes 14:05", the moment in the date
// format given (see formatDaty); "nothing running" when nothing is.
std::string workSummaryText(const WorkSummary& work, const std::optional<std::string>& dateFormat);

}  // namespace crunchwatch
