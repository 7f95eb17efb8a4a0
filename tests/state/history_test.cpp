#include "state/history.hpp"

#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "state/history_match.hpp"
#include "test_support.hpp"

namespace crunchwatch {
namespace {

namespace fs = std::filesystem;

std::string statisticsText(const std::string& url, const std::string& day) {
    return "<project_statistics>\n<master_url>" + url + "</master_url>\n<daily_statistics>\n<day>" + day +
           "</day>\n<user_total_credit>10</user_total_credit>\n</daily_statistics>\n</project_statistics>\n";
}

std::vector<std::string> namesOf(const History& h) {
    std::vector<std::string> names;
    for (const auto& f : h.statisticsFiles()) names.push_back(f.name + (f.statistics ? "" : " (unread)"));
    for (const auto& f : h.jobLogFiles()) names.push_back(f.name + (f.read ? "" : " (unread)"));
    return names;
}

TEST(EscapedMasterUrl, IsTheClientsFileName) {
    const std::pair<const char*, const char*> cases[] = {
        {"http://crunch.invalid/test/", "crunch.invalid_test"},
        {"https://einsteinathome.org/", "einsteinathome.org"},
        {"http://www.worldcommunitygrid.org", "www.worldcommunitygrid.org"},
        {"http://a.b/c__/", "a.b_c__"},  // only one trailing _ goes
        {"ftp://x:8080/a?b=c&d", "ftp___x_8080_a_b_c_d"},
        {"HTTP://Upper.case/", "HTTP___Upper.case"},  // the scheme is matched as written
        {"http://ünï.org/", "__n__.org"},  // each byte of a non-ASCII character
        {"", ""},
    };
    for (const auto& [url, escaped] : cases) EXPECT_EQ(escapedMasterUrl(url), escaped) << url;
}

TEST(History, ListsMatchesAndLabelsTheFiles) {
    test::TempDir dir;
    dir.write("statistics_b.org.xml", statisticsText("http://b.org/", "200"));
    dir.write("statistics_a.org.xml", statisticsText("http://a.org/", "100"));
    dir.write("statistics_gone.xml", statisticsText("http://gone/", "1"));
    dir.write("job_log_b.org.txt", "1 nm x ct 10\n2 nm y ct 5\n");
    dir.write("job_log_c.org.txt", "1 nm z\n");
    dir.write("job_log_.txt", "");         // too short to name a project: not a job log
    dir.write("statistics_b.org.xml~", ""); // an editor's backup
    fs::create_directory(dir.path() / "job_log_d.txt");
    ::mkfifo((dir.path() / "statistics_fifo.xml").c_str(), 0600);

    History h;
    ASSERT_TRUE(h.refresh(dir.path().string()));
    EXPECT_EQ(namesOf(h), (std::vector<std::string>{"statistics_a.org.xml", "statistics_b.org.xml",
                                                    "statistics_fifo.xml (unread)", "statistics_gone.xml",
                                                    "job_log_b.org.txt", "job_log_c.org.txt", "job_log_d.txt (unread)"}));

    const ClientState state = clientStateFromText(
        "<project><master_url>http://b.org/</master_url><project_name>B</project_name></project>"
        "<project><master_url>http://a.org/</master_url></project>"
        "<project><master_url>http://b.org/</master_url><project_name>B again</project_name></project>");
    const HistoryMatch m = matchHistory(h, state.projectInfo);
    using Index = std::optional<std::size_t>;
    EXPECT_EQ(m.statistics, (std::vector<Index>{1, 0, {}, {}}));
    EXPECT_EQ(m.jobLogs, (std::vector<Index>{0, {}, {}}));
    // A matched project without a name, and an unmatched file, show the file's name.
    EXPECT_EQ(historyLabel(h.statisticsFiles()[0].name, m.statistics[0], state.projectInfo), "statistics_a.org.xml");
    EXPECT_EQ(historyLabel(h.statisticsFiles()[1].name, m.statistics[1], state.projectInfo), "B");
    EXPECT_EQ(historyLabel(h.jobLogFiles()[1].name, m.jobLogs[1], state.projectInfo), "job_log_c.org.txt");

    const auto figures = historyFiguresByProject(h, state.projectInfo, m);
    ASSERT_EQ(figures.size(), 3u);
    EXPECT_EQ(figures[0].newestStatisticsDay, std::optional<std::string_view>("200"));
    EXPECT_EQ(figures[0].finishedTasks, 2u);
    EXPECT_DOUBLE_EQ(figures[0].processorSeconds, 15);
    EXPECT_EQ(figures[1].newestStatisticsDay, std::optional<std::string_view>("100"));
    EXPECT_EQ(figures[1].finishedTasks, 0u);
    EXPECT_FALSE(figures[2].newestStatisticsDay);

    // Unchanged: nothing read again, nothing changed. A vanished file goes,
    // an unreadable one keeps what it showed.
    EXPECT_FALSE(h.refresh(dir.path().string()));
    fs::remove(dir.path() / "statistics_gone.xml");
    fs::remove(dir.path() / "job_log_b.org.txt");
    ::mkfifo((dir.path() / "job_log_b.org.txt").c_str(), 0600);  // no longer readable
    EXPECT_TRUE(h.refresh(dir.path().string()));
    EXPECT_EQ(h.statisticsFiles().size(), 3u);
    EXPECT_EQ(h.jobLogFiles()[0].log.size(), 2u);

    // Another directory starts afresh.
    test::TempDir other;
    EXPECT_TRUE(h.refresh(other.path().string()));
    EXPECT_TRUE(h.statisticsFiles().empty());
    EXPECT_TRUE(h.refresh((other.path() / "missing").string()));  // the reason is new
    EXPECT_FALSE(h.refresh((other.path() / "missing").string()));
}

// Everything a history shows, as text.
std::string shown(const History& h) {
    std::string s = std::string("listed: ") + readFailureReason(h.listFailure()) + '\n';
    for (const auto& f : h.statisticsFiles()) {
        s += f.name + ": " + readFailureReason(f.failure);
        if (f.statistics)
            for (const auto& d : f.statistics->days) s += " day " + std::string(d.day.value_or("-"));
        s += '\n';
    }
    for (const auto& f : h.jobLogFiles()) {
        s += f.name + ": " + readFailureReason(f.failure) + ", skipped " + std::to_string(f.log.skippedLines()) +
             ", ct " + std::to_string(f.log.processorSeconds());
        for (std::size_t i = 0; i < f.log.size(); ++i) s += ' ' + std::string(f.log.field(i, JobField::nm).value_or("-"));
        s += '\n';
    }
    return s;
}

TEST(History, ACopyKeepsWhatItShowedWhileTheOriginalIsRefreshed) {
    test::TempDir dir;
    const std::string log = dir.write("job_log_a.txt", "1 nm a ct 1\n");
    const std::string statistics = dir.write("statistics_a.xml", statisticsText("http://a/", "100"));
    const auto append = [&](const char* text) { std::ofstream(log, std::ios::app | std::ios::binary) << text; };
    const std::pair<const char*, std::function<void()>> steps[] = {
        {"a line appended", [&] { append("2 nm b ct 2\n"); }},
        {"a line half written", [&] { append("3 nm c"); }},
        {"the rest of that line", [&] { append(" ct 3\n4 x\n"); }},
        {"both files rewritten", [&] {
             dir.write("job_log_a.txt", "9 nm z\n");
             dir.write("statistics_a.xml", statisticsText("http://a/", "200"));
         }},
        {"the log made unreadable", [&] {
             fs::remove(log);
             fs::create_directory(log);
         }},
        {"both deleted", [&] { fs::remove(log), fs::remove(statistics); }},
    };
    History h;
    ASSERT_TRUE(h.refresh(dir.path().string()));
    for (const auto& [what, change] : steps) {
        SCOPED_TRACE(what);
        const History copy = h;
        const std::string before = shown(copy);
        // The copy is read on another thread while the original is refreshed.
        auto reading = std::async(std::launch::async, [&] {
            for (int i = 0; i < 100; ++i)
                if (shown(copy) != before) return false;
            return true;
        });
        change();
        EXPECT_TRUE(h.refresh(dir.path().string()));
        EXPECT_TRUE(reading.get());
        EXPECT_EQ(shown(copy), before);
        EXPECT_NE(shown(h), before);
    }
}

TEST(History, SaysWhyAFileOrTheDirectoryCouldNotBeRead) {
    test::TempDir dir;
    fs::create_directory(dir.path() / "job_log_folder.txt");
    ::mkfifo((dir.path() / "statistics_fifo.xml").c_str(), 0600);
    const std::string locked = dir.write("job_log_locked.txt", "1 nm a\n");
    ::chmod(locked.c_str(), 0);
    const bool root = ::geteuid() == 0;  // root reads every file
    History h;
    ASSERT_TRUE(h.refresh(dir.path().string()));
    EXPECT_EQ(shown(h), std::string("listed: it was read\n") +
                            "statistics_fifo.xml: it is not a regular file\n"
                            "job_log_folder.txt: it is not a regular file, skipped 0, ct 0.000000\n"
                            "job_log_locked.txt: " + readFailureReason(root ? ReadFailure::none : ReadFailure::permissionDenied) +
                            ", skipped 0, ct 0.000000" + (root ? " a" : "") + "\n");

    // Readable again: the reason goes with the next read.
    fs::remove(dir.path() / "job_log_folder.txt");
    dir.write("job_log_folder.txt", "1 nm b\n");
    EXPECT_TRUE(h.refresh(dir.path().string()));
    EXPECT_EQ(h.jobLogFiles()[0].failure, ReadFailure::none);
    EXPECT_EQ(h.jobLogFiles()[0].log.size(), 1u);

    // A directory that cannot be listed says why and keeps what it showed.
    const std::string moved = dir.path().string() + ".moved";
    fs::rename(dir.path(), moved);
    EXPECT_TRUE(h.refresh(dir.path().string()));
    EXPECT_EQ(h.listFailure(), ReadFailure::notFound);
    EXPECT_EQ(h.jobLogFiles()[0].log.size(), 1u);
    fs::rename(moved, dir.path());
    EXPECT_TRUE(h.refresh(dir.path().string()));
    EXPECT_EQ(h.listFailure(), ReadFailure::none);

    const std::string closed = (dir.path() / "closed").string();
    fs::create_directory(closed);
    ::chmod(closed.c_str(), 0);
    const std::pair<std::string, ReadFailure> unlistable[] = {
        {"", ReadFailure::noPath},
        {locked, ReadFailure::notFound},
        {(dir.path() / "none").string(), ReadFailure::notFound},
        {closed, root ? ReadFailure::none : ReadFailure::permissionDenied}};
    for (const auto& [path, why] : unlistable) {
        History fresh;
        fresh.refresh(path);
        EXPECT_EQ(fresh.listFailure(), why) << path;
    }
    ::chmod(closed.c_str(), 0700);
}

}  // namespace
}  // namespace crunchwatch
