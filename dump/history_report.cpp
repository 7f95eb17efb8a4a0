#include "dump/history_report.hpp"

#include "dump/text_table.hpp"
#include "state/history_match.hpp"
#include "state/numbers.hpp"
#include "tables/date_value.hpp"
#include "tables/duration.hpp"
#include "tables/history_table.hpp"

namespace crunchwatch {
namespace {

std::optional<std::string_view> projectNameOf(std::optional<std::size_t> project, const ProjectInfo& projects) {
    if (!project || *project >= projects.size()) return std::nullopt;
    return projects[*project].values.get(Key::project_name);
}

// The day with the greatest <day> (the first of equal ones), or nothing.
const DailyStatistics* newestDay(const ProjectStatistics& s) {
    const DailyStatistics* newest = nullptr;
    for (const DailyStatistics& d : s.days)
        if (d.day && (!newest || readNumber(d.day) > readNumber(newest->day))) newest = &d;
    return newest;
}

}  // namespace

void writeHistoryJson(JsonWriter& json, const Report& report) {
    const HistoryValue& h = *report.history;
    const ProjectInfo& projects = report.snapshot->state.projectInfo;
    const HistoryMatch& match = h.match;
    json.key("statistics");
    json.beginArray();
    const auto& statistics = h.history.statisticsFiles();
    for (std::size_t i = 0; i < statistics.size(); ++i) {
        if (!statistics[i].statistics) continue;
        const ProjectStatistics& st = *statistics[i].statistics;
        json.beginObject();
        json.key("file");
        json.string(statistics[i].name);
        json.key("master_url");
        json.optionalString(st.master_url);
        json.key("project_name");
        json.optionalString(projectNameOf(match.statistics[i], projects));
        json.key("days");
        json.beginArray();
        for (const DailyStatistics& d : st.days) {
            json.beginObject();
            const std::pair<const char*, std::optional<std::string_view>> values[] = {
                {"day", d.day}, {"user_total_credit", d.user_total_credit}, {"user_expavg_credit", d.user_expavg_credit},
                {"host_total_credit", d.host_total_credit}, {"host_expavg_credit", d.host_expavg_credit}};
            for (const auto& [key, value] : values) {
                json.key(key);
                json.optionalString(value);
            }
            json.endObject();
        }
        json.endArray();
        json.endObject();
    }
    json.endArray();

    json.key("history");
    json.beginArray();
    const auto& logs = h.history.jobLogFiles();
    for (std::size_t i = 0; i < logs.size(); ++i) {
        if (!logs[i].read) continue;
        const JobLog& log = logs[i].log;
        json.beginObject();
        json.key("file");
        json.string(logs[i].name);
        json.key("project_name");
        json.optionalString(projectNameOf(match.jobLogs[i], projects));
        json.key("skipped_lines");
        json.integer(static_cast<long long>(log.skippedLines()));
        json.key("tasks");
        json.beginArray();
        for (std::size_t t = 0; t < log.size(); ++t) {
            json.beginObject();
            for (std::size_t f = 0; f < jobFieldCount; ++f) {
                json.key(jobFieldNames[f]);
                json.optionalString(log.field(t, static_cast<JobField>(f)));
            }
            json.endObject();
        }
        json.endArray();
        json.endObject();
    }
    json.endArray();
}

void writeHistoryText(std::ostream& out, const Report& report, const ReportOptions& o) {
    const HistoryValue& h = *report.history;
    const auto text = [](std::optional<std::string_view> v) { return validUtf8(v.value_or("")); };

    // Each file under its project's name, or its own name when no project matches it.
    TextTable statistics{{"Project", "Days", "Newest day", "User credit", "Host credit"}, {}};
    const auto& files = h.history.statisticsFiles();
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!files[i].statistics) continue;
        const DailyStatistics* d = newestDay(*files[i].statistics);
        statistics.rows.push_back({validUtf8(h.labels.statistics[i]),
                                   std::to_string(files[i].statistics->days.size()),
                                   d ? validUtf8(formatDaty(readNumber(d->day), o.dateFormat).value_or("")) : "",
                                   d ? text(d->user_total_credit) : "", d ? text(d->host_total_credit) : ""});
    }
    TextTable history{{"Project", "Tasks", "Failed", "Skipped lines", "CPU time", "Last finished"}, {}};
    const auto& logs = h.history.jobLogFiles();
    for (std::size_t i = 0; i < logs.size(); ++i) {
        if (!logs[i].read) continue;
        const JobLog& log = logs[i].log;
        std::size_t failed = 0;
        double last = 0;
        for (std::size_t t = 0; t < log.size(); ++t) {
            failed += isFailedExit(log.field(t, JobField::es)) ? 1 : 0;
            const double time = readNumber(log.field(t, JobField::time));
            if (t == 0 || time > last) last = time;
        }
        history.rows.push_back({validUtf8(h.labels.jobLogs[i]),
                                std::to_string(log.size()), std::to_string(failed), std::to_string(log.skippedLines()),
                                czasHMSzSekund(log.processorSeconds()).value_or(""),
                                log.size() ? validUtf8(formatDaty(last, o.dateFormat).value_or("")) : ""});
    }
    out << "\nStatistics\n\n";
    if (statistics.rows.empty()) out << "(no statistics files)\n";
    else printTextTable(out, statistics, o.width);
    out << "\nHistory\n\n";
    if (history.rows.empty()) out << "(no job logs)\n";
    else printTextTable(out, history, o.width);
}

}  // namespace crunchwatch
