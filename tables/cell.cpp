#include "tables/cell.hpp"

#include "tables/date_value.hpp"

namespace crunchwatch {

std::optional<std::string> cellText(const Cell& cell, const std::optional<std::string>& format) {
    switch (cell.kind) {
        case Cell::Kind::Text: return cell.text;
        case Cell::Kind::Date: return formatDaty(cell.moment, format);
        case Cell::Kind::Empty: break;
    }
    return std::nullopt;
}

SortValue sortValueOf(const Cell& cell) {
    if (cell.kind == Cell::Kind::Empty) return SortValue::none();
    if (cell.value) return SortValue::ofNumber(*cell.value);
    return SortValue::ofText(cell.text);
}

}  // namespace crunchwatch
