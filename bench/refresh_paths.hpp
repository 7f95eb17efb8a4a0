#pragma once
// The three things the benchmark compares, each one whole pass over a state
// file as the window needs it: the floor (read the file, count its lines),
// ours (the monitor's own refresh), and the same tables through a DOM parser.

#include <cstddef>
#include <string>

#include "state/projects.hpp"
#include "tables/rows.hpp"

namespace crunchwatch::bench {

// A window of about forty rows shows the first forty result rows and every
// project row; these are the cells whose texts a refresh must produce.
inline constexpr std::size_t visibleResultRows = 40;
// The "now" of every completion estimate, so that runs compare.
inline constexpr double benchNow = 1796150000.0;

// Reads the whole file into memory and counts its line breaks with memchr.
// Returns the count, or -1 when the file cannot be read.
long long floorPass(const std::string& path);

// The texts of the visible cells; returns their total length.
std::size_t visibleCellTexts(const ProjectInfo& projects, const ResultRows& rows);

// One refresh as the window does it: its snapshot (read, normalise,
// sections, records, rows and totals), then the visible cell texts. Returns their
// total length, or 0 when the file cannot be read.
std::size_t oursRefresh(const std::string& path);

// The visible texts of every result row's cells and every project's, in
// order, for checking that two paths agree.
std::string allCellTexts(const ProjectInfo& projects, const ResultRows& rows);

}  // namespace crunchwatch::bench
