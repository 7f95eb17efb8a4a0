#include "state/numbers.hpp"

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <limits>
#include <string>

#include <gtest/gtest.h>

namespace crunchwatch {
namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr std::int32_t intMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t intMin = std::numeric_limits<std::int32_t>::min();

TEST(Numbers, ReadNumberTakesTheLeadingDecimalNumber) {
    struct Case {
        std::string text;
        double expected;
    };
    const Case cases[] = {
        {"0.25", 0.25}, {"  1.5", 1.5}, {"\t\n\v\f\r 2", 2}, {"+3", 3}, {"-3.5", -3.5}, {"1e3", 1000},
        {"1E3", 1000}, {"2.5e-1", 0.25}, {"1e", 1}, {"1e+", 1}, {"1e-", 1}, {".5", 0.5}, {"-.5", -0.5},
        {"5.", 5}, {"12abc", 12}, {"1,5", 1}, {" -0.5e1x", -5}, {"007", 7}, {"1.7976931348623157e308", 1.7976931348623157e308},
        {"", 0}, {" ", 0}, {".", 0}, {"-", 0}, {"+", 0}, {"e5", 0}, {".e1", 0}, {"+-1", 0}, {"--1", 0},
        {"- 1", 0}, {"abc", 0}, {"inf", 0}, {"-inf", 0}, {"infinity", 0}, {"nan", 0}, {"NaN", 0},
        {"0x10", 0}, {"1e400", inf}, {"-1e400", -inf}, {"1e309", inf}, {std::string(400, '9'), inf},
        {"-" + std::string(400, '9') + ".5", -inf}, {"1e-400", 0}, {"-1e-400", 0},
        {"0." + std::string(400, '0') + "1", 0}, {"0e999999", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE('"' + c.text.substr(0, 40) + '"');
        const double got = readNumber(c.text);
        EXPECT_FALSE(std::isnan(got));
        EXPECT_EQ(got, c.expected);
    }
    EXPECT_EQ(readNumber(std::nullopt), 0.0);
}

TEST(Numbers, ReadIntegerTakesTheLeadingIntegerAndClamps) {
    struct Case {
        std::string text;
        std::int32_t expected;
    };
    const Case cases[] = {
        {"42", 42}, {"  7", 7}, {"\t7", 7}, {"+7", 7}, {"-7", -7}, {"007", 7}, {"-0", 0}, {"12abc", 12},
        {"2.9", 2}, {"-2.9", -2}, {"1e3", 1}, {".5", 0}, {"", 0}, {" ", 0}, {"-", 0}, {"+-1", 0}, {"abc", 0},
        {"2147483647", intMax}, {"2147483648", intMax}, {"-2147483648", intMin}, {"-2147483649", intMin},
        {"4294967298", intMax}, {"-4294967298", intMin}, {"-99999999999", intMin},
        {"18446744073709551617", intMax}, {"99999999999999999999999", intMax},
        {"-99999999999999999999999", intMin},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE('"' + c.text + '"');
        EXPECT_EQ(readInteger(c.text), c.expected);
    }
    EXPECT_EQ(readInteger(std::nullopt), 0);
}

// Qt sets the C locale from the user's environment; a German one must not
// turn "0.25" into 0 or "0,25" into a quarter.
class GermanLocale : public testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE"})
            if (std::setlocale(LC_ALL, name)) {
                if (std::localeconv()->decimal_point[0] == ',') return;
                break;
            }
        std::setlocale(LC_ALL, "C");
        GTEST_SKIP() << "no German locale installed";
    }
    void TearDown() override { std::setlocale(LC_ALL, "C"); }
};

TEST_F(GermanLocale, NumbersStillUseThePoint) {
    ASSERT_EQ(std::strtod("0,25", nullptr), 0.25);  // the locale does change the C library's reading
    EXPECT_EQ(readNumber("0.25"), 0.25);
    EXPECT_EQ(readNumber("1.5e2"), 150.0);
    EXPECT_EQ(readNumber("0,25"), 0.0);
    EXPECT_EQ(readInteger("2.9"), 2);
}

}  // namespace
}  // namespace crunchwatch
