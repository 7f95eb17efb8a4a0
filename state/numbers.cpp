#include "state/numbers.hpp"

#include <charconv>
#include <limits>
#include <system_error>

namespace crunchwatch {
namespace {

bool isDigit(char c) noexcept { return c >= '0' && c <= '9'; }
bool isBlank(char c) noexcept { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Skips leading blanks and a sign; returns true for a minus.
bool skipBlanksAndSign(const char*& p, const char* end) noexcept {
    while (p < end && isBlank(*p)) ++p;
    if (p < end && (*p == '+' || *p == '-')) return *p++ == '-';
    return false;
}

// from_chars reports a value it cannot represent as out of range without
// saying which way; the exponent's sign (or a non-zero integer part) tells.
bool overflowsUpwards(const char* p, const char* end) noexcept {
    bool nonZeroIntegerPart = false;
    for (; p < end && *p != '.' && *p != 'e' && *p != 'E'; ++p)
        if (*p != '0') nonZeroIntegerPart = true;
    while (p < end && *p != 'e' && *p != 'E') ++p;
    if (p == end) return nonZeroIntegerPart;
    ++p;
    return !(p < end && *p == '-');
}

}  // namespace

double readNumber(std::optional<std::string_view> text) noexcept {
    if (!text) return 0.0;
    const char* p = text->data();
    const char* const end = p + text->size();
    const bool negative = skipBlanksAndSign(p, end);
    // Only a digit, or a point before a digit, begins a number: "inf", "nan"
    // and hexadecimal forms are not decimal numbers.
    if (p == end || !(isDigit(*p) || (*p == '.' && p + 1 < end && isDigit(p[1])))) return 0.0;
    double value = 0.0;
    const auto [last, ec] = std::from_chars(p, end, value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range)
        value = overflowsUpwards(p, last) ? std::numeric_limits<double>::infinity() : 0.0;
    else if (ec != std::errc{})
        return 0.0;
    return negative ? -value : value;
}

std::int32_t readInteger(std::optional<std::string_view> text) noexcept {
    if (!text) return 0;
    const char* p = text->data();
    const char* const end = p + text->size();
    const bool negative = skipBlanksAndSign(p, end);
    std::uint64_t magnitude = 0;
    const auto [last, ec] = std::from_chars(p, end, magnitude, 10);
    if (ec == std::errc::invalid_argument) return 0;
    constexpr std::uint64_t maxPositive = std::numeric_limits<std::int32_t>::max();
    if (ec == std::errc::result_out_of_range || magnitude > maxPositive + 1)
        return negative ? std::numeric_limits<std::int32_t>::min() : std::numeric_limits<std::int32_t>::max();
    if (negative) return static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude));
    return magnitude > maxPositive ? std::numeric_limits<std::int32_t>::max() : static_cast<std::int32_t>(magnitude);
}

}  // namespace crunchwatch
