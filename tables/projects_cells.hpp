#pragma once
// The projects table's cells: one row per project record.

#include <string_view>

#include "state/projects.hpp"
#include "tables/cell.hpp"

namespace crunchwatch {

// The cell for one of the projects table's identifiers; any other identifier
// gives an empty cell. Credits show exactly as stored; the three times are
// dates (an absent time reads as 0, the start of 1970).
Cell projectCell(const projectRecord& project, std::string_view columnId);

}  // namespace crunchwatch
