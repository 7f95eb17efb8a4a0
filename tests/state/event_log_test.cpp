#include "state/event_log.hpp"

#include <filesystem>
#include <fstream>
#include <vector>

#include "state/redact.hpp"
#include "test_support.hpp"

namespace crunchwatch {
namespace {

struct Expected {
    std::string moment, project, text;
};

std::vector<Expected> entriesOf(const EventLog& log) {
    std::vector<Expected> out;
    for (std::size_t i = 0; i < log.size(); ++i) {
        const EventEntry e = log.entry(i);
        out.push_back({std::string(e.moment), std::string(e.project), std::string(e.text)});
    }
    return out;
}

bool operator==(const Expected& a, const Expected& b) {
    return a.moment == b.moment && a.project == b.project && a.text == b.text;
}
void PrintTo(const Expected& e, std::ostream* os) { *os << "{" << e.moment << "|" << e.project << "|" << e.text << "}"; }

constexpr const char* m1 = "09-Dec-2026 14:05:31";
constexpr const char* m2 = "09-Dec-2026 14:05:32";

TEST(EventLog, CutsTheClientsLinesApart) {
    const struct {
        const char* name;
        std::string text;
        std::vector<Expected> entries;
    } cases[] = {
        {"project and text", std::string(m1) + " [Crunch Test] Starting task x\n", {{m1, "Crunch Test", "Starting task x"}}},
        {"the client's own", std::string(m1) + " [---] Libraries: libcurl\n", {{m1, "", "Libraries: libcurl"}}},
        {"leading spaces kept", std::string(m1) + " [---]    max memory usage: 12 MB\n",
         {{m1, "", "   max memory usage: 12 MB"}}},
        {"debug tag stays in the text", std::string(m1) + " [Crunch Test] [sched_op] Deferring\n",
         {{m1, "Crunch Test", "[sched_op] Deferring"}}},
        {"no bracket is an entry of its own",
         std::string(m1) + " [---] a\n" + m2 + " Initialization completed\n",
         {{m1, "", "a"}, {m2, "", "Initialization completed"}}},
        {"continuations join", std::string(m1) + " [P] crash\nframe 1\n  frame 2\n" + m2 + " [P] next\n",
         {{m1, "P", "crash\nframe 1\n  frame 2"}, {m2, "P", "next"}}},
        {"text before any moment", "stray\nmore\n" + std::string(m1) + " [P] x\n", {{"", "", "stray\nmore"}, {m1, "P", "x"}}},
        {"CR LF and no last line feed", std::string(m1) + " [P] a\r\n" + m2 + " [P] b", {{m1, "P", "a"}, {m2, "P", "b"}}},
        {"unclosed bracket is text", std::string(m1) + " [P no close\n", {{m1, "", "[P no close"}}},
        {"not a moment", "9-Dec-2026 14:05:31 [P] x\n", {{"", "", "9-Dec-2026 14:05:31 [P] x"}}},
        {"NUL and bad UTF-8 kept", std::string(m1) + " [P] a" + std::string(1, '\0') + "\xff\n",
         {{m1, "P", "a" + std::string(1, '\0') + "\xff"}}},
    };
    for (const auto& c : cases) EXPECT_EQ(entriesOf(EventLog::fromText(c.text)), c.entries) << c.name;
}

class MomentTest : public test::ZonedTest {};

TEST_F(MomentTest, ReadsAndWritesTheClientsMoments) {
    EXPECT_EQ(momentSeconds("09-Dec-2026 14:05:31"), 1796825131.0);
    EXPECT_EQ(momentText(1796825131.0), "09-Dec-2026 14:05:31");
    for (const char* bad : {"31-Feb-2026 14:05:31", "09-Foo-2026 14:05:31", "09-Dec-2026 25:05:31", "09-Dec-2026"})
        EXPECT_FALSE(momentSeconds(bad)) << bad;
    useZone("CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_EQ(momentSeconds("01-Jul-2026 12:00:00"), 1782900000.0);  // 10:00 UTC, summer time
}

class EventLogFileTest : public ::testing::Test {
protected:
    test::TempDir dir;
    std::string path = (dir.path() / "stdoutdae.txt").string(), old = (dir.path() / "stdoutdae.old").string();
    EventLog log;
    EventLogFile file{path, old};

    void append(const std::string& text) { std::ofstream(path, std::ios::app | std::ios::binary) << text; }
    void read() {
        ReadFailure why{};
        ASSERT_TRUE(file.readOn(log, why)) << readFailureReason(why);
    }
    std::string line(int n) { return std::string(m1) + " [P] line " + std::to_string(n) + "\n"; }
};

TEST_F(EventLogFileTest, ReadsOnAsTheClientAppends) {
    dir.write("stdoutdae.old", line(0));
    dir.write("stdoutdae.txt", line(1));
    read();
    ASSERT_EQ(log.size(), 2u);  // the rotated copy first
    EXPECT_EQ(log.entry(0).text, "line 0");
    EXPECT_FALSE(file.changed());

    append(line(2) + "continued");  // a line still being written waits for its end
    EXPECT_TRUE(file.changed());
    read();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log.entry(2).text, "line 2");
    const EventLog copy = log;  // a copy handed out stays as it was
    append(" here\n" + line(3));
    read();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log.entry(2).text, "line 2\ncontinued here");
    EXPECT_EQ(copy.size(), 3u);
    EXPECT_EQ(copy.entry(2).text, "line 2");
}

TEST_F(EventLogFileTest, FollowsRotationAndTruncation) {
    dir.write("stdoutdae.txt", line(1));
    read();
    // The client copies the full file to .old and empties it, after one last line.
    append(line(2));
    std::filesystem::copy_file(path, old, std::filesystem::copy_options::overwrite_existing);
    dir.write("stdoutdae.txt", line(3));
    read();
    EXPECT_EQ(entriesOf(log), (std::vector<Expected>{{m1, "P", "line 1"}, {m1, "P", "line 2"}, {m1, "P", "line 3"}}));

    // Renamed away instead, with a new file in its place.
    append(line(4));
    std::filesystem::rename(path, old);
    dir.write("stdoutdae.txt", line(5));
    read();
    EXPECT_EQ(log.size(), 5u);
    EXPECT_EQ(log.entry(4).text, "line 5");

    // Cut short with no rotated copy made: what came from it is read again.
    dir.write("stdoutdae.txt", line(5) + line(6) + line(7));
    read();
    std::filesystem::resize_file(path, line(5).size());
    std::filesystem::last_write_time(old, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
    read();
    EXPECT_EQ(log.size(), 5u);
    EXPECT_EQ(log.entry(4).text, "line 5");
}

TEST(EventLog, KeepsTheNewestPieces) {
    EventLog log;
    for (int i = 0; i < 10; ++i) log.append(std::string(m1) + " [P] " + std::string(100, 'x') + "\n", EventSeverity::error);
    log.keepNewest(350);
    EXPECT_EQ(log.size(), 2u);
    EXPECT_EQ(log.entry(1).severity, EventSeverity::error);
}

TEST(Secrets, AreHiddenWhereverTheClientQuotesThem) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"<authenticator>abc123</authenticator>", "<authenticator>[hidden]</authenticator>"},
        {"x <Account_Key>k</Account_Key> y", "x <Account_Key>[hidden]</Account_Key> y"},
        {"GET /rpc.php?auth=abc&x=1 HTTP", "GET /rpc.php?auth=[hidden]&x=1 HTTP"},
        {"passwd_hash=\"0f0f\" user", "passwd_hash=\"[hidden]\" user"},
        {"<authenticator>runs to the end\nnext", "<authenticator>[hidden]\nnext"},
        {"author=me authority <auth_level>3</auth_level>", "author=me authority <auth_level>3</auth_level>"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(hideSecrets(c.in), c.out) << c.in;
        EXPECT_EQ(mayHoldSecret(c.in), c.in != c.out) << c.in;
    }
    const EventLog log = EventLog::fromText(std::string(m1) + " [P] Sent <authenticator>s3cr3t</authenticator>\n");
    EXPECT_EQ(log.entry(0).text, "Sent <authenticator>[hidden]</authenticator>");
}

}  // namespace
}  // namespace crunchwatch
