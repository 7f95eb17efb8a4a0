#include "dump/json_writer.hpp"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstring>
#include <limits>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace crunchwatch {
namespace {

#define RC "\xEF\xBF\xBD"  // U+FFFD REPLACEMENT CHARACTER

struct Utf8Case {
    std::string in;
    std::string out;
};

TEST(ValidUtf8, OneReplacementPerMaximalSubpart) {
    using namespace std::string_literals;
    const Utf8Case cases[] = {
        {"", ""},
        {"plain ASCII", "plain ASCII"},
        {"a\0b"s, "a\0b"s},
        // Well-formed sequences of every length, at the range limits.
        {"\xC2\x80\xDF\xBF", "\xC2\x80\xDF\xBF"},
        {"\xE0\xA0\x80\xE2\x82\xAC\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF", "\xE0\xA0\x80\xE2\x82\xAC\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF"},
        {"\xF0\x90\x80\x80\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF", "\xF0\x90\x80\x80\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"},
        {RC, RC},
        // The worked examples for maximal subparts.
        {"\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64", "a" RC RC RC "b" RC "c" RC RC "d"},
        {"\xC0\xAF\xE0\x80\xBF\xF0\x81\x82\x41", RC RC RC RC RC RC RC RC "A"},
        {"\xED\xA0\x80\xED\xBF\xBF\xED\xAF\x41", RC RC RC RC RC RC RC RC "A"},
        {"\xF4\x91\x92\x93\xFF\x41\x80\xBF\x42", RC RC RC RC RC "A" RC RC "B"},
        {"\xE1\x80\xE2\xF0\x91\x92\xF1\xBF\x41", RC RC RC RC "A"},
        // Surrogates and overlong forms: each byte on its own.
        {"\xED\xA0\x80", RC RC RC},
        {"\xED\xBF\xBF", RC RC RC},
        {"\xC0\xAF", RC RC},
        {"\xC1\xBF", RC RC},
        {"\xE0\x9F\xBF", RC RC RC},
        {"\xF0\x8F\xBF\xBF", RC RC RC RC},
        // Beyond U+10FFFF and bytes that never start a sequence.
        {"\xF4\x90\x80\x80", RC RC RC RC},
        {"\xF5\x80\x80\x80", RC RC RC RC},
        {"\xF8\x88\x80\x80\x80", RC RC RC RC RC},
        {"\xFE\xFF", RC RC},
        // Lone continuation bytes and sequences cut short.
        {"\x80", RC},
        {"\xBF\xBF", RC RC},
        {"x\xC3", "x" RC},
        {"\xE2\x82", RC},
        {"\xF0\x9F\x98", RC},
        {"\xF0\x9F\x98" "a", RC "a"},
        {"\xE2\x82\xE2\x82\xAC", RC "\xE2\x82\xAC"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(validUtf8(c.in), c.out) << ::testing::PrintToString(c.in);
        EXPECT_EQ(validUtf8(c.out), c.out) << "already valid: " << ::testing::PrintToString(c.out);
    }
}

std::string written(std::string_view s) {
    std::ostringstream out;
    JsonWriter(out).string(s);
    return out.str();
}

TEST(JsonWriter, EscapesQuotesBackslashesAndControlCharacters) {
    using namespace std::string_literals;
    const struct {
        std::string in, out;
    } cases[] = {
        {"", R"("")"},
        {"checking...", R"("checking...")"},
        {"say \"hi\"", R"("say \"hi\"")"},
        {"C:\\boinc\\", R"("C:\\boinc\\")"},
        {"a\nb\rc\td\be\ff", R"("a\nb\rc\td\be\ff")"},
        {"\0"s, R"("\u0000")"},
        {"\x01\x1f", R"("\u0001\u001f")"},
        {"\x1b[31m", R"("\u001b[31m")"},
        {"\x7f/</script>", "\"\x7f/</script>\""},
        {"zażółć \xE2\x82\xAC", "\"zażółć \xE2\x82\xAC\""},
        {"bad\xFF\x01", "\"bad" RC "\\u0001\""},
    };
    for (const auto& c : cases) EXPECT_EQ(written(c.in), c.out) << ::testing::PrintToString(c.in);
}

TEST(JsonWriter, SeparatesMembersAndElements) {
    std::ostringstream out;
    JsonWriter json(out);
    json.beginObject();
    json.key("a");
    json.integer(-12);
    json.key("list");
    json.beginArray();
    json.string("x");
    json.optionalString(std::nullopt);
    json.optionalString(std::string_view("y"));
    json.beginObject();
    json.endObject();
    json.beginArray();
    json.endArray();
    json.number(0.5);
    json.endArray();
    json.key("k\xFF\n");
    json.beginObject();
    json.key("n");
    json.null();
    json.endObject();
    json.endObject();
    EXPECT_EQ(out.str(), "{\"a\":-12,\"list\":[\"x\",null,\"y\",{},[],0.5],\"k" RC "\\n\":{\"n\":null}}");
}

TEST(JsonWriter, NumbersReadBackExactly) {
    const double values[] = {0.0,
                             -0.0,
                             1.0,
                             -2.5,
                             0.1,
                             1.0 / 3.0,
                             3802468.1348,
                             0.0 + 2345678.901234 + 345678.123456 + 987654.321098 + 123456.789012,
                             123456789012345678.0,
                             1e300,
                             1e-300,
                             std::numeric_limits<double>::max(),
                             std::numeric_limits<double>::lowest(),
                             std::numeric_limits<double>::min(),
                             std::numeric_limits<double>::denorm_min()};
    // A decimal comma in the process locale, when installed, must not matter.
    struct CLocaleAfter {
        ~CLocaleAfter() { std::setlocale(LC_ALL, "C"); }
    } restore;
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    for (const double v : values) {
        std::ostringstream out;
        JsonWriter(out).number(v);
        const std::string text = out.str();
        EXPECT_EQ(text.find_first_not_of("0123456789+-.e"), std::string::npos) << text;
        EXPECT_NE(text.front(), '+') << text;
        EXPECT_NE(text.front(), '.') << text;
        double back = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), back);
        ASSERT_EQ(ec, std::errc{}) << text;
        EXPECT_EQ(end, text.data() + text.size()) << text;
        EXPECT_EQ(std::memcmp(&back, &v, sizeof v), 0) << text << " reads back as " << back;
    }
}

TEST(JsonWriter, NonFiniteNumbersAreNull) {
    for (const double v : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity()}) {
        std::ostringstream out;
        JsonWriter json(out);
        json.beginArray();
        json.number(v);
        json.number(1);
        json.endArray();
        EXPECT_EQ(out.str(), "[null,1]");
    }
}

#undef RC

}  // namespace
}  // namespace crunchwatch
