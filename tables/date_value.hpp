#pragma once
// Moments shown as dates: seconds since 1970-01-01 00:00:00 UTC, rendered in
// the local time zone through the user's strftime-style format.

#include <optional>
#include <string>

namespace crunchwatch {

// The format used when the user has set none: the locale's date and time.
inline constexpr const char* defaultDateFormat = "%x %X";

// Longest text a date cell shows; a format that would write more is cut there.
inline constexpr std::size_t maxDateTextLength = 256;

// The current moment, in seconds since 1970: what "Completes" counts from.
double nowSeconds();

// The moment, floored to the whole second, in the local time zone through
// `format` (the default when absent). Nothing when the moment is not finite or
// lies outside what the calendar conversion can represent.
std::optional<std::string> formatDaty(double moment, const std::optional<std::string>& format);

}  // namespace crunchwatch
