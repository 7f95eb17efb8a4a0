#pragma once
// Durations as hours:minutes:seconds.

#include <optional>
#include <string>

namespace crunchwatch {

// czasHMSzSekund ("time h:m:s from seconds"): "%02d:%02d:%02d" of the hours,
// minutes and seconds, each truncated toward zero, so a negative duration has
// negative parts (-90 -> "00:-1:-30"). Hours are not reduced modulo 24.
// Nothing for a non-finite duration or one beyond about 31 million years,
// where the parts no longer fit exactly in 64-bit integers.
std::optional<std::string> czasHMSzSekund(double seconds);

}  // namespace crunchwatch
