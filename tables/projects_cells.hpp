#pragma once
// The projects table's cells: one row per project record.

#include <optional>
#include <string_view>

#include "state/projects.hpp"
#include "tables/cell.hpp"
#include "tables/columns.hpp"

namespace crunchwatch {

// The cell of a column (its table's own function). Credits show exactly as
// stored; the three times are dates (an absent time reads as 0, the start of
// 1970); the share has two decimals.
inline Cell projectCell(const projectRecord& project, ProjectColumn column) { return columnOf(column).cell(project, 0); }

// The column of an identifier, which is the project record's key it shows
// (or "status"); nothing for any other identifier.
std::optional<ProjectColumn> projectColumnOf(std::string_view columnId);
// The cell for a column identifier, as the table's data source is asked for
// it: an empty cell for an identifier outside the table.
inline Cell projectCell(const projectRecord& project, std::string_view columnId) {
    const auto column = projectColumnOf(columnId);
    return column ? projectCell(project, *column) : Cell::empty();
}

}  // namespace crunchwatch
