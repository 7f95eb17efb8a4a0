// The client's own words in crunchwatch-dump's output: the event log and the
// notices of a data directory, as JSON, text and metrics, and a canary that
// no secret the directory holds comes out.

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dump/dump_run.hpp"

namespace crunchwatch {
namespace {

namespace fs = std::filesystem;
using test::between;
using test::dump;
using test::Outcome;
using test::run;
using test::TempDir;

constexpr const char* iso = "%Y-%m-%d %H:%M:%S";
// Never the system's journal: only the directory's own files are read.
constexpr const char* noJournal = "/nonexistent/crunchwatch-test.journal";

void setModified(const std::string& path, std::time_t seconds) {
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

// A project, its client's output (a preference line, a line without a
// project, a continuation, terminal escapes), an error on its error stream,
// two notices of its feed and a message of its scheduler's last reply.
std::string writeWords(const TempDir& dir) {
    const std::string state = dir.write(
        "client_state.xml",
        "<project>\n<master_url>http://crunch.invalid/test/</master_url>\n<project_name>Crunch Test</project_name>\n"
        "</project>\n");
    dir.write("stdoutdae.txt",
              "09-Dec-2026 14:05:31 [---] Starting BOINC client version 7.20.5 for x86_64-pc-linux-gnu\n"
              "09-Dec-2026 14:05:31 [---]    max memory usage when active: 12052.61 MB\n"
              "09-Dec-2026 14:05:32 Initialization completed\n"
              "09-Dec-2026 14:05:33 [Crunch Test] Output file spin_0_r1 absent\n"
              "Traceback line one\n"
              "09-Dec-2026 14:05:33 [Crunch Test] Bell\x07 and \x1b[31mred\x1b[0m\n");
    dir.write("stderrdae.txt", "09-Dec-2026 14:05:34 [Crunch Test] Disk is full\n");
    fs::create_directory(dir.path() / "notices");
    const auto notice = [](const char* title, const char* description, const char* time, const char* id) {
        return std::string("<notice>\n<title>") + title + "</title>\n<description><![CDATA[" + description +
               "]]></description>\n<create_time>" + time + "</create_time>\n<arrival_time>" + time +
               "</arrival_time>\n<is_private>0</is_private>\n<project_name>Crunch Test</project_name>\n"
               "<category>news</category>\n<link>http://crunch.invalid/test/forum_thread.php?id=" + id +
               "</link>\n<guid>http://crunch.invalid/test/forum_thread.php?id=" + id + "</guid>\n</notice>\n";
    };
    dir.write("notices/archive_http___crunch.invalid_test_notices.php.xml",
              "<notices>\n" +
                  notice("Old news", "<p>Hello &amp; <b>welcome</b></p><script>alert(1)</script>",
                         "1796800000.000000", "1") +
                  notice("New &amp; shiny", "Plain", "1796810000.000000", "2") + "</notices>\n");
    setModified(dir.write("sched_reply_crunch.invalid_test.xml",
                          "<scheduler_reply>\n<message priority=\"notice\">Your computer is fast</message>\n"
                          "</scheduler_reply>\n"),
                1796820000);
    return state;
}

TEST(DumpWords, EventLogAndNoticesAsJson) {
    const TempDir dir;
    const std::string state = writeWords(dir);
    const Outcome r = dump({"--json", "--journal-file", noJournal, "--event-log-lines", "0", state});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find(",\"event_log_source\":{\"shown\":\"file\",\"name\":\"stdoutdae.txt\",\"available\":[\"file\""),
              std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"chosen\":null,\"problem\":null},"), std::string::npos) << r.out;
    // The error stream's entry stands among the output's; where is the reader's concern.
    std::string events = between(r.out, "\"event_log\":", ",\"notices\":");
    const std::string error = ",{\"time\":\"09-Dec-2026 14:05:34\",\"seconds\":1796825134,\"project\":\"Crunch Test\","
                              "\"text\":\"Disk is full\",\"error\":true}";
    ASSERT_NE(events.find(error), std::string::npos) << events;
    events.erase(events.find(error), error.size());
    EXPECT_EQ(events,
              "\"event_log\":["
              "{\"time\":\"09-Dec-2026 14:05:31\",\"seconds\":1796825131,\"project\":null,"
              "\"text\":\"Starting BOINC client version 7.20.5 for x86_64-pc-linux-gnu\",\"error\":null},"
              "{\"time\":\"09-Dec-2026 14:05:31\",\"seconds\":1796825131,\"project\":null,"
              "\"text\":\"   max memory usage when active: 12052.61 MB\",\"error\":null},"
              "{\"time\":\"09-Dec-2026 14:05:32\",\"seconds\":1796825132,\"project\":null,"
              "\"text\":\"Initialization completed\",\"error\":null},"
              "{\"time\":\"09-Dec-2026 14:05:33\",\"seconds\":1796825133,\"project\":\"Crunch Test\","
              "\"text\":\"Output file spin_0_r1 absent\\nTraceback line one\",\"error\":null},"
              "{\"time\":\"09-Dec-2026 14:05:33\",\"seconds\":1796825133,\"project\":\"Crunch Test\","
              "\"text\":\"Bell\\u0007 and \\u001b[31mred\\u001b[0m\",\"error\":null}]");
    EXPECT_EQ(between(r.out, ",\"notices\":", ",\"alerts\":"),
              ",\"notices\":["
              "{\"title\":null,\"project\":\"Crunch Test\",\"create_time\":1796820000,\"category\":null,"
              "\"link\":null,\"text\":\"Your computer is fast\",\"priority\":\"notice\"},"
              "{\"title\":\"New & shiny\",\"project\":\"Crunch Test\",\"create_time\":1796810000,\"category\":\"news\","
              "\"link\":\"http://crunch.invalid/test/forum_thread.php?id=2\",\"text\":\"Plain\",\"priority\":null},"
              "{\"title\":\"Old news\",\"project\":\"Crunch Test\",\"create_time\":1796800000,\"category\":\"news\","
              "\"link\":\"http://crunch.invalid/test/forum_thread.php?id=1\",\"text\":\"Hello & welcome\","
              "\"priority\":null}]");

