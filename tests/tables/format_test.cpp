#include "tables/format.hpp"

#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include <gtest/gtest.h>

namespace crunchwatch {
namespace {

// Switches the process to a German locale (decimal comma) for one test and
// back to "C" afterwards.
class GermanLocale final {
public:
    GermanLocale() : m_active(std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr) {}
    ~GermanLocale() { std::setlocale(LC_ALL, "C"); }
    bool active() const { return m_active; }

private:
    bool m_active;
};

std::string printfFixed(double value, int decimals) {
    char buf[512];
    const int n = std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    return std::string(buf, static_cast<std::size_t>(n));
}

struct FixedCase {
    double value;
    int decimals;
    const char* text;
};

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

const FixedCase fixedCases[] = {
    {0, 2, "0.00"},
    {-0.0, 2, "-0.00"},
    {5.12, 2, "5.12"},
    {0.04, 2, "0.04"},
    {45.6789, 2, "45.68"},
    {33.333, 2, "33.33"},
    {100, 2, "100.00"},
    {150, 6, "150.000000"},
    {0.1 + 0.2, 6, "0.300000"},
    // The last digit is rounded from the exact binary value, as printf does.
    {0.125, 2, "0.12"},
    {0.375, 2, "0.38"},
    {2.675, 2, "2.67"},
    {-0.001, 2, "-0.00"},
    {1e20, 2, "100000000000000000000.00"},
    {nan, 2, "nan"},
    {-nan, 2, "-nan"},
    {inf, 2, "inf"},
    {-inf, 6, "-inf"},
};

TEST(FormatFixed, WritesAPointAndRoundsTheLastDigit) {
    for (const auto& c : fixedCases) EXPECT_EQ(formatFixed(c.value, c.decimals), c.text) << c.value;
}

TEST(FormatFixed, MatchesPrintfInTheCLocale) {
    std::setlocale(LC_ALL, "C");
    const double values[] = {0.005, 0.015, 1.005, 999.995, 1234.5678, -42.4242, 1e-7, 123456789.987654321,
                             std::numeric_limits<double>::max(), std::numeric_limits<double>::lowest(),
                             std::numeric_limits<double>::denorm_min()};
    for (const double v : values)
        for (const int decimals : {0, 2, 6})
            EXPECT_EQ(formatFixed(v, decimals), printfFixed(v, decimals)) << v << " with " << decimals;
}

TEST(FormatGrouped, GroupsThousandsWithANarrowSpace) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {0, "0.00"},
        {999.995, "1\u202F000.00"},  // rounding adds a digit, and a group
        {1334.75, "1\u202F334.75"},
        {-1234567.891, "-1\u202F234\u202F567.89"},
        {123456, "123\u202F456.00"},
        {-123, "-123.00"},
        {inf, "inf"},
        {nan, "nan"},
    };
    for (const auto& c : cases) EXPECT_EQ(formatGrouped(c.value), c.text) << c.value;
}

TEST(FormatFixed, IgnoresTheProcessLocale) {
    const GermanLocale german;
    if (!german.active()) GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
    ASSERT_EQ(printfFixed(1.5, 2), "1,50");  // the locale really writes a comma
    for (const auto& c : fixedCases) EXPECT_EQ(formatFixed(c.value, c.decimals), c.text) << c.value;
}

}  // namespace
}  // namespace crunchwatch
