#include "state/file_stat.hpp"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "test_support.hpp"

namespace crunchwatch {
namespace {

using namespace std::string_literals;

TEST(FileStat, OneQueryWithLinksFollowed) {
    test::TempDir dir;
    const std::string file = dir.write("f.xml", "<x/>");
    std::filesystem::create_symlink(file, dir.path() / "link.xml");
    const auto st = statFile(file);
    ASSERT_TRUE(st);
    EXPECT_TRUE(st->regular);
    EXPECT_EQ(st->size, 4u);
    EXPECT_EQ(statFile((dir.path() / "link.xml").string()), st);
    EXPECT_FALSE(statFile(dir.path().string()).value().regular);

    const struct {
        std::string path;
        ReadFailure why;
    } cases[] = {
        {"", ReadFailure::noPath},
        {file + "\0.other"s, ReadFailure::invalidPath},  // not the file before the NUL
        {(dir.path() / "missing").string(), ReadFailure::notFound},
    };
    for (const auto& c : cases) {
        ReadFailure why = ReadFailure::none;
        EXPECT_FALSE(statFile(c.path, why));
        EXPECT_EQ(why, c.why) << c.path;
        EXPECT_FALSE(fileDateText(c.path));
    }
}

}  // namespace
}  // namespace crunchwatch
