#include "tables/date_value.hpp"

#include <clocale>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "test_support.hpp"

#include "tables/cell.hpp"

namespace crunchwatch {
namespace {

constexpr const char* iso = "%Y-%m-%d %H:%M:%S";

using DateValue = test::ZonedTest;

struct MomentCase {
    double moment;
    std::optional<std::string> text;
};

TEST_F(DateValue, MomentsAreFlooredToTheWholeSecond) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const MomentCase cases[] = {
        {0, "1970-01-01 00:00:00"},
        {-0.0, "1970-01-01 00:00:00"},
        {0.999, "1970-01-01 00:00:00"},
        {1.999, "1970-01-01 00:00:01"},
        {-0.5, "1969-12-31 23:59:59"},
        {-1, "1969-12-31 23:59:59"},
        {1796586544, "2026-12-06 19:49:04"},
        {1796141120.514207, "2026-12-01 16:05:20"},
        {2147483648.0, "2038-01-19 03:14:08"},
        {253402300799.0, "9999-12-31 23:59:59"},
        // Not finite, or beyond what the calendar conversion represents.
        {nan, std::nullopt},
        {inf, std::nullopt},
        {-inf, std::nullopt},
        {1e17, std::nullopt},
        {1e20, std::nullopt},
        {-1e20, std::nullopt},
        {1e300, std::nullopt},
        {4.6e18, std::nullopt},
        {9.3e18, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(formatDaty(c.moment, iso), c.text) << "moment " << c.moment;
}

TEST_F(DateValue, RenderedInTheLocalTimeZone) {
    useZone("CET-1");  // a POSIX zone one hour east of UTC, no zone files needed
    EXPECT_EQ(formatDaty(0, iso), "1970-01-01 01:00:00");
    EXPECT_EQ(formatDaty(-0.5, iso), "1970-01-01 00:59:59");
    useZone("XYZ+5");
    EXPECT_EQ(formatDaty(0, iso), "1969-12-31 19:00:00");
}

struct FormatCase {
    std::optional<std::string> format;
    std::string text;
};

TEST_F(DateValue, FormatsAreStrftimeStyle) {
    const FormatCase cases[] = {
        {std::nullopt, "01/01/70 00:00:00"},  // the default "%x %X" in the C locale
        {std::string(defaultDateFormat), "01/01/70 00:00:00"},
        {"", ""},
        {"no conversions", "no conversions"},
        {"at %H:%M, 100%%", "at 00:00, 100%"},
        {"%-d.%-m.%Y", "1.1.1970"},
        {"%e|%_H|%Ey|%Od", " 1| 0|70|01"},
        {"%10Y", "0000001970"},
        {"ends with %", "ends with %"},
        {"zażółć %Y", "zażółć 1970"},
    };
    for (const auto& c : cases) EXPECT_EQ(formatDaty(0, c.format), c.text) << c.format.value_or("(none)");
}

TEST_F(DateValue, LongOutputIsCutNeverOverflowing) {
    std::string manyC;
    for (int i = 0; i < 10000; ++i) manyC += "%c";
    const auto one = formatDaty(0, "%c");
    ASSERT_TRUE(one.has_value());
    const auto cut = formatDaty(0, manyC);
    ASSERT_TRUE(cut.has_value());
    EXPECT_EQ(cut->size(), maxDateTextLength);
    std::string repeated;
    while (repeated.size() < maxDateTextLength) repeated += *one;
    EXPECT_EQ(*cut, repeated.substr(0, maxDateTextLength));

    const auto wide = formatDaty(0, "%300Y");
    ASSERT_TRUE(wide.has_value());
    EXPECT_EQ(wide->size(), maxDateTextLength);

    const auto huge = formatDaty(0, "%1000000Y");
    ASSERT_TRUE(huge.has_value());
    EXPECT_LE(huge->size(), maxDateTextLength);

    const auto literal = formatDaty(0, std::string(100000, 'x'));
    ASSERT_TRUE(literal.has_value());
    EXPECT_EQ(*literal, std::string(maxDateTextLength, 'x'));
}

TEST_F(DateValue, CutKeepsWholeUtf8Sequences) {
    std::string format = "a";
    for (int i = 0; i < 200; ++i) format += "\xC3\xA4";  // "ä", two bytes each
    const auto text = formatDaty(0, format);
    ASSERT_TRUE(text.has_value());
    // Byte 256 would split an "ä": the cut falls before it.
    EXPECT_EQ(text->size(), maxDateTextLength - 1);
    EXPECT_EQ(*text, format.substr(0, maxDateTextLength - 1));
}

TEST_F(DateValue, CellTextFollowsTheCellKind) {
    EXPECT_EQ(cellText(Cell::empty(), std::nullopt), std::nullopt);
    EXPECT_EQ(cellText(Cell::ofText("5.12", 5.12), iso), "5.12");
    EXPECT_EQ(cellText(Cell::ofText(""), iso), "");
    EXPECT_EQ(cellText(Cell::ofDate(-0.5), iso), "1969-12-31 23:59:59");
    EXPECT_EQ(cellText(Cell::ofDate(0), std::nullopt), "01/01/70 00:00:00");
    EXPECT_EQ(cellText(Cell::ofDate(std::numeric_limits<double>::quiet_NaN()), iso), std::nullopt);
    EXPECT_EQ(Cell::ofDate(42).value, 42);
}

}  // namespace
}  // namespace crunchwatch