    // The newest entries only; a source asked for that does not exist gives the first that does.
    const Outcome two = dump({"--json", "--journal-file", noJournal, "--event-log-lines", "2", "--event-source",
                              "journal", state});
    EXPECT_NE(two.out.find("\"chosen\":\"journal\",\"problem\":null},\"event_log\":[{"), std::string::npos) << two.out;
    const std::string newest = between(two.out, "\"event_log\":", ",\"notices\":");
    EXPECT_EQ(newest.find("\"time\"", newest.find("\"time\"", newest.find("\"time\"") + 1) + 1), std::string::npos)
        << "two entries: " << newest;
    EXPECT_NE(newest.find("\"text\":\"Bell"), std::string::npos) << newest;
}

TEST(DumpWords, EventLogAndNoticesAsTextAndMetrics) {
    const TempDir dir;
    const std::string state = writeWords(dir);
    const Outcome text = dump({"--journal-file", noJournal, "--date-format", iso, state});
    ASSERT_EQ(text.exitCode, 0) << text.err;
    for (const char* block :
         {"\nEvent log (stdoutdae.txt)\n\n"
          "09-Dec-2026 14:05:31 [---] Starting BOINC client version 7.20.5 for x86_64-pc-linux-gnu\n"
          "09-Dec-2026 14:05:31 [---]    max memory usage when active: 12052.61 MB\n"
          "09-Dec-2026 14:05:32 [---] Initialization completed\n"
          "09-Dec-2026 14:05:33 [Crunch Test] Output file spin_0_r1 absent\n    Traceback line one\n",
          "\n09-Dec-2026 14:05:33 [Crunch Test] Bell\xEF\xBF\xBD and \xEF\xBF\xBD[31mred\xEF\xBF\xBD[0m\n",
          "\n09-Dec-2026 14:05:34 [Crunch Test] [error] Disk is full\n",
          "\n\nNotices\n\n"
          "2026-12-09 12:40:00  Crunch Test  Message from the project's scheduler (notice)\n"
          "    Your computer is fast\n"
          "2026-12-09 09:53:20  Crunch Test  New & shiny (news)\n"
          "    Plain\n    http://crunch.invalid/test/forum_thread.php?id=2\n"
          "2026-12-09 07:06:40  Crunch Test  Old news (news)\n"
          "    Hello & welcome\n    http://crunch.invalid/test/forum_thread.php?id=1\n"})
        EXPECT_NE(text.out.find(block), std::string::npos) << block << "\n" << text.out;

    // Every error line of the log is counted, not only those shown.
    const Outcome metrics = dump({"--prometheus", "--journal-file", noJournal, "--event-log-lines", "1", state});
    ASSERT_EQ(metrics.exitCode, 0) << metrics.err;
    EXPECT_NE(metrics.out.find("# TYPE crunchwatch_event_log_error_lines_total counter\n"
                               "crunchwatch_event_log_error_lines_total{project=\"\"} 0\n"
                               "crunchwatch_event_log_error_lines_total{project=\"Crunch Test\"} 1\n"),
              std::string::npos) << metrics.out;
    if (run({"/bin/sh", "-c", "command -v promtool"}).exitCode == 0) {
        const std::string file = dir.write("out.prom", metrics.out);
        const Outcome check = run({"/bin/sh", "-c", "exec promtool check metrics < \"$1\" 2>&1", "sh", file});
        EXPECT_EQ(check.exitCode, 0) << check.out;
        EXPECT_EQ(check.out, "");
    }
}

// The journal's entries of the client's unit, read from a journal file that
// Debian's systemd-journal-remote writes: errors by their priority, another
// unit's entry left out, a secret hidden.
TEST(DumpWords, JournalFile) {
    const std::string remote = "/lib/systemd/systemd-journal-remote";
    if (!fs::exists(remote)) GTEST_SKIP() << "systemd-journal-remote (Debian package of that name) is not installed";
    const TempDir dir;
    const std::string state = dir.write(
        "client_state.xml", "<project>\n<master_url>http://a/</master_url>\n<project_name>A</project_name>\n</project>\n");
    const struct {
        const char* unit;
        const char* priority;
        const char* message;
    } entries[] = {
        {"boinc-client.service", "6", "09-Dec-2026 15:17:02 [---] Starting BOINC client version 7.20.5"},
        {"cron.service", "3", "(root) CMD (run-parts /etc/cron.hourly)"},
        {"boinc-client.service", "3", "09-Dec-2026 15:17:02 [A] State file error: missing task spin_missing"},
        {"boinc-client.service", "3", "09-Dec-2026 15:17:03 [---] Fetching http://a/x.php?auth=c4n4ry&y=1"},
    };
    std::string stream;
    for (std::size_t i = 0; i < std::size(entries); ++i)
        stream += "__REALTIME_TIMESTAMP=" + std::to_string(1796829422000000 + 100000 * i) +
                  "\n__MONOTONIC_TIMESTAMP=" + std::to_string(1000 + i) +
                  "\n_BOOT_ID=0123456789abcdef0123456789abcdef\n_SYSTEMD_UNIT=" + entries[i].unit +
                  "\nPRIORITY=" + entries[i].priority + "\nMESSAGE=" + entries[i].message + "\n\n";
    const std::string journal = (dir.path() / "client.journal").string();
    ASSERT_EQ(run({"/usr/bin/timeout", "60", remote, "--output=" + journal, dir.write("entries.export", stream)}).exitCode,
              0);

    const Outcome r = dump({"--json", "--journal-file", journal, state});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    if (r.out.find("\"available\":[\"journal\"") == std::string::npos) GTEST_SKIP() << "this build reads no journal";
    EXPECT_EQ(between(r.out, "\"event_log\":", ",\"notices\":"),
              "\"event_log\":["
              "{\"time\":\"09-Dec-2026 15:17:02\",\"seconds\":1796829422,\"project\":null,"
              "\"text\":\"Starting BOINC client version 7.20.5\",\"error\":false},"
              "{\"time\":\"09-Dec-2026 15:17:02\",\"seconds\":1796829422,\"project\":\"A\","
              "\"text\":\"State file error: missing task spin_missing\",\"error\":true},"
              "{\"time\":\"09-Dec-2026 15:17:03\",\"seconds\":1796829423,\"project\":null,"
              "\"text\":\"Fetching http://a/x.php?auth=[hidden]&y=1\",\"error\":true}]");
    EXPECT_NE(dump({"--prometheus", "--journal-file", journal, state})
                  .out.find("crunchwatch_event_log_error_lines_total{project=\"\"} 1\n"
                            "crunchwatch_event_log_error_lines_total{project=\"A\"} 1\n"),
              std::string::npos);
}

// A folder without any log or notice: empty lists, the reason said once.
TEST(DumpWords, NoLogAtAll) {
    if (fs::exists("/var/log/boinc.log")) GTEST_SKIP() << "this machine has a client log of its own";
    const TempDir dir;
    const std::string state = dir.write("client_state.xml", "");
    const Outcome r = dump({"--json", "--journal-file", noJournal, state});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find(",\"event_log_source\":{\"shown\":null,\"name\":null,\"available\":[],\"chosen\":null,"
                         "\"problem\":\"No event log was found"),
              std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"event_log\":[],\"notices\":[],\"alerts\":[]}\n"), std::string::npos) << r.out;
    const Outcome text = dump({"--journal-file", noJournal, state});
    EXPECT_NE(text.out.find("\nEvent log\n\nNo event log was found"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("\nNotices\n\n(no notices)\n"), std::string::npos) << text.out;
    const Outcome metrics = dump({"--prometheus", "--journal-file", noJournal, state});
    EXPECT_NE(metrics.out.find("# TYPE crunchwatch_event_log_error_lines_total counter\n"), std::string::npos);
    EXPECT_EQ(metrics.out.find("crunchwatch_event_log_error_lines_total{"), std::string::npos) << metrics.out;
}

