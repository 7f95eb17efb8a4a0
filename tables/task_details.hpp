#pragma once
// Everything the state file says about one task: its result's element, its
// workunit's and its active task's, found in the file's text around the
// row's own values (a row made by the results table carries that text), and
// named for people for the details panel. The few values the results table
// offers as extra columns (application, elapsed time, plan class, received)
// are read the same way.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tables/rows.hpp"

namespace crunchwatch {

// The elements in the file's text; nothing where the row has no text or the
// element is not there. The workunit is looked for in the project's block.
std::optional<std::string_view> resultElement(const resultRow& row);
std::optional<std::string_view> activeTaskElement(const resultRow& row);
std::optional<std::string_view> workunitElement(const resultRow& row);

// The application's name for people ("user_friendly_name"), else its name.
std::optional<std::string_view> applicationName(const resultRow& row);
// The time the task has run: its final elapsed time once finished, else the
// elapsed time at its last checkpoint (the slot's when newer).
std::optional<double> elapsedSeconds(const resultRow& row);

// The value of a top-level child of an element ("<plan_class>x</plan_class>");
// a flag ("<name/>") reads as its own name.
std::optional<std::string_view> childValue(std::string_view element, std::string_view name);

// What an exit status means, in words; nothing for 0 and codes without a name.
std::optional<std::string> exitStatusMeaning(std::int32_t code);

struct Detail {
    std::string label;  // empty for a heading line
    std::string value;
};

// The details panel's lines: the named values first, then every value of
// the result, the workunit and the active task under a heading each.
std::vector<Detail> taskDetails(const resultRow& row, double now, const std::optional<std::string>& dateFormat);

// The lines as plain text, one "label: value" per line, for the clipboard.
std::string detailsText(const std::vector<Detail>& details);

}  // namespace crunchwatch
