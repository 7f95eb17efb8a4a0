#include "tables/duration.hpp"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace crunchwatch {

std::optional<std::string> czasHMSzSekund(double s) {
    // Parts are computed in 64 bits, so the hour count of any duration below
    // this bound is exact and no conversion leaves its type's range.
    constexpr double limit = 1e15;
    if (!std::isfinite(s) || std::fabs(s) >= limit) return std::nullopt;
    const auto hours = static_cast<std::int64_t>(s / 3600.0);
    double rest = s - static_cast<double>(hours * 3600);
    const auto minutes = static_cast<std::int64_t>(rest / 60.0);
    rest = rest - static_cast<double>(minutes * 60);
    const auto seconds = static_cast<std::int64_t>(rest);
    char buf[64];
    const int n = std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", static_cast<long long>(hours),
                                static_cast<long long>(minutes), static_cast<long long>(seconds));
    return std::string(buf, static_cast<std::size_t>(n));
}

}  // namespace crunchwatch
