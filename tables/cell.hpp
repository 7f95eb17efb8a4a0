#pragma once
// What a table cell holds: a text, a date value, or nothing (an empty cell);
// and what a column sorts its cells by.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace crunchwatch {

struct Cell {
    enum class Kind { Empty, Text, Date };

    Kind kind = Kind::Empty;
    std::string text;   // Text: the cell's text
    double moment = 0;  // Date: seconds since 1970 UTC, shown through the date format
    // The number behind the cell (a share, a fraction, a duration, a moment):
    // what a progress bar draws, a metric reports, a column sorts by.
    std::optional<double> value;

    static Cell empty() { return {}; }
    static Cell ofText(std::string t, std::optional<double> v = std::nullopt) { return {Kind::Text, std::move(t), 0, v}; }
    static Cell ofDate(double m) { return {Kind::Date, {}, m, m}; }
};

// The text a cell shows: its text, its moment through the date format (the
// default when absent), or nothing. A date that cannot be shown is empty.
std::optional<std::string> cellText(const Cell& cell, const std::optional<std::string>& formatDaty);

// What a column sorts by: nothing for an empty cell, a number (compared as
// numbers), or a text (compared in the user's collation). Numbers, durations
// and dates sort by value, never by the text they show. A text is a view:
// into the file's text, a literal, or the cell it was taken from.
struct SortValue {
    enum class Kind : std::uint8_t { None, Number, Text };

    Kind kind = Kind::None;
    double number = 0;
    std::string_view text;

    static SortValue none() { return {}; }
    static SortValue ofNumber(double n) { return {Kind::Number, n, {}}; }
    static SortValue ofText(std::string_view t) { return {Kind::Text, 0, t}; }
};

// A cell's own sort value: its number when it has one, else its text (a
// view of the cell's, valid while the cell lives).
SortValue sortValueOf(const Cell& cell);

}  // namespace crunchwatch
