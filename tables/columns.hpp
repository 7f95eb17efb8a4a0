#pragma once
// The tables' columns. Each table is an array indexed by its column enum:
// per column its identifier (what a cell is asked for by, and the key its
// layout is saved under), title, tooltip, the cell it shows for a row, the
// value it sorts by, and, where the column has them, the cell's own
// explanation (its tooltip) and its tone (a mark or a colour). The window,
// the headless dump, the benchmarks and the fuzzers all read the same tables.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "state/projects.hpp"
#include "tables/cell.hpp"
#include "tables/rows.hpp"

namespace crunchwatch {

struct Column {
    std::string_view id;
    std::string_view title;
    std::string_view tooltip;
};

// How a cell stands out. The first four are marks beside a task's state;
// the others colour the cell's text.
enum class Tone : std::uint8_t { plain, running, downloading, done, paused, late, atRisk, failed };

// `now` is the current moment, for the columns that count from it.
template <class Row>
struct TableColumn : Column {
    Cell (*cell)(const Row& row, double now);
    SortValue (*sortValue)(const Row& row, double now);
    // Null where the column has none.
    std::optional<std::string> (*explanation)(const Row& row, double now);
    Tone (*tone)(const Row& row, double now);
};

template <class Row>
constexpr TableColumn<Row> tableColumn(Column c, Cell (*cell)(const Row&, double),
                                       SortValue (*sortValue)(const Row&, double),
                                       std::optional<std::string> (*explanation)(const Row&, double) = nullptr,
                                       Tone (*tone)(const Row&, double) = nullptr) {
    return {c, cell, sortValue, explanation, tone};
}

// The first nine are the table's own and always shown; the rest are offered
// hidden, to be shown from the header's menu.
enum class ResultColumn : std::size_t {
    WUnit, PName, Version, State, Progress, CPUTime, ETR, ETC, Deadline,
    Application, Elapsed, PlanClass, Received,
};
inline constexpr std::size_t resultColumnCount = 13;
inline constexpr std::size_t resultColumnsShown = 9;

// Named after the project record's own keys, which are their identifiers.
enum class ProjectColumn : std::size_t {
    project_name,
    user_total_credit,
    user_expavg_credit,
    user_create_time,
    host_total_credit,
    host_expavg_credit,
    host_create_time,
    exp_avg_mod_time,
    min_rpc_time,
    resource_share,
    app_name,
    status,  // the project's scheduling state in words, after the record's own columns
};
inline constexpr std::size_t projectColumnCount = 12;

// Defined with their cells (results_cells.cpp, projects_cells.cpp).
extern const std::array<TableColumn<resultRow>, resultColumnCount> resultColumns;
extern const std::array<TableColumn<projectRecord>, projectColumnCount> projectColumns;

inline const TableColumn<resultRow>& columnOf(ResultColumn c) { return resultColumns[static_cast<std::size_t>(c)]; }
inline const TableColumn<projectRecord>& columnOf(ProjectColumn c) {
    return projectColumns[static_cast<std::size_t>(c)];
}
// A column's position in its table (and in its view's model).
constexpr int indexOf(ResultColumn c) { return static_cast<int>(c); }
constexpr int indexOf(ProjectColumn c) { return static_cast<int>(c); }

}  // namespace crunchwatch
