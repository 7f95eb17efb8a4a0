#include "dump/exposition.hpp"

#include <charconv>
#include <cstring>
#include <limits>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace crunchwatch {
namespace {

#define RC "\xEF\xBF\xBD"  // U+FFFD REPLACEMENT CHARACTER

TEST(Exposition, LabelValuesAreEscapedAndValidUtf8) {
    using namespace std::string_literals;
    const struct {
        std::string in, out;
    } cases[] = {
        {"", R"(p="")"},
        {"Einstein@Home", R"(p="Einstein@Home")"},
        {"say \"hi\"", R"(p="say \"hi\"")"},
        {"C:\\boinc\\", R"(p="C:\\boinc\\")"},
        {"a\nb", R"(p="a\nb")"},
        // Nothing else is escaped: the format takes any other character as it is.
        {"a\rb\tc\0d"s, "p=\"a\rb\tc\0d\""s},
        {"zażółć", "p=\"zażółć\""},
        {"bad\xFF\xC0\xAF end \xE2\x82", "p=\"bad" RC RC RC " end " RC "\""},
        {"\\\"\n", R"(p="\\\"\n")"},
    };
    for (const auto& c : cases) EXPECT_EQ(labelText({{"p", c.in}}), c.out) << ::testing::PrintToString(c.in);
    EXPECT_EQ(labelText({}), "");
    EXPECT_EQ(labelText({{"project", "a"}, {"url", "b"}, {"task", "c"}}), R"(project="a",url="b",task="c")");
}

TEST(Exposition, ValuesReadBackExactly) {
    const double values[] = {0.0,  -0.0, 1.0, -2.5, 0.1, 1.0 / 3.0, 1796150123.456789, 1e300, 1e-300,
                             std::numeric_limits<double>::max(), std::numeric_limits<double>::denorm_min()};
    for (const double v : values) {
        const std::string text = sampleValueText(v);
        double back = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), back);
        ASSERT_EQ(ec, std::errc{}) << text;
        EXPECT_EQ(end, text.data() + text.size()) << text;
        EXPECT_EQ(std::memcmp(&back, &v, sizeof v), 0) << text << " reads back as " << back;
    }
    EXPECT_EQ(sampleValueText(4), "4");
    EXPECT_EQ(sampleValueText(std::numeric_limits<double>::infinity()), "+Inf");
    EXPECT_EQ(sampleValueText(-std::numeric_limits<double>::infinity()), "-Inf");
    EXPECT_EQ(sampleValueText(std::numeric_limits<double>::quiet_NaN()), "NaN");
}

TEST(Exposition, FamiliesAndSamples) {
    std::ostringstream out;
    {
        ExpositionWriter w(out);
        w.family("x_seconds", MetricType::Gauge, "Help with a \\ and a\nline \"quoted\".");
        w.sample("x_seconds", {}, 1.5);
        w.sample("x_seconds", labelText({{"a", "1"}}), 2);
        w.sample("x_seconds", labelText({{"a", "1"}}), 3, labelText({{"b", "2"}}));
        w.sample("x_seconds", {}, 4, labelText({{"b", "2"}}));
        w.family("y_total", MetricType::Counter, "Y.");
    }
    EXPECT_EQ(out.str(),
              "# HELP x_seconds Help with a \\\\ and a\\nline \"quoted\".\n"
              "# TYPE x_seconds gauge\n"
              "x_seconds 1.5\n"
              "x_seconds{a=\"1\"} 2\n"
              "x_seconds{a=\"1\",b=\"2\"} 3\n"
              "x_seconds{b=\"2\"} 4\n"
              "# HELP y_total Y.\n"
              "# TYPE y_total counter\n");
}

#undef RC

}  // namespace
}  // namespace crunchwatch
