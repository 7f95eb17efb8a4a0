#include "tables/duration.hpp"

#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace crunchwatch {
namespace {

struct DurationCase {
    double seconds;
    std::optional<std::string> text;
};

TEST(CzasHMSzSekund, PartsAreTruncatedTowardZero) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const DurationCase cases[] = {
        {0, "00:00:00"},
        {-0.0, "00:00:00"},
        {0.999, "00:00:00"},
        {-0.5, "00:00:00"},
        {59.9, "00:00:59"},
        {3599.99, "00:59:59"},
        {3600, "01:00:00"},
        {3725.9, "01:02:05"},
        {45296.7, "12:34:56"},
        // Hours are not reduced modulo 24 and take the digits they need.
        {86400, "24:00:00"},
        {360000, "100:00:00"},
        // Negative durations have negative parts.
        {-90, "00:-1:-30"},
        {-3725, "-1:-2:-5"},
        // Beyond the 32-bit range of the hour product: computed in 64 bits.
        {2147483648.0, "596523:14:08"},
        {-2147483648.0, "-596523:-14:-8"},
        {4294967296.0 * 3600.0 + 61, "4294967296:01:01"},
        {999999999999999.0, "277777777777:46:39"},
        // Nothing for what has no exact hour count.
        {1e15, std::nullopt},
        {-1e15, std::nullopt},
        {1e300, std::nullopt},
        {-1e300, std::nullopt},
        {nan, std::nullopt},
        {-nan, std::nullopt},
        {inf, std::nullopt},
        {-inf, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(czasHMSzSekund(c.seconds), c.text) << "seconds " << c.seconds;
}

}  // namespace
}  // namespace crunchwatch
