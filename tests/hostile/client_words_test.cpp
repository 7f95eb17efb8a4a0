// The client's words when they are huge or hostile: an event log of one
// 64 MB line, a FIFO or a link where the log or a notices archive should
// be, 100,000 notices. Each is read, or refused, at once; none may hang or crash.

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "state/event_log.hpp"
#include "state/notices.hpp"
#include "state/redact.hpp"
#include "tables/client_words.hpp"
#include "test_support.hpp"

namespace crunchwatch {
namespace {

TEST(HostileWords, OneLineOf64MegabytesIsOneEntry) {
    test::TempDir dir;
    std::string huge = "09-Dec-2026 14:05:31 [P] ";
    huge.append(64u << 20, 'x');
    const std::string path = dir.write("stdoutdae.txt", huge);
    EventLog log;
    EventLogFile file(path, std::nullopt);
    ReadFailure why{};
    ASSERT_TRUE(file.readOn(log, why));
    EXPECT_EQ(log.size(), 0u);  // still being written
    std::ofstream(path, std::ios::app) << "\n09-Dec-2026 14:05:32 [P] after\n";
    ASSERT_TRUE(file.readOn(log, why));
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log.entry(0).text.size(), 64u << 20);
    EXPECT_EQ(log.entry(1).text, "after");
}

TEST(HostileWords, SpecialFilesAreRefused) {
    test::TempDir dir;
    ASSERT_EQ(::mkfifo((dir.path() / "stdoutdae.txt").c_str(), 0600), 0);
    EventLog log;
    ReadFailure why{};
    EXPECT_FALSE(EventLogFile((dir.path() / "stdoutdae.txt").string(), std::nullopt).readOn(log, why));
    EXPECT_EQ(why, ReadFailure::notRegularFile);

    std::filesystem::create_directory(dir.path() / "notices");
    ASSERT_EQ(::mkfifo((dir.path() / "notices/archive_fifo.xml").c_str(), 0600), 0);
    std::filesystem::create_directory(dir.path() / "notices/archive_dir.xml");
    std::filesystem::create_symlink("../gui_rpc_auth.cfg", dir.path() / "sched_reply_link.xml");
    const NoticeFiles files = readNoticeFiles(dir.path().string() + "/");
    EXPECT_TRUE(files.notices.empty());
    EXPECT_TRUE(files.messages.empty());
    EXPECT_EQ(files.unreadable.size(), 3u);
}

TEST(HostileWords, HundredThousandNotices) {
    std::string archive = "<notices>\n";
    for (int i = 0; i < 100000; ++i)
        archive += "<notice><title>n" + std::to_string(i) +
                   "</title><description><![CDATA[<img src=http://x.invalid/a.png><script>x()</script>t]]>"
                   "</description><create_time>" + std::to_string(i) + "</create_time></notice>\n";
    test::TempDir dir;
    std::filesystem::create_directory(dir.path() / "notices");
    dir.write("notices/archive_big.xml", archive + "</notices>\n");
    const NoticeFiles files = readNoticeFiles(dir.path().string() + "/");
    ASSERT_EQ(files.notices.size(), 100000u);
    EXPECT_EQ(files.notices.front().title, "n99999");
    EXPECT_EQ(safeHtml(files.notices.front().description), "t");

    // Many sections before a distant end, or secrets' names on one long
    // line: each is one pass, not one per section or name.
    std::string sections = "<notice><description>";
    for (int i = 0; i < 200000; ++i) sections += "<![CDATA[x]]>";
    const auto one = readNoticesArchive(sections + "</description></notice>");
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].description.size(), 200000u);
    std::string names;
    for (int i = 0; i < 200000; ++i) names += "<auth>x";
    EXPECT_EQ(hideSecrets(names).size(), names.size() / 7 * 14);
}

}  // namespace
}  // namespace crunchwatch
