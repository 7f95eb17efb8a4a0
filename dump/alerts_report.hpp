#pragma once
// The dump's part of the alerts: what needs the user in this one refresh, by
// the fixed rules the window notifies by. The dump keeps nothing from run to
// run, so an alert's moment is the one the files tell, else the dump's own.

#include <ostream>

#include "dump/exposition.hpp"
#include "dump/json_writer.hpp"
#include "dump/report.hpp"

namespace crunchwatch {

// `value` with its alerts evaluated afresh at `now` (the thresholds'
// defaults, nothing remembered): the moment a run was asked to report at
// (--now) rules the deadlines and ages as it rules the completion times.
RefreshValuePtr withAlertsAt(const RefreshValuePtr& value, double now);

// One member, always present:
//   "alerts": newest first, [{rule: its identifier, severity: "warning" or
//     "error", project: the project's name (null for the client's own),
//     project_url (only for a project's alert), task: the task's or the
//     file's name (null when none), since: seconds since 1970, text}].
void writeAlertsJson(JsonWriter& json, const Report& report);

// An "Alerts" section: one line per alert (severity, the rule's title,
// project, task, text, "since" its date), "none" when none; control
// characters shown as U+FFFD.
void writeAlertsText(std::ostream& out, const Report& report, const ReportOptions& options);

// crunchwatch_alert{rule,severity,project,task} 1 per active alert; a
// second alert with the same labels (two projects of one name) is one
// series, as Prometheus refuses a series repeated in one scrape.
void writeAlertMetrics(ExpositionWriter& w, const Report& report);

}  // namespace crunchwatch
