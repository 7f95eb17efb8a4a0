#include "state/global_prefs.hpp"

#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "test_support.hpp"

namespace crunchwatch {
namespace {

using OptString = std::optional<std::string>;

struct PrefsCase {
    const char* what;
    std::string contents;
    OptString cpu, disk;
};

const PrefsCase prefsCases[] = {
    {"only disk_interval", "<global_preferences><disk_interval>60</disk_interval></global_preferences>",
     std::nullopt, "60"},
    {"indented", "<global_preferences>\n    <cpu_scheduling_period_minutes>60</cpu_scheduling_period_minutes>\n"
                 "    <disk_interval>120.000000</disk_interval>\n</global_preferences>\n",
     "60", "120.000000"},
    {"CRLF", "<global_preferences>\r\n\t<disk_interval>5</disk_interval>\r\n</global_preferences>\r\n",
     std::nullopt, "5"},
    {"value on its own line", "<global_preferences><disk_interval>\n   60 \t\n</disk_interval></global_preferences>",
     std::nullopt, "60"},
    {"blanks on the value's line stay", "<global_preferences><disk_interval> 60 </disk_interval></global_preferences>",
     std::nullopt, " 60 "},
    {"no end tag", "<global_preferences>\n<disk_interval>60</disk_interval>\n<cpu_scheduling_period_minutes>1",
     "1", "60"},
    {"first occurrence wins", "<global_preferences><disk_interval>1</disk_interval><disk_interval>2</disk_interval>"
                              "</global_preferences>", std::nullopt, "1"},
    {"values outside the body are not read", "<disk_interval>0</disk_interval><global_preferences>"
                                             "<disk_interval>2</disk_interval></global_preferences>",
     std::nullopt, "2"},
    {"empty element", "<global_preferences><disk_interval></disk_interval></global_preferences>", std::nullopt,
     std::nullopt},
    {"no global_preferences", "<disk_interval>60</disk_interval>", std::nullopt, std::nullopt},
    {"empty global_preferences", "<global_preferences>\n</global_preferences>", std::nullopt, std::nullopt},
};

TEST(GlobalPrefs, ValuesComeFromTheFirstElementOfTheBody) {
    test::TempDir dir;
    for (const PrefsCase& c : prefsCases) {
        SCOPED_TRACE(c.what);
        const auto body = przygotujGlobalPrefs(dir.write("global_prefs.xml", c.contents));
        ASSERT_TRUE(body);  // readable, whatever it holds
        const GlobalPrefsValues v = wyciagamyDaneGlobalPrefs(*body);
        EXPECT_EQ(v.cpu_scheduling_period_minutes, c.cpu);
        EXPECT_EQ(v.disk_interval, c.disk);
    }
}

TEST(GlobalPrefs, BodyIsTheNormalisedElementContents) {
    test::TempDir dir;
    const auto read = [&](const std::string& contents) { return przygotujGlobalPrefs(dir.write("p.xml", contents)); };
    using Readable = std::optional<OptString>;  // the outer optional: the file was read
    EXPECT_EQ(read("<x/>\n<global_preferences>\n  <a>1</a>\n  <b>2 3</b>\n</global_preferences>\n<global_preferences>"
                   "<a>9</a></global_preferences>"),
              Readable(OptString("<a>1</a><b>2 3</b>")));
    EXPECT_EQ(read("no element here"), Readable(OptString()));
    EXPECT_EQ(read(""), Readable(OptString()));
}

TEST(GlobalPrefs, IndentedAndOneLineFilesGiveTheSameValues) {
    const std::string dataDir = CRUNCHWATCH_TEST_DATA_DIR;
    const auto indented = przygotujGlobalPrefs(dataDir + "/prefs-indented.xml");
    const auto oneLine = przygotujGlobalPrefs(dataDir + "/prefs-one-line.xml");
    ASSERT_TRUE(indented && oneLine);
    EXPECT_EQ(*indented, *oneLine);
    const GlobalPrefsValues v = wyciagamyDaneGlobalPrefs(*indented);
    EXPECT_EQ(v.cpu_scheduling_period_minutes, OptString("60"));
    EXPECT_EQ(v.disk_interval, OptString("120.000000"));
}

TEST(GlobalPrefs, UnreadableFileGivesNothing) {
    test::TempDir dir;
    EXPECT_FALSE(przygotujGlobalPrefs(std::nullopt));
    EXPECT_FALSE(przygotujGlobalPrefs(std::string()));
    EXPECT_FALSE(przygotujGlobalPrefs((dir.path() / "missing.xml").string()));
    EXPECT_FALSE(przygotujGlobalPrefs(dir.path().string()));
    const GlobalPrefsValues none = wyciagamyDaneGlobalPrefs(std::nullopt);
    EXPECT_FALSE(none.cpu_scheduling_period_minutes || none.disk_interval);
}

TEST(GlobalPrefs, RealClientFilesGiveTheirValues) {
    CRUNCHWATCH_SKIP_WITHOUT_REALDATA();
    struct Case {
        const char* dir;
        const char *cpu, *disk;
    };
    for (const Case& c : {Case{"caoyuwei-ikits", "60", "60"}, Case{"kunggom-rpi-prefs", "60", "300"}}) {
        SCOPED_TRACE(c.dir);
        const auto body = przygotujGlobalPrefs((test::realDataDir() / c.dir / "global_prefs.xml").string());
        ASSERT_TRUE(body && *body);
        const GlobalPrefsValues v = wyciagamyDaneGlobalPrefs(*body);
        EXPECT_EQ(v.cpu_scheduling_period_minutes, OptString(c.cpu));
        EXPECT_EQ(v.disk_interval, OptString(c.disk));
    }
}

}  // namespace
}  // namespace crunchwatch
