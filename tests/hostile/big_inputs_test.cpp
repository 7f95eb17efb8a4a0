// Files that are huge, or not text the client writes: NUL bytes, invalid
// UTF-8, UTF-16, very many projects or results. Each is read through the
// whole data path and shows what it holds, or nothing; none may crash.

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "tables/refresher.hpp"

#include "dump/json_writer.hpp"
#include "hostile/hostile_support.hpp"
#include "tables/columns.hpp"
#include "tables/format.hpp"
#include "tables/projects_cells.hpp"
#include "tables/results_cells.hpp"
#include "test_support.hpp"

namespace crunchwatch {
namespace {

using namespace std::string_literals;

constexpr double now = 1796150000;

bool isValidUtf8(const std::string& s) { return validUtf8(s) == s; }

// Both reports of a snapshot; each must be valid UTF-8 whatever the file held.
void expectValidReports(const Report& s) {
    std::ostringstream json, text;
    const ReportOptions options{"client_state.xml", now, "%Y-%m-%d %H:%M:%S", 100};
    writeJsonReport(json, s, options);
    writeTextReport(text, s, options);
    EXPECT_TRUE(isValidUtf8(json.str()));
    EXPECT_TRUE(isValidUtf8(text.str()));
}

Report snapshotOf(std::string_view contents) { return *valueOfText(contents); }

std::string cell(const resultRow& row, std::string_view id) {
    return cellText(resultCell(row, id, now), "%Y").value_or("<none>");
}

// Read from disk through the whole path: 300 MB of millions of short lines,
// and 64 MB as one single line; the data after the bulk is still found.
TEST(BigInputs, HugeFileIsReadWhole) {
    const struct {
        const char* what;
        std::size_t bulk;
        bool oneLine;
    } cases[] = {{"300 MB of short lines", 300u << 20, false}, {"64 MB on one line", 64u << 20, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string line = "    <p_features>fpu vme de pse tsc msr pae mce cx8</p_features>\n";
        std::string filler;
        filler.reserve(c.bulk + line.size());
        while (filler.size() < c.bulk) filler += c.oneLine ? std::string_view(line).substr(4, line.size() - 5) : line;
        std::string text = test::stateText(2, 2, filler);
        filler = std::string();
        if (c.oneLine) std::erase(text, '\n');
        test::TempDir dir;
        const std::string path = dir.write("client_state.xml", text);
        const std::size_t fileSize = text.size();
        text = std::string();

        const auto snapshot = takeSnapshot(path);
        ASSERT_TRUE(snapshot);
        ASSERT_EQ(snapshot.state.projectInfo.size(), 2u);
        EXPECT_EQ(snapshot.state.projectInfo.back().values.get(Key::project_name), "P1");
        ASSERT_EQ(snapshot.rows.main_result_table.size(), 4u);
        EXPECT_EQ(cell(snapshot.rows.main_result_table[0], "State"), "running...");
        // Only the indentation and line breaks are gone.
        EXPECT_GT(snapshot.state.file.text.size(), fileSize * 9 / 10);
    }
}

TEST(BigInputs, FileOfNulBytesHasNoProjects) {
    test::TempDir dir;
    const auto outcome = test::snapshotWithin(dir.write("client_state.xml", std::string(16u << 20, '\0')));
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->projects, 0u);
    EXPECT_EQ(outcome->rows, 0u);
}

// NUL bytes and invalid UTF-8 inside values are kept as they are; the reports
// still come out as valid UTF-8 (the JSON with the NUL escaped).
TEST(BigInputs, NulBytesAndInvalidUtf8InValues) {
    const std::string name = "A\0B \xFF\xFE \xC3( \xE2\x80 \xF0\x9F\x98 \xED\xA0\x80 end"s;
    std::string text = test::stateText(1, 1);
    text.replace(text.find("P0"), 2, name);
    text.replace(text.find("wu0_0</wu_name>"), 5, "\xC0\xAF\0\x80"s);
    text.insert(text.find("<project>"), "\xFF\xFF\0\0\xC2\n\xA0"s);
    const Report s = snapshotOf(text);
    ASSERT_EQ(s.snapshot->state.projectInfo.size(), 1u);
    EXPECT_EQ(s.snapshot->state.projectInfo[0].values.get(Key::project_name), name);
    EXPECT_EQ(projectCell(s.snapshot->state.projectInfo[0], "project_name").text, name);
    ASSERT_EQ(s.snapshot->rows.main_result_table.size(), 1u);
    EXPECT_EQ(cell(s.snapshot->rows.main_result_table[0], "WUnit"), "\xC0\xAF\0\x80"s);
    expectValidReports(s);
    std::ostringstream json;
    writeJsonReport(json, s, {"f", now, std::nullopt, 80});
    // The NUL escaped, each invalid byte one U+FFFD.
    EXPECT_NE(json.str().find(R"("project_name":"A\u0000B )" "\xEF\xBF\xBD\xEF\xBF\xBD "), std::string::npos);
}

// The client writes UTF-8. A UTF-16 file holds none of the tags as bytes: it
// reads as a file without projects, not as a misread one.
TEST(BigInputs, Utf16FileHasNoProjects) {
    const std::string utf8 = test::stateText(2, 2);
    for (const bool bigEndian : {false, true}) {
        SCOPED_TRACE(bigEndian ? "UTF-16BE" : "UTF-16LE");
        std::string utf16 = bigEndian ? "\xFE\xFF"s : "\xFF\xFE"s;
        for (const char c : utf8) {
            if (bigEndian) utf16 += '\0';
            utf16 += c;
            if (!bigEndian) utf16 += '\0';
        }
        const Report s = snapshotOf(utf16);
        EXPECT_EQ(s.snapshot->state.projectInfo.size(), 0u);
        EXPECT_EQ(s.snapshot->rows.main_result_table.size(), 0u);
        expectValidReports(s);
    }
}

TEST(BigInputs, HundredThousandProjectsWithoutResults) {
    constexpr std::size_t n = 100'000;
    const Report s = snapshotOf(test::stateText(n, 0));
    ASSERT_EQ(s.snapshot->state.projectInfo.size(), n);
    EXPECT_EQ(s.snapshot->rows.main_result_table.size(), 0u);
    EXPECT_DOUBLE_EQ(s.snapshot->rows.totalCredit, 1.5 * n);
    EXPECT_DOUBLE_EQ(s.snapshot->rows.totalShare, 100.0 * n);
    const projectRecord& last = s.snapshot->state.projectInfo.back();
    EXPECT_EQ(projectCell(last, "project_name").text, "P99999");
    EXPECT_EQ(projectCell(last, "resource_share").text, "100.00");
    expectValidReports(s);
}

// One project with 200,000 results, each with its workunit, and an active
// task for every other result, plus tasks that name no result: the joins and
// the merge stay exact (the first result of a name takes its tasks) and cost
// the sum of tasks and results, not their product.
TEST(BigInputs, OneProjectWithTwoHundredThousandResults) {
    constexpr std::size_t n = 200'000;
    const auto resultName = [](std::size_t i) {
        // Two results share a name: only the first takes the task for it.
        return i == 11 || i == n - 11 ? std::string("twin") : "r" + std::to_string(i);
    };
    std::string text = "<client_state>\n<project>\n<master_url>http://p/</master_url>\n"
                       "<project_name>Big</project_name>\n<resource_share>50</resource_share>\n</project>\n";
    for (std::size_t i = 0; i < n; ++i) {
        const std::string id = std::to_string(i);
        text += "<workunit>\n<name>wu" + id + "</name>\n<app_name>a" + id + "</app_name>\n<version_num>" + id +
                "</version_num>\n</workunit>\n<result>\n<name>" + resultName(i) + "</name>\n<wu_name>wu" + id +
                "</wu_name>\n<state>2</state>\n</result>\n";
    }
    const auto task = [](const std::string& name, const char* fraction) {
        return "<active_task>\n<project_master_url>http://p/</project_master_url>\n<result_name>" + name +
               "</result_name>\n<scheduler_state>2</scheduler_state>\n<fraction_done>" + fraction +
               "</fraction_done>\n<current_cpu_time>60</current_cpu_time>\n</active_task>\n";
    };
    text += "<active_task_set>\n";
    for (std::size_t i = 0; i < n; i += 2) text += task(resultName(i), "0.5");  // every other result runs
    for (std::size_t i = 0; i < n / 2; ++i) text += task("gone" + std::to_string(i), "0.5");
    text += task("twin", "0.25");
    text += "</active_task_set>\n";

    const Report s = snapshotOf(text);
    ASSERT_EQ(s.snapshot->state.projectInfo.size(), 1u);
    const auto& rows = s.snapshot->rows.main_result_table;
    ASSERT_EQ(rows.size(), n);
    for (const std::size_t i : {std::size_t{0}, std::size_t{1}, std::size_t{12}, n / 2, n - 2, n - 1}) {
        SCOPED_TRACE(i);
        const resultRow& row = rows[i];
        EXPECT_EQ(row.get(Key::name), "r" + std::to_string(i));
        EXPECT_EQ(row.get(Key::app_name), "a" + std::to_string(i));
        EXPECT_EQ(cell(row, "Version"), formatFixed(static_cast<double>(i) / 100.0, 2));
        EXPECT_EQ(cell(row, "State"), i % 2 == 0 ? "running..." : "Waiting");
        EXPECT_EQ(cell(row, "CPUTime"), i % 2 == 0 ? "00:01:00" : "<none>");
    }
    EXPECT_EQ(cell(rows[11], "Progress"), "25.00%");
    EXPECT_EQ(cell(rows[n - 11], "Progress"), "<none>");
}

}  // namespace
}  // namespace crunchwatch
