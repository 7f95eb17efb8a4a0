#pragma once
// The dump's part of the computer and its disk: what the client knows of the
// host, how much of the time it could work, the bytes it moved per day, what
// its files take on disk against what it may use, and the preferences in
// force. Texts are the files' verbatim, null when absent; a figure the
// contract gives as a number is read from that text, null when it is none.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dump/exposition.hpp"
#include "dump/json_writer.hpp"
#include "dump/report.hpp"

namespace crunchwatch {

// Five members, always present:
//   "host": <host_info>'s values, the client's platform_name, client_version
//     and run modes (user_run_request, user_gpu_request,
//     user_network_request), "net_stats": {avg_up, avg_down}, "gpus": the
//     state file's GPUs {kind, type, count, name, memory, peak_flops,
//     driver_version, opencl_name, opencl_vendor, opencl_device_version,
//     opencl_driver_version}, "detected_gpus": coproc_info.xml's, each with
//     device_num too (null without the file), "gpu_warnings": its warnings;
//   "time_stats": {on_frac, connected_frac, cpu_and_network_available_frac,
//     active_frac, gpu_active_frac, client_start_time, total_duration,
//     total_active_duration, last_update};
//   "daily_xfers": [{when, up, down}] as numbers, in file order;
//   "disk": {projects: [{master_url, project_name, bytes, client_recorded}],
//     client_bytes, free_bytes, allowed_bytes, total_bytes, disk_bytes,
//     allowed_by (the limit that set allowed_bytes), complete (false when the
//     walk stopped at its limit; null before any walk), counted_at (seconds
//     since 1970), problems: [text]};
//   "effective_prefs": {name: {value, source: "override" or "global_prefs"}}
//     for each preference a file sets.
// `hostKey` names the first member ("host"; "host_info" where "host" names
// the host among several).
void writeHostJson(JsonWriter& json, const Report& report, std::string_view hostKey = "host");

// The lines under the Disk table: how the walk went, and the totals against
// what the client may use.
std::vector<std::string> diskSummaryLines(const Report& report);

// "CPU scheduling period (minutes): 60" as the status bar has it: the value
// in force, the override's named after it; "-" when neither file sets it.
std::string preferenceLine(const Report& report, std::string_view label, std::string_view name,
                           const std::optional<std::string>& webValue);

// The families of the host and its disk (see metrics_report.hpp), in order:
// crunchwatch_host_info, _host_cpus, _host_gpus, _time_fraction,
// _disk_usage_bytes, _disk_allowed_bytes, _disk_free_bytes. `projectLabels`
// gives for a place in projectInfo its series' labels, empty for a project
// whose series are left out (its labels repeat another's).
using ProjectLabels = std::function<std::string_view(std::size_t project)>;
void writeHostMetrics(ExpositionWriter& w, const Report& report, const ProjectLabels& projectLabels);

// The whole text as a number (a leading "+" and surrounding white space
// allowed), locale-independent; none for any other text or a value beyond
// the finite doubles.
std::optional<double> numberOfText(std::optional<std::string_view> text) noexcept;

}  // namespace crunchwatch
