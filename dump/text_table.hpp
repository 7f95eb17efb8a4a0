#pragma once
// Aligned text tables for a terminal. A table wider than the terminal is
// printed as several narrower ones that each repeat the first (key) column.

#include <cstddef>
#include <functional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

namespace crunchwatch {

struct TextTable {
    std::vector<std::string> titles;
    std::vector<std::vector<std::string>> rows;  // each as long as titles
};

// A table whose cells are made as they are printed, so that a table of a
// million rows never holds more than one: `fill(row, columns, cells)` sets
// `cells[c]` for each column c asked (cells is as long as titles). Every row
// is asked for once for the columns' widths, then again for each group of
// columns printed, so a cell must come out the same each time.
struct TextTableSource {
    using Fill = std::function<void(std::size_t row, std::span<const std::size_t> columns,
                                    std::vector<std::string>& cells)>;
    std::vector<std::string> titles;
    std::size_t rows = 0;
    Fill fill;
};

void printTextTable(std::ostream& out, const TextTableSource& table, std::size_t width);
void printTextTable(std::ostream& out, const TextTable& table, std::size_t width);

// Rows of three cells, a group, a name and a value, printed as each group's
// title on a line of its own (indented, to stand apart from a section's
// title) with its names and values aligned and indented beneath it,
// a name cut to half of `width`: a long list of values reads better so
// than as a table of repeated group names.
void printGroupedLines(std::ostream& out, const TextTable& table, std::size_t width);

// Number of code points in UTF-8 text: a terminal column each, near enough.
std::size_t displayWidth(const std::string& text);

}  // namespace crunchwatch
