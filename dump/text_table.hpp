#pragma once
// Aligned text tables for a terminal. A table wider than the terminal is
// printed as several narrower ones that each repeat the first (key) column.

#include <ostream>
#include <string>
#include <vector>

namespace crunchwatch {

struct TextTable {
    std::vector<std::string> titles;
    std::vector<std::vector<std::string>> rows;  // each as long as titles
};

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