// The account's key where the client keeps it, and where its debug output
// may quote it: none of it comes out, and the files that hold it are never
// opened (checked with strace where it is installed).
TEST(DumpWords, CanaryAuthenticatorNeverComesOut) {
    constexpr std::string_view canary = "c4n4ryAuth0r1z3d5ecret";
    const std::string key(canary);
    const TempDir dir;
    const std::string state = dir.write(
        "client_state.xml",
        "<project>\n<master_url>http://crunch.invalid/test/</master_url>\n<project_name>Crunch Test</project_name>\n"
        "</project>\n<workunit>\n<name>w</name>\n</workunit>\n<result>\n<name>r</name>\n<wu_name>w</wu_name>\n"
        "<state>2</state>\n</result>\n<active_task_set>\n<active_task>\n"
        "<project_master_url>http://crunch.invalid/test/</project_master_url>\n<result_name>r</result_name>\n"
        "<slot>0</slot>\n<scheduler_state>2</scheduler_state>\n</active_task>\n</active_task_set>\n");
    fs::create_directories(dir.path() / "slots" / "0");
    fs::create_directories(dir.path() / "notices");
    const std::vector<std::string> secretFiles{
        dir.write("account_crunch.invalid_test.xml", "<account>\n<authenticator>" + key + "</authenticator>\n</account>\n"),
        dir.write("sched_request_crunch.invalid_test.xml",
                  "<scheduler_request>\n<authenticator>" + key + "</authenticator>\n</scheduler_request>\n"),
        dir.write("slots/0/init_data.xml", "<app_init_data>\n<authenticator>" + key + "</authenticator>\n</app_init_data>\n"),
        dir.write("gui_rpc_auth.cfg", key + "\n"),
    };
    dir.write("slots/0/boinc_task_state.xml", "<active_task>\n<fraction_done>0.5</fraction_done>\n</active_task>\n");
    dir.write("stdoutdae.txt",
              "09-Dec-2026 14:05:31 [Crunch Test] [sched_op] Request: <authenticator>" + key + "</authenticator>\n"
              "09-Dec-2026 14:05:32 [Crunch Test] [http] GET http://crunch.invalid/test/am_get_info.php?auth=" + key +
                  "&x=1\n"
              "09-Dec-2026 14:05:33 [Crunch Test] [sched_op] Scheduler request:\n<scheduler_request>\n"
              "    <authenticator>" + key + "</authenticator>\n</scheduler_request>\n");
    dir.write("stderrdae.txt", "09-Dec-2026 14:05:34 [Crunch Test] request failed: ?auth=" + key + "\n");
    dir.write("notices/archive_http___crunch.invalid_test_notices.php.xml",
              "<notices>\n<notice>\n<title>Your account</title>\n<description><![CDATA[<a href=\"http://crunch.invalid/"
              "test/home.php?auth=" + key + "\">Log in</a> <authenticator>" + key + "</authenticator>]]></description>\n"
              "<create_time>1796800000</create_time>\n<link>http://crunch.invalid/test/home.php?auth=" + key +
                  "</link>\n</notice>\n</notices>\n");

    const std::vector<std::vector<std::string>> views{
        {"--json", "--event-log-lines", "0"}, {"--event-log-lines", "0"}, {"--prometheus-tasks"}};
    const bool traced = run({"/bin/sh", "-c", "command -v strace"}).exitCode == 0;
    for (std::vector<std::string> args : views) {
        SCOPED_TRACE(args.front());
        args.insert(args.end(), {"--journal-file", noJournal, state});
        const Outcome r = dump(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out.find(key), std::string::npos) << r.out;
        EXPECT_EQ(r.err.find(key), std::string::npos) << r.err;
        if (args.front() == "--json") {
            EXPECT_NE(r.out.find("[hidden]"), std::string::npos) << r.out;
        }
        if (!traced) continue;
        const std::string trace = (dir.path() / "trace").string();
        // LeakSanitizer cannot work under a tracer: a sanitized build leaves it out there.
        const char* asan = std::getenv("ASAN_OPTIONS");
        const std::string noLeakCheck = "ASAN_OPTIONS=" + std::string(asan ? asan : "") + (asan ? ":" : "") +
                                        "detect_leaks=0";
        std::vector<std::string> traceArgs{"/usr/bin/env", noLeakCheck, "strace", "-f", "-qq", "-e",
                                           "trace=open,openat,openat2", "-o", trace, test::dumpExe};
        traceArgs.insert(traceArgs.end(), args.begin(), args.end());
        ASSERT_EQ(run(traceArgs).exitCode, 0);
        const std::string opened = test::slurp(trace);
        EXPECT_NE(opened.find("stdoutdae.txt"), std::string::npos) << "the trace saw nothing: " << opened;
        for (const std::string& secret : secretFiles)
            EXPECT_EQ(opened.find(fs::path(secret).filename().string() + "\""), std::string::npos)
                << secret << " was opened:\n" << opened;
    }
}

}  // namespace
}  // namespace crunchwatch
