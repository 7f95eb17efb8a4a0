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

// Number of code points in UTF-8 text: a terminal column each, near enough.
std::size_t displayWidth(const std::string& text);

}  // namespace crunchwatch
