#include "dump/alerts_report.hpp"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "dump/text_table.hpp"
#include "dump/words_report.hpp"
#include "tables/date_value.hpp"

namespace crunchwatch {
namespace {

const std::vector<Alert>& alertsOf(const Report& report) {
    static const std::vector<Alert> none;
    return report.alerts ? report.alerts->alerts : none;
}

// The project for people; its URL where it has no name.
std::string_view projectOf(const Alert& a) { return a.project.empty() ? a.projectUrl : a.project; }

void optionalMember(JsonWriter& json, std::string_view key, std::string_view value) {
    json.key(key);
    if (value.empty()) json.null();
    else json.string(value);
}

// One line on a terminal: what would start another becomes a space.
std::string oneLine(std::string_view text) {
    std::string line = forTerminal(text);
    std::replace_if(line.begin(), line.end(), [](char c) { return c == '\n' || c == '\t'; }, ' ');
    return line;
}

}  // namespace

RefreshValuePtr withAlertsAt(const RefreshValuePtr& value, double now) {
    RefreshValue v = *value;
    v.takenAt = now;
    v.alerts = std::make_shared<const AlertsValue>(evaluateAlerts(v, AlertThresholds{}, nullptr));
    return std::make_shared<const RefreshValue>(std::move(v));
}

void writeAlertsJson(JsonWriter& json, const Report& report) {
    json.key("alerts");
    json.beginArray();
    for (const Alert& a : alertsOf(report)) {
        json.beginObject();
        json.key("rule");
        json.string(ruleId(a.rule));
        json.key("severity");
        json.string(severityName(a.severity));
        optionalMember(json, "project", projectOf(a));
        if (!a.projectUrl.empty()) optionalMember(json, "project_url", a.projectUrl);
        optionalMember(json, "task", a.task);
        json.key("since");
        json.wholeNumber(a.since);
        json.key("text");
        json.string(a.text);
        json.endObject();
    }
    json.endArray();
}

void writeAlertsText(std::ostream& out, const Report& report, const ReportOptions& o) {
    out << "\nAlerts\n\n";
    const std::vector<Alert>& alerts = alertsOf(report);
    if (alerts.empty()) {
        out << "none\n";
        return;
    }
    // Severity, rule, project and task aligned; the text and the moment follow.
    std::vector<std::array<std::string, 4>> heads;
    std::array<std::size_t, 4> widths{};
    for (const Alert& a : alerts) {
        const std::string_view project = projectOf(a);
        auto& cells = heads.emplace_back(std::array<std::string, 4>{
            std::string(severityName(a.severity)), std::string(ruleTitle(a.rule)),
            project.empty() ? "-" : oneLine(project), a.task.empty() ? "-" : oneLine(a.task)});
        for (std::size_t c = 0; c < cells.size(); ++c) widths[c] = std::max(widths[c], displayWidth(cells[c]));
    }
    for (std::size_t i = 0; i < alerts.size(); ++i) {
        std::string line;
        for (std::size_t c = 0; c < widths.size(); ++c) {
            line += heads[i][c];
            line.append(widths[c] - displayWidth(heads[i][c]) + 2, ' ');
        }
        line += oneLine(alerts[i].text);
        if (const auto since = formatDaty(alerts[i].since, o.dateFormat)) line += "  since " + oneLine(*since);
        out << line << '\n';
    }
}

void writeAlertMetrics(ExpositionWriter& w, const Report& report) {
    constexpr std::string_view name = "crunchwatch_alert";
    w.family(name, MetricType::Gauge,
             "1 for each alert active now, by rule, severity, project (\"\" for the client's own) and task or file.");
    std::unordered_set<std::string> seen;
    for (const Alert& a : alertsOf(report)) {
        std::string labels = labelText({{"rule", ruleId(a.rule)},
                                        {"severity", severityName(a.severity)},
                                        {"project", projectOf(a)},
                                        {"task", a.task}});
        if (seen.insert(labels).second) w.sample(name, labels, 1);
    }
}

}  // namespace crunchwatch
