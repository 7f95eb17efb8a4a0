#pragma once
// The Alerts tab's rows and columns: one row per alert active in a refresh
// value, as evaluateAlerts made them (newest first). The rows are the alerts
// themselves, by address: they live in the value's AlertsValue, as long as
// the value. An error's severity and text take the failed tone, a warning's
// the at-risk tone, as a failed or late task's do in the results table.

#include <array>
#include <cstddef>
#include <string_view>

#include "tables/alerts.hpp"
#include "tables/columns.hpp"

namespace crunchwatch {

// For people: "Error", "Warning".
std::string_view severityTitle(AlertSeverity s);
// The tone an alert's row stands out in.
Tone alertTone(const Alert& alert);

enum class AlertColumn : std::size_t { since, rule, severity, project, task, text };
inline constexpr std::size_t alertColumnCount = 6;
extern const std::array<TableColumn<const Alert*>, alertColumnCount> alertColumns;
constexpr int indexOf(AlertColumn c) { return static_cast<int>(c); }

}  // namespace crunchwatch
