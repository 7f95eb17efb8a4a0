// Files of very many of the smallest elements the readers cut (a project's
// flag, a transfer, an application, a task whose name repeats): each is kept
// as little as it holds, and every view still shows each one, in order.

#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "dump/metrics_report.hpp"
#include "hostile/hostile_support.hpp"
#include "tables/table_definition.hpp"

namespace crunchwatch {
namespace {

constexpr double now = 1796150000;
constexpr std::size_t n = 20'000;

std::size_t count(const std::string& text, const std::string& piece) {
    std::size_t found = 0;
    for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++found;
    return found;
}

std::string json(const Report& r) {
    std::ostringstream out;
    writeJsonReport(out, r, {"client_state.xml", now, "%Y", 100});
    return out.str();
}

std::string metrics(const Report& r) {
    std::ostringstream out;
    writePrometheusReport(out, &r, {"client_state.xml", std::nullopt, now, true});
    return out.str();
}

std::string numbered(std::size_t times, const auto& piece) {
    std::string text;
    for (std::size_t i = 0; i < times; ++i) text += piece(std::to_string(i), i);
    return text;
}

TEST(ManyElements, EachIsShownWhereverItIsRead) {
    const struct Case {
        const char* what;
        std::string text;
        void (*check)(const Report&);
    } cases[] = {
        {"a flag per project, the last project's own values",
         "<client_state>" + numbered(n, [](const std::string&, std::size_t) { return "<project><ended/>"; }) +
             "<project><project_name>Last</project_name><disk_usage>4096</disk_usage></project></client_state>",
         [](const Report& r) {
             EXPECT_EQ(projectsTable.size(r), n + 1);
             ASSERT_EQ(diskTable.size(r), n + 2) << "the projects, then the client's own files";
             EXPECT_EQ(diskTable.row(r, n).name, "Last");
             EXPECT_EQ(diskTable.row(r, n).recorded, "4096");
             EXPECT_EQ(diskTable.row(r, n + 1).name, "BOINC client");
             const std::string j = json(r);
             EXPECT_EQ(count(j, "\"flags\":[\"ended\"]"), n);
             EXPECT_EQ(count(j, "\"client_recorded\":4096"), 1u);
         }},
        {"transfers, every thousandth running",
         "<client_state><project><project_name>P</project_name>" +
             numbered(n,
                      [](const std::string& id, std::size_t i) {
                          return "<file><name>f" + id + "</name><persistent_file_xfer><is_upload>" +
                                 std::to_string(i % 2) + "</is_upload><num_retries>1</num_retries>" +
                                 "</persistent_file_xfer>" +
                                 (i % 1000 == 0 ? "<file_xfer><bytes_xferred>7</bytes_xferred></file_xfer>" : "") +
                                 "</file>";
                      }) +
             "</client_state>",
         [](const Report& r) {
             ASSERT_EQ(transfersTable.size(r), n);
             EXPECT_EQ(transfersTable.row(r, n - 1).transfer.name, "f19999");
             EXPECT_EQ(transfersTable.row(r, 3000).transfer.bytes_xferred, "7");
             EXPECT_FALSE(transfersTable.row(r, 3001).transfer.bytes_xferred);
             const std::string m = metrics(r);
             EXPECT_NE(m.find("crunchwatch_transfers{direction=\"upload\"} 10000\n"), std::string::npos);
             EXPECT_EQ(count(m, "\ncrunchwatch_transfer_retries{"), n);
             EXPECT_EQ(count(json(r), "\"bytes_done\":\"7\","), n / 1000);
         }},
        {"applications of one project",
         "<client_state><project>" + numbered(n, [](const std::string& id, std::size_t) {
             return "<app><name>a" + id + "</name><user_friendly_name>A" + id + "</user_friendly_name></app>";
         }) + "</client_state>",
         [](const Report& r) {
             const ProjectStatus s = r.snapshot->state.clientStatus.of(0);
             ASSERT_EQ(s.apps.size(), n);
             EXPECT_EQ(s.apps[n - 1].name, "a19999");
             EXPECT_EQ(s.apps[n - 1].user_friendly_name, "A19999");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.check(*valueOfText(c.text));
    }
}

// A table is printed as it is made, row by row, but its columns are as wide
// as their widest cell, even when that is the last row's.
TEST(ManyElements, TextTablesAreAsWideAsTheirWidestCellAnywhere) {
    const std::string longest = "a name longer than all others";
    const std::string text = "<client_state>" + numbered(n, [&](const std::string&, std::size_t i) {
        return "<project><project_name>" + (i + 1 == n ? longest : std::string("p")) +
               "</project_name><user_total_credit>1</user_total_credit></project>";
    }) + "</client_state>";
    std::ostringstream out;
    writeTextReport(out, *valueOfText(text), {"client_state.xml", now, "%Y", 100});
    const std::string report = out.str();
    const std::size_t table = report.find("\nProjects\n\n");
    ASSERT_NE(table, std::string::npos);
    std::istringstream lines(report.substr(table + 11));
    std::string header, rule, first;
    std::getline(lines, header);
    std::getline(lines, rule);
    std::getline(lines, first);
    EXPECT_EQ(header.find("User credit"), longest.size() + 2);
    EXPECT_EQ(first.find('1'), header.find("User credit"));
    EXPECT_EQ(first.find("1970"), header.find("User since"));
}

// Tasks whose names repeat, in a project of more than a handful (so that
// they are looked up by an index): each name is one series, the first task's,
// and names that read the same once made valid UTF-8 are one name.
TEST(ManyElements, TaskSeriesAreOncePerNameAsTheLabelsShowIt) {
    std::string text = "<client_state><project><master_url>http://p/</master_url>";
    for (std::size_t i = 0; i < 40; ++i) {
        const std::string name = i % 10 == 3 ? "twin" : i == 20 ? "c\xFF" : i == 21 ? "c\xEF\xBF\xBD" : "t" + std::to_string(i);
        text += "<result><name>" + name + "</name><state>2</state><report_deadline>" + std::to_string(1800000000 + i) +
                "</report_deadline></result>";
    }
    const std::string m = metrics(*valueOfText(text + "</client_state>"));
    EXPECT_EQ(count(m, "\ncrunchwatch_task_deadline_timestamp_seconds{"), 40u - 3u - 1u);
    EXPECT_NE(m.find("task=\"twin\"} 1800000003\n"), std::string::npos) << "the first of the name";
    EXPECT_NE(m.find("task=\"c\xEF\xBF\xBD\"} 1800000020\n"), std::string::npos);
    EXPECT_EQ(m.find("1800000021\n"), std::string::npos);
}

}  // namespace
}  // namespace crunchwatch
