#include "dump/report.hpp"

#include "dump/history_report.hpp"
#include "dump/json_writer.hpp"
#include "dump/text_table.hpp"
#include "state/paths.hpp"
#include "tables/columns.hpp"
#include "tables/format.hpp"
#include "tables/projects_cells.hpp"
#include "tables/results_cells.hpp"

namespace crunchwatch {
namespace {

std::optional<std::string_view> viewOf(const std::optional<std::string>& s) {
    return s ? std::optional<std::string_view>(*s) : std::nullopt;
}

void beginRecordObject(JsonWriter& json, const Record& record) {
    json.beginObject();
    for (const Entry& e : record.entries()) {
        json.key(e.key);
        json.string(e.value);
    }
}

}  // namespace

std::optional<Snapshot> takeSnapshot(const std::string& absolutePath) {
    ReadFailure ignored{};
    return takeSnapshot(absolutePath, ignored);
}

std::optional<Snapshot> takeSnapshot(const std::string& absolutePath, ReadFailure& why) {
    auto state = loadClientState(absolutePath, why);
    if (!state) return std::nullopt;
    Snapshot s{std::move(*state), {}, {}, {}};
    s.rows = buildResultRows(s.state.projectInfo);
    if (const auto body = przygotujGlobalPrefs(globalPrefsPathOf(absolutePath))) s.prefs = wyciagamyDaneGlobalPrefs(*body);
    s.history.refresh(rootDirOf(absolutePath));
    return s;
}

void writeJsonReport(std::ostream& out, const Snapshot& s, const ReportOptions& o) {
    JsonWriter json(out);
    json.beginObject();
    json.key("state_file");
    json.string(o.stateFileAsGiven);

    json.key("records");
    json.beginArray();
    for (const projectRecord& p : s.state.projectInfo) {
        beginRecordObject(json, p.values);
        json.key("result");
        json.beginArray();
        for (const resultRecord& r : p.result) {
            beginRecordObject(json, r);
            json.endObject();
        }
        json.endArray();
        json.endObject();
    }
    json.endArray();

    json.key("rows");
    json.beginArray();
    for (const resultRow& row : s.rows.main_result_table) {
        json.beginObject();
        row.forEachEntry([&](std::string_view k, std::string_view v) {
            json.key(k);
            json.string(v);
        });
        json.endObject();
    }
    json.endArray();

    json.key("results");
    json.beginArray();
    for (const resultRow& row : s.rows.main_result_table) {
        json.beginObject();
        for (const Column& c : resultColumns) {
            json.key(c.id);
            json.optionalString(viewOf(cellText(resultCell(row, c.id, o.now), o.dateFormat)));
        }
        json.endObject();
    }
    json.endArray();

    json.key("projects");
    json.beginArray();
    for (const projectRecord& p : s.state.projectInfo) {
        json.beginObject();
        for (const Column& c : projectColumns) {
            json.key(c.id);
            json.optionalString(viewOf(cellText(projectCell(p, c.id), o.dateFormat)));
        }
        json.endObject();
    }
    json.endArray();

    // The counters start at 0 and a cycle that finds no projects leaves them.
    const bool counted = !s.state.projectInfo.empty();
    json.key("number_of_projects");
    json.integer(static_cast<long long>(s.state.projectInfo.size()));
    json.key("total_credit");
    json.number(counted ? s.rows.totalCredit : 0.0);

    json.key("global_prefs");
    json.beginObject();
    json.key("cpu_scheduling_period_minutes");
    json.optionalString(viewOf(s.prefs.cpu_scheduling_period_minutes));
    json.key("disk_interval");
    json.optionalString(viewOf(s.prefs.disk_interval));
    json.endObject();
    writeHistoryJson(json, s);
    json.endObject();
    out << '\n';
}

void writeTextReport(std::ostream& out, const Snapshot& s, const ReportOptions& o) {
    TextTable results;
    for (const Column& c : resultColumns) results.titles.emplace_back(c.title);
    for (const resultRow& row : s.rows.main_result_table) {
        auto& cells = results.rows.emplace_back();
        for (const Column& c : resultColumns)
            cells.push_back(validUtf8(cellText(resultCell(row, c.id, o.now), o.dateFormat).value_or("")));
    }
    TextTable projects;
    for (const Column& c : projectColumns) projects.titles.emplace_back(c.title);
    for (const projectRecord& p : s.state.projectInfo) {
        auto& cells = projects.rows.emplace_back();
        for (const Column& c : projectColumns)
            cells.push_back(validUtf8(cellText(projectCell(p, c.id), o.dateFormat).value_or("")));
    }

    out << "State file: " << validUtf8(o.stateFileAsGiven) << "\n\nResults\n\n";
    printTextTable(out, results, o.width);
    out << "\nProjects\n\n";
    printTextTable(out, projects, o.width);
    const bool counted = !s.state.projectInfo.empty();
    out << "\nNumber of projects: " << s.state.projectInfo.size() << '\n'
        << "Total credit: " << formatFixed(counted ? s.rows.totalCredit : 0.0, 2) << '\n'
        << "CPU scheduling period (minutes): " << validUtf8(s.prefs.cpu_scheduling_period_minutes.value_or("-")) << '\n'
        << "Disk interval: " << validUtf8(s.prefs.disk_interval.value_or("-")) << '\n';
    writeHistoryText(out, s, o);
}

}  // namespace crunchwatch
