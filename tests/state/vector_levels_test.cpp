#include "state/vector_level.hpp"

#include <random>
#include <string>

#include <gtest/gtest.h>

#include "state/normalise.hpp"
#include "state/scan.hpp"

namespace crunchwatch {
namespace {

// Restores the level the process started with.
struct LevelScope {
    VectorLevel before = vectorLevel();
    ~LevelScope() { useVectorLevel(before); }
};

// State-file-like text: tags, indentation, every kind of line end, blanks and
// multi-byte characters that look like them, at every alignment.
std::string randomText(std::mt19937& rng, std::size_t length) {
    static const std::string pieces[] = {"<result>", "</result>", "<name>", "</name>", "<", "</", ">", "x", "12.5",
                                         "    ", "\t", "\n", "\r\n", "\r", "\xE2\x80\xA9", "\xE2\x80\x83", "\xC2\xA0",
                                         "\xE2\x82\xAC", "\xE3\x80\x80", " ", "\xFF", std::string(1, '\0')};
    std::string s;
    while (s.size() < length) s += pieces[rng() % std::size(pieces)];
    return s;
}

TEST(VectorLevels, EveryLevelNormalisesAndFindsAlike) {
    const LevelScope scope;
    std::mt19937 rng(20261209);
    static const std::string needles[] = {"<", "</", "<result>", "</result>", "<name>", "\xE2\x80", "x<", std::string(70, 'x')};
    for (int round = 0; round < 300; ++round) {
        const std::string text = randomText(rng, rng() % 700);
        useVectorLevel(VectorLevel::Generic);
        const std::string expected = normalised(text);
        for (const VectorLevel level : supportedVectorLevels()) {
            ASSERT_EQ(useVectorLevel(level), level);
            EXPECT_EQ(normalised(text), expected) << vectorLevelName(level) << " on round " << round;
            for (const std::string& needle : needles)
                for (std::size_t from : {std::size_t{0}, expected.size() / 3, expected.size()})
                    EXPECT_EQ(findFrom(expected, needle, from), std::string_view(expected).find(needle, from))
                        << vectorLevelName(level) << " looking for " << needle << " from " << from;
        }
    }
}

TEST(VectorLevels, NamesAndFallback) {
    const LevelScope scope;
    for (const VectorLevel level : supportedVectorLevels())
        EXPECT_EQ(vectorLevelNamed(vectorLevelName(level)), level);
    EXPECT_EQ(vectorLevelNamed("AVX2"), std::nullopt);
    EXPECT_EQ(vectorLevelNamed(""), std::nullopt);
    // A level above the processor's gives its best.
    EXPECT_EQ(useVectorLevel(VectorLevel::Avx512), bestVectorLevel());
    EXPECT_EQ(supportedVectorLevels().front(), VectorLevel::Generic);
    EXPECT_EQ(supportedVectorLevels().back(), bestVectorLevel());
}

}  // namespace
}  // namespace crunchwatch
