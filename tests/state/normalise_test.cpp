#include "state/normalise.hpp"

#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace crunchwatch {
namespace {

using namespace std::string_literals;

const char* const lineBreaks[] = {"\n", "\r", "\r\n", "\xE2\x80\xA9"};

TEST(Normalise, LfCrCrLfAndParagraphSeparatorGiveTheSameText) {
    for (const char* br : lineBreaks) {
        SCOPED_TRACE(testing::PrintToString(std::string(br)));
        const std::string text = "<project>"s + br + "    <project_name>Long Name </project_name>" + br +
                                 "\t<x>1</x>  <y>2</y>" + br + "</project>" + br;
        EXPECT_EQ(normalised(text), "<project><project_name>Long Name </project_name><x>1</x>  <y>2</y></project>");
    }
    EXPECT_EQ(normalised("a\r\nb\rc\nd\xE2\x80\xA9" "e"), "abcde");
}

// The word-at-a-time search for line breaks must see a break at any offset.
TEST(Normalise, LineBreaksAreFoundAtEveryOffset) {
    for (const char* br : lineBreaks) {
        for (std::size_t k = 0; k < 20; ++k) {
            SCOPED_TRACE(testing::Message() << testing::PrintToString(std::string(br)) << " after " << k);
            const std::string line(k, 'a');
            EXPECT_EQ(normalised(line + " " + br + "  b" + br + line), line + "b" + line);
            // 0xE2 starts many characters besides the paragraph separator; they stay.
            EXPECT_EQ(normalised(line + "\xE2\x82\xAC" + line + br), line + "\xE2\x82\xAC" + line);
        }
    }
}

TEST(Normalise, TrimSetIsStrippedAtLineEndsAndKeptInside) {
    struct Case {
        const char* what;
        std::string blank;
    };
    const Case cases[] = {
        {"space", " "}, {"tab", "\t"}, {"VT", "\v"}, {"FF", "\f"}, {"NEL U+0085", "\xC2\x85"},
        {"NBSP U+00A0", "\xC2\xA0"}, {"U+1680", "\xE1\x9A\x80"}, {"U+2000", "\xE2\x80\x80"},
        {"EM SPACE U+2003", "\xE2\x80\x83"}, {"U+200A", "\xE2\x80\x8A"}, {"LINE SEPARATOR U+2028", "\xE2\x80\xA8"},
        {"U+202F", "\xE2\x80\xAF"}, {"U+205F", "\xE2\x81\x9F"}, {"IDEOGRAPHIC SPACE U+3000", "\xE3\x80\x80"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string& b = c.blank;
        EXPECT_EQ(normalised(b + b + "a" + b + "b" + b + "\n" + b + "c" + b + b), "a" + b + "bc");
    }
}

// Characters outside the trim set stay at line ends, including those whose
// UTF-8 bytes end like a trimmed character's (U+0105 ends in 0x85, U+00E0 in 0xA0).
TEST(Normalise, NonBlankCharactersAtLineEndsStay) {
    // U+0105, U+00E0, U+0120, U+00A1, U+200B (zero width: not a space separator), U+2020, U+202A,
    // U+2026, U+3001, U+FEFF.
    const char* const kept[] = {"\xC4\x85",     "\xC3\xA0",     "\xC4\xA0",     "\xC2\xA1",     "\xE2\x80\x8B",
                                "\xE2\x80\xA0", "\xE2\x80\xAA", "\xE2\x80\xA6", "\xE3\x80\x81", "\xEF\xBB\xBF"};
    for (const char* k : kept) {
        SCOPED_TRACE(testing::PrintToString(std::string(k)));
        EXPECT_EQ(normalised(std::string(k) + "x" + k + " \n" + k), std::string(k) + "x" + k + k);
    }
}

TEST(Normalise, BlankLinesVanishBrokenValuesJoinAndInvalidBytesStay) {
    struct Case {
        const char* what;
        std::string in, out;
    };
    const Case cases[] = {
        {"empty input", "", ""},
        {"blank lines only", "\n\r\n \t \n\xC2\xA0\n", ""},
        {"blank lines between", "a\n\n   \n\t\r\nb", "ab"},
        {"value broken over two lines", "<n>Long \n    Name</n>", "<n>LongName</n>"},
        {"lone C2 at line end", "a\xC2\nb", "a\xC2" "b"},
        {"lone C2 at text end", "a\xC2", "a\xC2"},
        {"C2 before a space", "\xC2 a", "\xC2 a"},
        {"truncated E2 80 at text end", "a\xE2\x80", "a\xE2\x80"},
        {"truncated E2 80 before blanks", "a\xE2\x80 \nb", "a\xE2\x80" "b"},
        {"lone E2 at text end", "a\xE2", "a\xE2"},
        {"lone continuation bytes", "\x85 a \xA0", "\x85 a \xA0"},
        {"NUL byte", "a\0b"s, "a\0b"s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(normalised(c.in), c.out);
    }
    std::string buffer = "  <a>\r\n  x  \r\n</a>  ";
    EXPECT_EQ(buffer.substr(0, normaliseInPlace(buffer.data(), buffer.size())), "<a>x</a>");
}

}  // namespace
}  // namespace crunchwatch
