#pragma once
// What a table cell holds: a text, a date value, or nothing (an empty cell).

#include <optional>
#include <string>

namespace crunchwatch {

struct Cell {
    enum class Kind { Empty, Text, Date };

    Kind kind = Kind::Empty;
    std::string text;   // Text: the cell's text
    double moment = 0;  // Date: seconds since 1970 UTC, shown through the date format
    // The number behind the cell (a share, a fraction, a duration, a moment),
    // so that a view can sort by value rather than by text.
    std::optional<double> sortValue;

    static Cell empty() { return {}; }
    static Cell ofText(std::string t, std::optional<double> value = std::nullopt) {
        return {Kind::Text, std::move(t), 0, value};
    }
    static Cell ofDate(double m) { return {Kind::Date, {}, m, m}; }
};

// The text a cell shows: its text, its moment through the date format (the
// default when absent), or nothing. A date that cannot be shown is empty.
std::optional<std::string> cellText(const Cell& cell, const std::optional<std::string>& formatDaty);

}  // namespace crunchwatch
