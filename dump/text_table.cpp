#include "dump/text_table.hpp"

#include <algorithm>

namespace crunchwatch {
namespace {

constexpr std::size_t gap = 2;

// Appends text cut to `width` columns (the cut marked with "~"); returns the
// columns it took.
std::size_t appendFitted(std::string& line, const std::string& text, std::size_t width) {
    const std::size_t columns = displayWidth(text);
    if (columns <= width) {
        line += text;
        return columns;
    }
    std::size_t i = 0;
    for (std::size_t taken = 0; i < text.size() && taken + 1 < width; ++taken) {
        ++i;
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
    }
    line.append(text, 0, i);
    line += '~';
    return width;
}

// `line` is the caller's buffer, reused from line to line.
void printLine(std::ostream& out, std::string& line, const std::vector<std::string>& cells,
               const std::vector<std::size_t>& columns, const std::vector<std::size_t>& widths) {
    line.clear();
    for (std::size_t k = 0; k < columns.size(); ++k) {
        const std::size_t width = widths[columns[k]];
        const std::size_t taken = appendFitted(line, cells[columns[k]], width);
        if (k + 1 < columns.size()) line.append(width - taken + gap, ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    line += '\n';
    out.write(line.data(), static_cast<std::streamsize>(line.size()));
}

}  // namespace

std::size_t displayWidth(const std::string& text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

void printTextTable(std::ostream& out, const TextTableSource& table, std::size_t width) {
    const std::size_t n = table.titles.size();
    if (n == 0) return;
    std::vector<std::size_t> all(n);
    for (std::size_t c = 0; c < n; ++c) all[c] = c;
    std::vector<std::size_t> widths(n);
    for (std::size_t c = 0; c < n; ++c) widths[c] = displayWidth(table.titles[c]);
    std::vector<std::string> cells(n);
    for (std::size_t r = 0; r < table.rows; ++r) {
        table.fill(r, all, cells);
        for (std::size_t c = 0; c < n; ++c) widths[c] = std::max(widths[c], displayWidth(cells[c]));
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
    std::vector<std::string> rule(n);
    for (std::size_t c = 0; c < n; ++c) rule[c] = std::string(widths[c], '-');
    std::string line;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        if (g > 0) out << '\n';
        printLine(out, line, table.titles, groups[g], widths);
        printLine(out, line, rule, groups[g], widths);
        for (std::size_t r = 0; r < table.rows; ++r) {
            table.fill(r, groups[g], cells);
            printLine(out, line, cells, groups[g], widths);
        }
    }
}

void printTextTable(std::ostream& out, const TextTable& table, std::size_t width) {
    printTextTable(out,
                   {table.titles, table.rows.size(),
                    [&table](std::size_t row, std::span<const std::size_t> columns, std::vector<std::string>& cells) {
                        for (const std::size_t c : columns) cells[c] = table.rows[row][c];
                    }},
                   width);
}

void printGroupedLines(std::ostream& out, const TextTable& table, std::size_t width) {
    constexpr std::size_t indent = 2;
    std::size_t nameWidth = 0;
    for (const auto& row : table.rows)
        if (row.size() >= 3) nameWidth = std::max(nameWidth, displayWidth(row[1]));
    nameWidth = std::min(nameWidth, width / 2);
    const std::string* group = nullptr;
    std::string line;
    for (const auto& row : table.rows) {
        if (row.size() < 3) continue;
        if (!group || *group != row[0]) {
            if (group) out << '\n';
            group = &row[0];
            out << std::string(indent, ' ') << row[0] << '\n';
        }
        line.assign(2 * indent, ' ');
        const std::size_t taken = appendFitted(line, row[1], nameWidth);
        line.append(nameWidth - taken + gap, ' ');
        line += row[2];
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out << line << '\n';
    }
}

}  // namespace crunchwatch
