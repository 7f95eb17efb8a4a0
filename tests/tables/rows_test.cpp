#include "tables/rows.hpp"

#include <clocale>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace crunchwatch {
namespace {

// A project block as the client writes it: the project element, then its
// workunits and results, which belong to the project until the next one.
std::string projectBlock(const std::string& url, const std::string& values, const std::string& after = "") {
    return "<project>\n<master_url>" + url + "</master_url>\n" + values + "\n</project>\n" + after;
}

std::string result(const std::string& name, const std::string& extra = "") {
    return "<result>\n<name>" + name + "</name>\n<wu_name>wu_" + name + "</wu_name>\n" + extra + "</result>\n";
}

ClientState state(const std::string& blocks) {
    return clientStateFromText("<client_state>\n<host_info></host_info>\n" + blocks + "</client_state>\n");
}

std::vector<std::string> column(const ResultRows& rows, Key key) {
    std::vector<std::string> out;
    for (const resultRow& r : rows.main_result_table) out.emplace_back(r.get(key).value_or("(absent)"));
    return out;
}

using Strings = std::vector<std::string>;

TEST(BuildResultRows, EveryRowCarriesTheTotalShare) {
    const ClientState s = state(projectBlock("http://a/", "<resource_share>100</resource_share>", result("a1")) +
                                projectBlock("http://b/", "<resource_share>50</resource_share>", result("b1")) +
                                projectBlock("http://c/", "", result("c1") + result("c2")));
    const ResultRows rows = buildResultRows(s.projectInfo);
    EXPECT_EQ(rows.totalShare, 150.0);
    EXPECT_EQ(column(rows, Key::rsc_share), Strings(4, "150.000000"));
}

TEST(BuildResultRows, TotalsCountEveryProjectWithOrWithoutResults) {
    const ClientState s =
        state(projectBlock("http://a/", "<user_total_credit>1000.5</user_total_credit>", result("a1") + result("a2")) +
              projectBlock("http://b/", "<user_total_credit>250.25</user_total_credit><resource_share>7</resource_share>"));
    ASSERT_EQ(s.projectInfo.size(), 2u);
    const ResultRows rows = buildResultRows(s.projectInfo);
    EXPECT_EQ(column(rows, Key::name), (Strings{"a1", "a2"}));
    EXPECT_EQ(column(rows, Key::master_url), (Strings{"http://a/", "http://a/"}));
    EXPECT_EQ(rows.totalCredit, 1250.75);
    EXPECT_EQ(rows.totalShare, 7.0);
}

TEST(BuildResultRows, NonNumericValuesCountAsZero) {
    const ClientState s =
        state(projectBlock("http://a/", "<user_total_credit>abc</user_total_credit><resource_share>x1</resource_share>",
                           result("a1")) +
              projectBlock("http://b/", "<user_total_credit>12.5xyz</user_total_credit><resource_share>0.1</resource_share>") +
              projectBlock("http://c/", "<resource_share>0.2</resource_share>"));
    const ResultRows rows = buildResultRows(s.projectInfo);
    EXPECT_EQ(rows.totalCredit, 12.5);
    EXPECT_EQ(column(rows, Key::rsc_share), Strings{"0.300000"});
}

TEST(BuildResultRows, NoProjectsGiveNoRows) {
    const ClientState s = clientStateFromText("not a state file at all");
    const ResultRows rows = buildResultRows(s.projectInfo);
    EXPECT_TRUE(rows.main_result_table.empty());
    EXPECT_EQ(rows.totalShare, 0.0);
    EXPECT_EQ(rows.totalCredit, 0.0);
    ASSERT_NE(rows.rscShareText, nullptr);
    EXPECT_EQ(*rows.rscShareText, "0.000000");
}

TEST(BuildResultRows, RowsKeepProjectAndResultOrder) {
    const ClientState s = state(projectBlock("http://a/", "", result("r2") + result("r1") + result("r3")) +
                                projectBlock("http://b/", "") +
                                projectBlock("http://c/", "", result("c9") + result("c0")));
    const ResultRows rows = buildResultRows(s.projectInfo);
    EXPECT_EQ(column(rows, Key::name), (Strings{"r2", "r1", "r3", "c9", "c0"}));
    EXPECT_EQ(column(rows, Key::master_url), (Strings{"http://a/", "http://a/", "http://a/", "http://c/", "http://c/"}));
}

TEST(BuildResultRows, TheResultOverlaysTheProject) {
    // The project's own "app_name" comes first in its block; the result's
    // comes from its workunit.
    const ClientState s = state(projectBlock(
        "http://a/",
        "<project_name>Alpha</project_name><app_name>a</app_name><resource_share>100</resource_share>",
        "<workunit><name>wu_r1</name><app_name>b</app_name><version_num>512</version_num></workunit>\n" +
            result("r1", "<state>2</state><ready_to_report/>\n")));
    ASSERT_EQ(s.projectInfo.size(), 1u);
    ASSERT_EQ(s.projectInfo[0].values.get(Key::app_name), "a");
    const ResultRows rows = buildResultRows(s.projectInfo);
    ASSERT_EQ(rows.main_result_table.size(), 1u);
    const resultRow& row = rows.main_result_table[0];
    EXPECT_EQ(row.get(Key::app_name), "b");
    EXPECT_EQ(row.get(Key::project_name), "Alpha");
    EXPECT_EQ(row.get(Key::master_url), "http://a/");
    EXPECT_EQ(row.get(Key::version_num), "512");
    EXPECT_EQ(row.get(Key::state), "2");
    EXPECT_EQ(row.get(Key::rsc_share), "100.000000");
    EXPECT_EQ(row.getNamed("result"), std::nullopt);
    EXPECT_EQ(row.get(Key::scheduler_state), std::nullopt);

    // Every entry once: the project's keys in their order (with the result's
    // value where it has one), the result's own keys, "rsc_share" last.
    std::vector<std::pair<std::string, std::string>> entries;
    row.forEachEntry([&](std::string_view k, std::string_view v) { entries.emplace_back(k, v); });
    const std::vector<std::pair<std::string, std::string>> expected{
        {"master_url", "http://a/"}, {"project_name", "Alpha"}, {"resource_share", "100"},
        {"app_name", "b"},           {"name", "r1"},            {"state", "2"},
        {"wu_name", "wu_r1"},        {"ready_to_report", "ready_to_report"},
        {"version_num", "512"},      {"rsc_share", "100.000000"}};
    EXPECT_EQ(entries, expected);
}

TEST(BuildResultRows, RowsSurviveMovingTheirTable) {
    const ClientState s = state(projectBlock("http://a/", "<resource_share>100</resource_share>", result("a1")));
    ResultRows built = buildResultRows(s.projectInfo);
    ResultRows moved = std::move(built);
    ResultRows assigned;
    assigned = std::move(moved);
    ASSERT_EQ(assigned.main_result_table.size(), 1u);
    EXPECT_EQ(assigned.main_result_table[0].get(Key::rsc_share), "100.000000");
    EXPECT_EQ(assigned.main_result_table[0].get(Key::name), "a1");
}

TEST(BuildResultRows, ShareTextIgnoresTheProcessLocale) {
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
    const ClientState s = state(projectBlock("http://a/", "<resource_share>100.25</resource_share>", result("a1")) +
                                projectBlock("http://b/", "<resource_share>49.75</resource_share>"));
    const ResultRows rows = buildResultRows(s.projectInfo);
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(rows.totalShare, 150.0);
    EXPECT_EQ(column(rows, Key::rsc_share), Strings{"150.000000"});
}

}  // namespace
}  // namespace crunchwatch
