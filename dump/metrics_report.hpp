#pragma once
// One refresh as Prometheus metrics (text exposition format 0.0.4), for
// node_exporter's textfile collector and so for every host one Prometheus
// server watches. Every figure is the one the window shows, taken from the
// tables' own cells; a value the client's files do not hold gives no sample.
//
// Families, in the order written (labels in braces):
//   crunchwatch_state_file_readable{path}            gauge, 1 or 0
//   crunchwatch_state_file_modified_seconds{path}    gauge, seconds since 1970
//   crunchwatch_projects                             gauge
//   crunchwatch_credit{kind}                         gauge, summed over the projects
//   crunchwatch_client_running                       gauge, 1 or 0; none when nothing tells
//   crunchwatch_transfers{direction}                 gauge, upload and download, zeros too
//   crunchwatch_project_credit{project,url,kind}     gauge
//   crunchwatch_project_resource_share{project,url}  gauge
//   crunchwatch_project_resource_share_ratio{project,url}  gauge, 0..1
//   crunchwatch_tasks{project,url,state}             gauge, every state, zeros too
//   crunchwatch_project_deferred_until_seconds{project,url}  gauge, min_rpc_time
//   crunchwatch_project_flag{project,url,flag}       gauge, 1 per flag set
//   crunchwatch_project_statistics_*, _finished_tasks_*  where the client keeps history files
//   crunchwatch_event_log_error_lines_total{project}  counter, the event log's error lines
//     read in this run; project="" for the client's own (0 when none), no sample without a log
//   crunchwatch_alert{rule,severity,project,task}    gauge, 1 per alert active now; project=""
//     for the client's own, task="" for a project's or the client's
//   crunchwatch_host_info{os,os_version,cpu,cpu_vendor,platform,client_version}  gauge, 1
//   crunchwatch_host_cpus, crunchwatch_host_gpus{type}  gauge, GPUs summed per maker
//   crunchwatch_time_fraction{kind}                  gauge, 0..1; none while unmeasured (-1)
//   crunchwatch_disk_usage_bytes{project,url}        gauge, counted; project="",url="" the client's own
//   crunchwatch_disk_allowed_bytes, crunchwatch_disk_free_bytes  gauge
// and per task ({project,url,task}), only when asked for:
//   crunchwatch_task_progress_ratio, _cpu_seconds, _remaining_seconds,
//   _deadline_timestamp_seconds, _completion_timestamp_seconds,
//   _deadline_at_risk (1 when the expected completion lies after the deadline)
//   with crunchwatch_transfer_retries{project,url,file,direction} per transfer.
// `kind` is user_total, user_average, host_total or host_average.

#include <optional>
#include <ostream>
#include <string>

#include "dump/report.hpp"

namespace crunchwatch {

struct MetricsOptions {
    std::string stateFileAsGiven;             // the `path` label
    std::optional<double> stateFileModified;  // seconds since 1970; absent when unknown
    double now = 0;                           // the current moment, for the expected completion
    bool perTask = false;                     // also the families of every task
};

// `report` is null when the state file could not be read: then only the
// state file's two families are written, readable 0, so that a scrape sees
// the failure rather than the last good figures.
void writePrometheusReport(std::ostream& out, const Report* report, const MetricsOptions& options);

}  // namespace crunchwatch
