// The client's words as the tables give them: notices and scheduler
// messages from their files beside the state file, their HTML made plain
// or harmless, and the event log read on from refresh to refresh.

#include <filesystem>
#include <fstream>

#include "state/notices.hpp"
#include "tables/client_words.hpp"
#include "tables/refresher.hpp"
#include "tables/table_definition.hpp"
#include "test_support.hpp"

namespace crunchwatch {
namespace {

TEST(NoticeHtml, PlainAndHarmless) {
    const struct {
        std::string html, plain, safe;
    } cases[] = {
        {"<p>Hello &amp; <b>welcome</b></p>", "Hello & welcome", "<p>Hello &amp; <b>welcome</b></p>"},
        {"a<script>alert('x')</script>b<style>p{}</style>c", "abc", "abc"},
        {"<img src=http://evil.invalid/x.png onerror=alert(1)>x", "x", "x"},
        {"<a href=\"https://x.invalid/?a=1&amp;b=2\" onclick=\"y()\">go</a>", "go",
         "<a href=\"https://x.invalid/?a=1&amp;b=2\">go</a>"},
        {"<a href=\"javascript:alert(1)\">no</a><a href=' java\tscript:x'>no</a>", "nono", "nono"},
        {"<iframe src=http://x></iframe><object data=x></object>t", "t", "t"},
        {"line<br>next<div style=\"background:url(http://x)\">block</div>", "line\nnext\nblock",
         "line<br>next<br>block"},
        {"1 < 2 &#x41;&#66;&bogus; &", "1 < 2 AB&bogus; &", "1 &lt; 2 AB&amp;bogus; &amp;"},
        {"<!-- <script>x</script> -->kept", "kept", "kept"},
        {"<script>never closed", "", ""},
        {"&lt;authenticator&gt;k3y&lt;/authenticator&gt;", "<authenticator>[hidden]</authenticator>",
         "&lt;authenticator&gt;[hidden]&lt;/authenticator&gt;"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(plainTextOfHtml(c.html), c.plain) << c.html;
        EXPECT_EQ(safeHtml(c.html), c.safe) << c.html;
    }
}

TEST(Notices, ArchivesAndSchedulerRepliesBesideTheStateFile) {
    test::TempDir dir;
    std::filesystem::create_directory(dir.path() / "notices");
    dir.write("notices/archive_http___crunch.invalid_rss.xml",
              "<notices>\n<notice>\n<title>Old</title><create_time>100.0</create_time><guid>g1</guid>"
              "<project_name>Crunch</project_name></notice>\n"
              "<notice><description><![CDATA[<p>not </notice> nor <title>T</title></p>]]></description>"
              "<title>New</title><create_time>200.5</create_time><category>news</category></notice>\n</notices>\n");
    std::filesystem::create_symlink("/etc/passwd", dir.path() / "notices/archive_link.xml");
    dir.write("sched_reply_crunch.invalid_test.xml",
              "<scheduler_reply>\n<message priority=\"notice\">Your app is out of date</message>\n"
              "<message priority=\"low\"><![CDATA[a <b>b</b>]]></message></scheduler_reply>\n");
    dir.write("sched_request_crunch.invalid_test.xml", "<authenticator>k</authenticator><message>x</message>");

    const NoticeFiles files = readNoticeFiles(dir.path().string() + "/");
    ASSERT_EQ(files.notices.size(), 2u);
    EXPECT_EQ(files.notices[0].title, "New");  // newest first
    EXPECT_EQ(files.notices[0].description, "<p>not </notice> nor <title>T</title></p>");
    EXPECT_EQ(files.notices[1].guid, "g1");
    ASSERT_EQ(files.unreadable.size(), 1u);  // the link, not followed
    EXPECT_EQ(files.unreadable[0].first, "notices/archive_link.xml");
    ASSERT_EQ(files.messages.size(), 2u);  // the reply's only: the request is never opened
    EXPECT_EQ(files.messages[0].priority, "notice");
    EXPECT_EQ(files.messages[1].text, "a <b>b</b>");
    EXPECT_EQ(files.messages[1].escapedUrl, "crunch.invalid_test");

    // The table: a message carries its project's name, found by its URL.
    dir.write("client_state.xml",
              "<client_state>\n<project>\n<master_url>http://crunch.invalid/test/</master_url>\n"
              "<project_name>Crunch Test</project_name>\n</project>\n</client_state>\n");
    Refresher refresher;
    const auto value = refresher.refresh(StatePath((dir.path() / "client_state.xml").string()));
    ASSERT_EQ(noticesTable.size(*value), 4u);
    bool found = false;
    for (std::size_t i = 0; i < 4; ++i)
        if (const NoticeRow row = noticeRowOf(*value, i); row.message) {
            EXPECT_EQ(row.projectName, "Crunch Test");
            found = true;
        }
    EXPECT_TRUE(found);
}

TEST(Notices, TheEventLogIsReadOnAndShownFromItsNewestEntries) {
    test::TempDir dir;
    dir.write("client_state.xml", "<client_state>\n</client_state>\n");
    std::string lines;
    for (int i = 0; i < 5; ++i) lines += "09-Dec-2026 14:05:3" + std::to_string(i) + " [---] line " + std::to_string(i) + "\n";
    dir.write("stdoutdae.txt", lines);
    dir.write("stderrdae.txt", "");
    Refresher refresher;
    WordsOptions options;
    options.shownEntries = 3;
    options.systemLog.clear();
    refresher.setWords(options);
    const StatePath path((dir.path() / "client_state.xml").string());
    const auto first = refresher.refresh(path);
    ASSERT_TRUE(first->events->shown);
    EXPECT_EQ(first->events->shown->kind, EventSourceKind::clientFile);
    ASSERT_EQ(eventsTable.size(*first), 3u);
    EXPECT_EQ(eventRowOf(*first, 0).entry.text, "line 2");
    EXPECT_EQ(refresher.refreshWords(path), nullptr);  // nothing new: no new value

    std::ofstream(dir.path() / "stderrdae.txt", std::ios::app) << "09-Dec-2026 14:05:40 [---] broken\n";
    const auto next = refresher.refreshWords(path);
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(next->snapshot, first->snapshot);  // the state file was not read again
    ASSERT_EQ(eventsTable.size(*next), 3u);
    const EventRow last = eventRowOf(*next, 2);
    EXPECT_EQ(last.entry.text, "broken");
    EXPECT_EQ(columnOf(EventColumn::text).tone(last, 0), Tone::failed);
}

}  // namespace
}  // namespace crunchwatch

namespace crunchwatch {
namespace {

// One line per entry, the window's copy and the dump's alike.
TEST(EventLine, AsTheClientListsIt) {
    const struct {
        EventEntry entry;
        const char* line;
    } cases[] = {
        {{"09-Dec-2026 14:05:31", "Einstein@Home", "Started download", EventSeverity::untold},
         "09-Dec-2026 14:05:31 [Einstein@Home] Started download"},
        {{"09-Dec-2026 14:05:31", "", "Starting BOINC client", EventSeverity::untold},
         "09-Dec-2026 14:05:31 [---] Starting BOINC client"},
        {{"", "Einstein@Home", "no moment", EventSeverity::untold}, "[Einstein@Home] no moment"},
        {{"09-Dec-2026 14:05:34", "Crunch Test", "Disk is full", EventSeverity::error},
         "09-Dec-2026 14:05:34 [Crunch Test] [error] Disk is full"},
        {{"", "", "before any moment", EventSeverity::error}, "[error] before any moment"},
    };
    for (const auto& c : cases) EXPECT_EQ(eventLine(c.entry), c.line);
}

}  // namespace
}  // namespace crunchwatch
