#include "state/statistics.hpp"

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.hpp"

namespace crunchwatch {
namespace {

using Opt = std::optional<std::string_view>;

struct StatisticsCase {
    const char* what;
    std::string text;
    Opt masterUrl;
    std::vector<std::vector<Opt>> days;  // day, user total, user average, host total, host average
};

std::vector<Opt> valuesOf(const DailyStatistics& d) {
    return {d.day, d.user_total_credit, d.user_expavg_credit, d.host_total_credit, d.host_expavg_credit};
}

const StatisticsCase statisticsCases[] = {
    {"indented, two days",
     "<project_statistics>\n  <master_url>http://a/</master_url>\n  <daily_statistics>\n    <day>86400.000000</day>\n"
     "    <user_total_credit>1.5</user_total_credit>\n    <user_expavg_credit>0.1</user_expavg_credit>\n"
     "    <host_total_credit>1</host_total_credit>\n    <host_expavg_credit>0.01</host_expavg_credit>\n"
     "  </daily_statistics>\r\n  <daily_statistics><day>172800</day></daily_statistics>\n</project_statistics>\n",
     "http://a/",
     {{"86400.000000", "1.5", "0.1", "1", "0.01"}, {"172800", {}, {}, {}, {}}}},
    {"empty values are absent, text verbatim",
     "<master_url></master_url><daily_statistics><day></day><user_total_credit> 1e3 </user_total_credit>"
     "</daily_statistics>",
     {}, {{{}, " 1e3 ", {}, {}, {}}}},
    {"the master URL anywhere, the first one", "<daily_statistics><master_url>x</master_url></daily_statistics>"
                                              "<master_url>y</master_url>",
     "x", {{{}, {}, {}, {}, {}}}},
    {"an unclosed last day runs to the end", "<daily_statistics><day>1</day><daily_statistics><day>2</day>", {},
     {{"1", {}, {}, {}, {}}}},
    {"a day's values stay inside it", "<daily_statistics></daily_statistics><day>5</day><daily_statistics>"
                                      "<day>6</day></daily_statistics>",
     {}, {{{}, {}, {}, {}, {}}, {"6", {}, {}, {}, {}}}},
    {"not a statistics file", "hello", {}, {}},
};

TEST(Statistics, CutsTheValuesOfEachDay) {
    for (const StatisticsCase& c : statisticsCases) {
        SCOPED_TRACE(c.what);
        const ProjectStatistics s = statisticsFromText(TextBuffer::copyOf(c.text));
        EXPECT_EQ(s.master_url, c.masterUrl);
        std::vector<std::vector<Opt>> days;
        for (const DailyStatistics& d : s.days) days.push_back(valuesOf(d));
        EXPECT_EQ(days, c.days);
    }
}

TEST(Statistics, ReadsARealClientsFile) {
    const std::filesystem::path file =
        std::filesystem::path(CRUNCHWATCH_REALDATA_DIR) / "caoyuwei-ikits" / "statistics_setiathome.berkeley.edu.xml";
    if (!std::filesystem::exists(file)) GTEST_SKIP() << "no real client files here";
    const auto s = readStatisticsFile(file.string());
    ASSERT_TRUE(s);
    EXPECT_EQ(s->master_url, Opt("http://setiathome.berkeley.edu/"));
    ASSERT_EQ(s->days.size(), 1u);
    EXPECT_EQ(valuesOf(s->days[0]), (std::vector<Opt>{"1289865600.000000", "3363.551496", "0.094085", "0.000000", "0.000000"}));
}

}  // namespace
}  // namespace crunchwatch
