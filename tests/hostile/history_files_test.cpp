// Hostile things where the history files are looked for: a job log of one
// 64 MB line, NUL bytes, a directory and FIFOs under history file names,
// 10,000 statistics files. Each refresh ends, shows what the files hold (or
// nothing for what is not a regular file), and writes nothing there.

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <tuple>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "dump/json_writer.hpp"
#include "hostile/hostile_support.hpp"
#include "state/history.hpp"
#include "test_support.hpp"

namespace crunchwatch {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// Every entry of a directory with its type, size and modification time.
std::map<std::string, std::tuple<int, std::uintmax_t, std::int64_t>> listingOf(const fs::path& dir) {
    std::map<std::string, std::tuple<int, std::uintmax_t, std::int64_t>> out;
    for (const auto& e : fs::directory_iterator(dir)) {
        struct stat st {};
        ::lstat(e.path().c_str(), &st);
        out[e.path().filename().string()] = {static_cast<int>(st.st_mode), static_cast<std::uintmax_t>(st.st_size),
                                             static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
    }
    return out;
}

TEST(HostileHistory, OddFilesUnderHistoryNamesNeitherHangNorShow) {
    test::TempDir dir;
    const std::string state = dir.write("client_state.xml", test::stateText(1, 1));
    const std::string longName(64 << 20, 'x');
    dir.write("job_log_huge.txt", "1796150000 ct 5 nm " + longName + " es 0\n2 nm after\n");
    dir.write("job_log_nul.txt", "1\0 nm a\n2 nm b\0c es \0\n\0\0\0\n"s);
    dir.write("statistics_nul.xml", "<master_url>a\0b</master_url><daily_statistics><day>\0</day>"s);
    fs::create_directory(dir.path() / "job_log_x.txt");
    ::mkfifo((dir.path() / "job_log_fifo.txt").c_str(), 0600);
    ::mkfifo((dir.path() / "statistics_fifo.xml").c_str(), 0600);
    fs::create_symlink("/dev/zero", dir.path() / "job_log_zero.txt");
    const auto before = listingOf(dir.path());

    ASSERT_TRUE(test::snapshotWithin(state));  // nothing blocks on the FIFOs or reads /dev/zero
    const RefreshValuePtr value = readReport(state);
    const Report& report = *value;
    ASSERT_TRUE(report);
    const History& h = report.history->history;
    std::vector<std::string> shown;
    for (const auto& f : h.jobLogFiles())
        if (f.read) shown.push_back(f.name);
    for (const auto& f : h.statisticsFiles())
        if (f.statistics) shown.push_back(f.name);
    EXPECT_EQ(shown, (std::vector<std::string>{"job_log_huge.txt", "job_log_nul.txt", "statistics_nul.xml"}));
    // The others say why they were not read.
    std::map<std::string, ReadFailure> failures;
    for (const auto& f : h.jobLogFiles()) failures[f.name] = f.failure;
    for (const auto& f : h.statisticsFiles()) failures[f.name] = f.failure;
    const std::map<std::string, ReadFailure> expected{
        {"job_log_fifo.txt", ReadFailure::notRegularFile}, {"job_log_huge.txt", ReadFailure::none},
        {"job_log_nul.txt", ReadFailure::none},           {"job_log_x.txt", ReadFailure::notRegularFile},
        {"job_log_zero.txt", ReadFailure::notRegularFile}, {"statistics_fifo.xml", ReadFailure::notRegularFile},
        {"statistics_nul.xml", ReadFailure::none}};
    EXPECT_EQ(failures, expected);

    const JobLog& huge = h.jobLogFiles()[1].log;  // after job_log_fifo.txt
    ASSERT_EQ(huge.size(), 2u);
    EXPECT_EQ(huge.field(0, JobField::nm)->size(), longName.size());
    const JobLog& nul = h.jobLogFiles()[2].log;
    ASSERT_EQ(nul.size(), 1u);  // "1\0" is not a number; the NUL line is one token
    EXPECT_EQ(*nul.field(0, JobField::nm), "b\0c"s);
    EXPECT_EQ(nul.skippedLines(), 2u);

    std::ostringstream json, text;
    const ReportOptions options{"client_state.xml", 0, "%Y", 100};
    writeJsonReport(json, report, options);
    writeTextReport(text, report, options);
    EXPECT_EQ(validUtf8(json.str()), json.str());
    EXPECT_NE(json.str().find("\"nm\":\"b\\u0000c\""), std::string::npos);
    EXPECT_EQ(listingOf(dir.path()), before);  // nothing written, nothing touched
}

TEST(HostileHistory, TenThousandStatisticsFiles) {
    test::TempDir dir;
    for (int i = 0; i < 10000; ++i)
        dir.write("statistics_p" + std::to_string(i) + ".xml",
                  "<project_statistics><master_url>http://p" + std::to_string(i) +
                      "/</master_url><daily_statistics><day>86400</day></daily_statistics></project_statistics>");
    History h;
    ASSERT_TRUE(h.refresh(dir.path().string()));
    ASSERT_EQ(h.statisticsFiles().size(), 10000u);
    EXPECT_EQ(h.statisticsFiles().front().name, "statistics_p0.xml");
    EXPECT_EQ(h.statisticsFiles().back().name, "statistics_p9999.xml");  // byte order
    EXPECT_FALSE(h.refresh(dir.path().string()));  // unchanged: nothing read again
}

}  // namespace
}  // namespace crunchwatch
