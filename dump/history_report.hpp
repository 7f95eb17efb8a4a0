#pragma once
// The dump's part of the history: the "statistics" and "history" members of
// the JSON report, and two short sections of the text report.

#include <ostream>

#include "dump/json_writer.hpp"
#include "dump/report.hpp"

namespace crunchwatch {

// "statistics": one object per statistics file read, in byte order of the
// file names, {file, master_url, project_name, days: [{day, user_total_credit,
// user_expavg_credit, host_total_credit, host_expavg_credit}]}; "history": one
// per job log read, {file, project_name, skipped_lines, tasks: [{time, ue, ct,
// fe, nm, et, es}]} in file order. Values verbatim, null when absent.
void writeHistoryJson(JsonWriter& json, const Report& report);

// Per statistics file its newest day; per job log its tasks, failures and
// processor time.
void writeHistoryText(std::ostream& out, const Report& report, const ReportOptions& options);

}  // namespace crunchwatch
