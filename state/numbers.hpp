#pragma once
// Reading numbers from stored text, on demand. A value stays text until a
// computation or a display needs its number.
//
// The number of a text is its leading decimal number: optional leading white
// space, a sign, digits, a decimal point, an exponent. A text without one, and
// an absent value, read as 0. The decimal separator is always a point: the
// reading never depends on the process locale, which Qt sets from the user's
// environment.

#include <cstdint>
#include <optional>
#include <string_view>

namespace crunchwatch {

// The leading decimal number; a magnitude beyond the double range reads as an
// infinity of its sign, one below it as zero.
double readNumber(std::optional<std::string_view> text) noexcept;

// The leading decimal integer (digits only: "2.9" reads as 2), clamped to the
// 32-bit range so that a huge value never wraps round to a small one.
std::int32_t readInteger(std::optional<std::string_view> text) noexcept;

}  // namespace crunchwatch
