#pragma once
// The results table's cells, computed from a row at the moment they are
// asked for. `now` is the current moment for the expected completion.

#include <string>
#include <string_view>

#include "tables/cell.hpp"
#include "tables/rows.hpp"

namespace crunchwatch {

// The state text of a row: "Downloading", "Waiting", "Paused", "running...",
// "Finished", "Sent", or the stored state (or scheduler state) text itself.
std::optional<std::string> stateText(const resultRow& row);

// The cell for a column identifier ("WUnit", "PName", "Version", "State",
// "Progress", "CPUTime", "ETR", "ETC"); any other identifier is the report
// deadline column.
Cell resultCell(const resultRow& row, std::string_view columnId, double now);

}  // namespace crunchwatch
