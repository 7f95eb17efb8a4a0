#include "tables/format.hpp"

#include <array>
#include <charconv>
#include <cmath>

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

}  // namespace crunchwatch
