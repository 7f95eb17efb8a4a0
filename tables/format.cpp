#include "tables/format.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <string_view>

namespace crunchwatch {

std::string formatFixed(double value, int decimals) {
    if (std::isnan(value)) return std::signbit(value) ? "-nan" : "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    // The largest double has 309 integer digits; a sign, a point and the
    // decimals fit with room to spare.
    std::array<char, 400> buf;
    const auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), value, std::chars_format::fixed, decimals);
    if (ec != std::errc{}) return {};
    return std::string(buf.data(), end);
}

std::string formatGrouped(double value) {
    std::string text = formatFixed(value, 2);
    if (!std::isfinite(value)) return text;
    const std::size_t digitsBegin = text[0] == '-' ? 1 : 0;
    const std::size_t point = text.find('.');
    const std::size_t intEnd = point == std::string::npos ? text.size() : point;
    static constexpr std::string_view narrowNoBreakSpace = "\u202F";
    for (std::size_t at = intEnd; at > digitsBegin + 3; at -= 3) text.insert(at - 3, narrowNoBreakSpace);
    return text;
}

}  // namespace crunchwatch
