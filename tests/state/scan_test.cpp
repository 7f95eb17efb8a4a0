#include "state/scan.hpp"

#include <optional>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace crunchwatch {
namespace {

using namespace std::string_view_literals;

struct CutCase {
    const char* what;
    std::string_view text, od, do_;
    std::optional<std::string_view> section, cut;  // sekcja, wytnij
};

const CutCase cutCases[] = {
    {"both markers", "x<a>val</a>y", "<a>", "</a>", "<a>val", "val"},
    {"start absent", "<b>v</b>", "<a>", "</a>", std::nullopt, std::nullopt},
    {"start absent, end present", "v</a>", "<a>", "</a>", std::nullopt, std::nullopt},
    {"empty text", "", "<a>", "</a>", std::nullopt, std::nullopt},
    {"text shorter than the marker", "<a", "<a>", "</a>", std::nullopt, std::nullopt},
    {"empty element", "<a></a>", "<a>", "</a>", "<a>", std::nullopt},
    {"empty element, end marker again later", "<a></a>x</a>", "<a>", "</a>", "<a>", std::nullopt},
    {"start marker on the last byte", "xx<a>", "<a>", "</a>", "<a>", std::nullopt},
    {"end marker ends on the last byte", "<a>v</a>", "<a>", "</a>", "<a>v", "v"},
    {"end marker missing", "<a>rest", "<a>", "</a>", "<a>rest", "rest"},
    {"truncated end marker", "<a>v</a", "<a>", "</a>", "<a>v</a", "v</a"},
    {"end marker only before the start", "</a><a>v", "<a>", "</a>", "<a>v", "v"},
    {"end marker inside the start marker", "<a>v a>", "<a>", "a>", "<a>v ", "v "},
    {"same marker twice", "<p>one<p>two", "<p>", "<p>", "<p>one", "one"},
    {"same marker once", "x<p>only", "<p>", "<p>", "<p>only", "only"},
    {"nesting ignored", "<a>1<a>2</a>3</a>", "<a>", "</a>", "<a>1<a>2", "1<a>2"},
    {"first occurrence wins", "<a>1</a><a>2</a>", "<a>", "</a>", "<a>1", "1"},
    {"self-closing tag does not match", "<r/><r>v</r>", "<r>", "</r>", "<r>v", "v"},
    {"self-closing tag only", "<ready_to_report/>", "<ready_to_report>", "</ready_to_report>", std::nullopt,
     std::nullopt},
    {"case differs", "<A>v</A>", "<a>", "</a>", std::nullopt, std::nullopt},
    {"end marker case differs", "<a>v</A>", "<a>", "</a>", "<a>v</A>", "v</A>"},
    {"empty start marker", "abc", "", "c", std::nullopt, std::nullopt},
    {"empty end marker", "<a>v</a>", "<a>", "", "<a>v</a>", "v</a>"},
    {"NUL byte before the marker", "a\0<a>v</a>"sv, "<a>", "</a>", "<a>v", "v"},
    {"NUL byte in the value", "<a>v\0w</a>"sv, "<a>", "</a>", "<a>v\0w"sv, "v\0w"sv},
};

TEST(Scan, SekcjaAndWytnijFollowTheMarkerRules) {
    for (const CutCase& c : cutCases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(sekcja(c.text, c.od, c.do_), c.section);
        EXPECT_EQ(wytnij(c.text, c.od, c.do_), c.cut);
    }
}

TEST(Scan, ResultsAreViewsIntoTheText) {
    const std::string text = "<x><a>value</a>tail";
    const auto s = sekcja(text, "<a>", "</a>");
    const auto w = wytnij(text, "<a>", "</a>");
    ASSERT_TRUE(s && w);
    EXPECT_EQ(s->data(), text.data() + 3);
    EXPECT_EQ(w->data(), text.data() + 6);
    EXPECT_EQ(textAfter(text, *s), "</a>tail");
    EXPECT_EQ(textAfter(text, *w), "</a>tail");
}

TEST(Scan, FindFromFindsTheFirstOccurrenceAtOrAfterThePosition) {
    struct Case {
        std::string_view haystack, needle;
        std::size_t from, expected;
    };
    constexpr auto npos = std::string_view::npos;
    const Case cases[] = {
        {"abcabc", "bc", 0, 1}, {"abcabc", "bc", 1, 1}, {"abcabc", "bc", 2, 4}, {"abcabc", "bc", 5, npos},
        {"abc", "c", 2, 2},     {"abc", "", 0, npos},   {"", "", 0, npos},      {"abc", "a", 3, npos},
        {"abc", "a", 99, npos}, {"ab", "abc", 0, npos}, {"", "a", 0, npos},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << '"' << c.haystack << "\" / \"" << c.needle << "\" from " << c.from);
        EXPECT_EQ(findFrom(c.haystack, c.needle, c.from), c.expected);
    }
}

}  // namespace
}  // namespace crunchwatch
