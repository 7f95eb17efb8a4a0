#include "dump/text_table.hpp"

#include <algorithm>

namespace crunchwatch {
namespace {

constexpr std::size_t gap = 2;

// Cuts text to `width` columns, marking the cut with "~".
std::string fitted(const std::string& text, std::size_t width) {
    if (displayWidth(text) <= width) return text;
    std::string out;
    std::size_t columns = 0;
    for (std::size_t i = 0; i < text.size() && columns + 1 < width; ++columns) {
        std::size_t n = 1;
        while (i + n < text.size() && (static_cast<unsigned char>(text[i + n]) & 0xC0) == 0x80) ++n;
        out.append(text, i, n);
        i += n;
    }
    return out + "~";
}

void printLine(std::ostream& out, const std::vector<std::string>& cells, const std::vector<std::size_t>& columns,
               const std::vector<std::size_t>& widths) {
    std::string line;
    for (std::size_t k = 0; k < columns.size(); ++k) {
        const std::string cell = fitted(cells[columns[k]], widths[columns[k]]);
        line += cell;
        if (k + 1 < columns.size()) line.append(widths[columns[k]] - displayWidth(cell) + gap, ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out << line << '\n';
}

}  // namespace

std::size_t displayWidth(const std::string& text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

void printTextTable(std::ostream& out, const TextTable& table, std::size_t width) {
    const std::size_t n = table.titles.size();
    if (n == 0) return;
    std::vector<std::size_t> widths(n);
    for (std::size_t c = 0; c < n; ++c) {
        widths[c] = displayWidth(table.titles[c]);
        for (const auto& row : table.rows) widths[c] = std::max(widths[c], displayWidth(row[c]));
    }
    // The key column may take at most a third of the line.
    widths[0] = std::min(widths[0], std::max<std::size_t>(width / 3, displayWidth(table.titles[0])));

    // Pack the other columns into groups that fit beside the key column.
    std::vector<std::vector<std::size_t>> groups{{0}};
    std::size_t used = widths[0];
    for (std::size_t c = 1; c < n; ++c) {
        if (groups.back().size() > 1 && used + gap + widths[c] > width) {
            groups.push_back({0});
            used = widths[0];
        }
        groups.back().push_back(c);
        used += gap + widths[c];
    }
    for (std::size_t g = 0; g < groups.size(); ++g) {
        if (g > 0) out << '\n';
        printLine(out, table.titles, groups[g], widths);
        std::vector<std::string> rule(n);
        for (std::size_t c = 0; c < n; ++c) rule[c] = std::string(widths[c], '-');
        printLine(out, rule, groups[g], widths);
        for (const auto& row : table.rows) printLine(out, row, groups[g], widths);
    }
}

}  // namespace crunchwatch
