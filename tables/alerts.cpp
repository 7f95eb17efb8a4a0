#include "tables/alerts.hpp"

#include <algorithm>

#include "tables/date_value.hpp"
#include "tables/refresh_value.hpp"

namespace crunchwatch {

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

AlertsValue evaluateAlerts(const RefreshValue&, const AlertThresholds&, const AlertMemory*) { return {}; }

}  // namespace crunchwatch
