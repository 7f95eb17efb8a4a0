#include "tables/alerts_table.hpp"

#include <optional>
#include <string>

namespace crunchwatch {
namespace {

using Row = const Alert*;

SortValue textSort(std::string_view text) { return text.empty() ? SortValue::none() : SortValue::ofText(text); }
Cell textCell(const std::string& text) { return text.empty() ? Cell::empty() : Cell::ofText(text); }
Tone rowTone(const Row& a, double) { return alertTone(*a); }

std::optional<std::string> projectTip(const Row& a, double) {
    return a->projectUrl.empty() ? std::nullopt : std::optional<std::string>(a->projectUrl);
}

}  // namespace

std::string_view severityTitle(AlertSeverity s) { return s == AlertSeverity::error ? "Error" : "Warning"; }

Tone alertTone(const Alert& alert) { return alert.severity == AlertSeverity::error ? Tone::failed : Tone::atRisk; }

const std::array<TableColumn<const Alert*>, alertColumnCount> alertColumns{{
    tableColumn<Row>({"since", "Since", "When the trouble began"},
                     [](const Row& a, double) { return Cell::ofDate(a->since); },
                     [](const Row& a, double) { return SortValue::ofNumber(a->since); }),
    tableColumn<Row>({"rule", "Rule", "The rule that raised the alert"},
                     [](const Row& a, double) { return Cell::ofText(std::string(ruleTitle(a->rule))); },
                     [](const Row& a, double) { return SortValue::ofText(ruleTitle(a->rule)); },
                     // The identifier the dump, the metrics and the settings' keys name the rule by.
                     [](const Row& a, double) { return std::optional<std::string>(ruleId(a->rule)); }),
    tableColumn<Row>({"severity", "Severity", "An error needs you now; a warning soon"},
                     [](const Row& a, double) { return Cell::ofText(std::string(severityTitle(a->severity))); },
                     [](const Row& a, double) {
                         return SortValue::ofNumber(a->severity == AlertSeverity::error ? 1 : 0);
                     },
                     nullptr, &rowTone),
    tableColumn<Row>({"project", "Project", "The project it concerns; empty for the client's own"},
                     [](const Row& a, double) { return textCell(a->project); },
                     [](const Row& a, double) { return textSort(a->project); }, &projectTip),
    tableColumn<Row>({"task", "Task", "The task or file it concerns, if any"},
                     [](const Row& a, double) { return textCell(a->task); },
                     [](const Row& a, double) { return textSort(a->task); }),
    tableColumn<Row>({"text", "Text", "What is wrong"}, [](const Row& a, double) { return textCell(a->text); },
                     [](const Row& a, double) { return textSort(a->text); }, nullptr, &rowTone),
}};

}  // namespace crunchwatch
