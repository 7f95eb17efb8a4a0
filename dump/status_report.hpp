#pragma once
// The dump's part of why nothing runs: whether a client runs on the data
// directory, what holds each project back, the file transfers the client
// keeps trying, and the running tasks' checkpoints that are newer than the
// state file. Values are the files' text verbatim, null when absent.

#include <string>

#include "dump/json_writer.hpp"
#include "dump/report.hpp"

namespace crunchwatch {

// Four members, always present:
//   "client": {running: true, false or null (null: cannot tell), pid: a
//     number or null, version, platform, run_mode, gpu_mode, network_mode}
//     (the modes are user_run_request, user_gpu_request, user_network_request);
//   "project_status": per project block, in file order, {project_name,
//     master_url, flags: [identifier, ...] in the order of projectFlagNames,
//     sched_rpc_pending, min_rpc_time, next_rpc_time, last_rpc_time,
//     nrpc_failures, master_fetch_failures, backoffs: [{name, time, interval}],
//     njobs_success, njobs_error, status: the Status column's text or null};
//   "transfers": in file order, {project_name, master_url, name, upload: true
//     or false, nbytes, bytes_done, num_retries, first_request_time,
//     next_request_time, time_so_far, error_msg}, where bytes_done is where the
//     Done column's figure comes from: the file's text, or the size in bytes
//     of a download's partial file;
//   "slot_progress": [{result, project_url, fraction_done,
//     checkpoint_cpu_time, checkpoint_elapsed_time}], by results row.
void writeStatusJson(JsonWriter& json, const Report& report, const ReportOptions& options);

// "Client: 8.2.6, running (process 1234)"; "not running" when the lock is
// free, "cannot tell" without a lock to ask; the version only when known.
std::string clientLine(const Report& report);

}  // namespace crunchwatch
