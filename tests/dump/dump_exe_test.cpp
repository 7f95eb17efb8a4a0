// The crunchwatch-dump program, run as a user runs it: arguments, exit
// status, what it writes to stdout and stderr.

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <optional>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
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
using test::slurp;
using test::TempDir;

const std::string exe = test::dumpExe;
const std::string example = std::string(CRUNCHWATCH_EXAMPLES_DIR) + "/client_state.xml";
constexpr const char* iso = "%Y-%m-%d %H:%M:%S";
constexpr const char* usageLine =
    "usage: crunchwatch-dump [--json | --prometheus | --prometheus-tasks] [--output FILE]\n"
    "                        [--now SECONDS] [--date-format FORMAT] [--event-source SOURCE]\n"
    "                        [--event-log-lines N] [--journal-file FILE] STATE_FILE";

// Runs the dump in `dir` on a path relative to it.
Outcome dumpIn(const std::string& dir, const std::string& relativePath) {
    return run({"/bin/sh", "-c", "cd \"$1\" && exec \"$2\" --json \"$3\"", "sh", dir, exe, relativePath});
}

std::string exampleText() { return slurp(example); }

// The JSON report without the computer's members and the client's words,
// which close it (their own tests are in host_exe_test.cpp and
// words_exe_test.cpp): what the state file's folder gives.
std::string withoutWords(const std::string& json) {
    const std::size_t at = json.find(",\"host\":");
    return at == std::string::npos ? json : json.substr(0, at) + "}\n";
}

TEST(DumpExe, ExampleAsJson) {
    Outcome r = dump({"--json", "--now", "1796150000", "--date-format", iso, example});
    r.out = withoutWords(r.out);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    ASSERT_FALSE(r.out.empty());
    EXPECT_EQ(r.out.front(), '{');
    EXPECT_EQ(r.out.substr(r.out.size() - 2), "}\n");
    EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << "one object on one line";
    for (const std::string& fragment : {
             "{\"state_file\":\"" + example + "\",\"records\":[{\"master_url\":\"http://einstein.phys.uwm.edu/\"",
             std::string("\"number_of_projects\":4,\"total_credit\":"),
             std::string("\"global_prefs\":{\"cpu_scheduling_period_minutes\":\"60.000000\","
                         "\"disk_interval\":\"60.000000\"},\"statistics\":[],\"history\":[],"
                         "\"client\":{\"running\":null,\"pid\":null,\"version\":\"8.2.6\","
                         "\"platform\":\"x86_64-pc-linux-gnu\",\"run_mode\":\"2\",\"gpu_mode\":\"2\","
                         "\"network_mode\":\"2\"},\"project_status\":[{\"project_name\":\"Einstein@Home\","),
             // Rosetta@home's scheduler asked for an hour's silence; its status counts it down.
             std::string("\"min_rpc_time\":\"1796153474.120388\",\"resource_share\":\"50.00\","
                         "\"app_name\":\"rosetta\",\"status\":\"Communication deferred 00:57:54 \xC2\xB7 CPU work fetch "
                         "backed off 00:57:54\"}"),
             // A download under way: its active transfer's count.
             std::string("{\"project_name\":\"Einstein@Home\",\"master_url\":\"http://einstein.phys.uwm.edu/\","
                         "\"name\":\"LATeah4037L03.dat\",\"upload\":false,\"nbytes\":\"4509712.000000\","
                         "\"bytes_done\":\"1318912.000000\",\"num_retries\":\"0\","),
             std::string("\"slot_progress\":[]}\n"),
             std::string("\"rsc_share\":\"275.000000\""),
             std::string("\"State\":\"running...\""),
             std::string("\"Progress\":\"checking...\""),
             // The running Einstein@Home task: 12345.6789 s for 0.456789 done, 100 of 275 shares.
             std::string("{\"WUnit\":\"h1_0412.35_O3aC01Cl1In0__O3AS1a_412.50Hz_1183\",\"PName\":\"Einstein@Home\","
                         "\"Version\":\"1.07\",\"State\":\"running...\",\"Progress\":\"45.68%\","
                         "\"CPUTime\":\"03:25:45\",\"ETR\":\"04:04:41\",\"ETC\":\"2026-12-02 05:46:13\","
                         "\"Deadline\":\"2026-12-07 19:50:10\"}"),
             std::string("\"CPUTime\":null,\"ETR\":null,\"ETC\":null,\"Deadline\":\"2026-12-06 19:49:04\"}"),
             std::string("{\"project_name\":\"Einstein@Home\",\"user_total_credit\":\"2345678.901234\","
                         "\"user_expavg_credit\":\"3456.789012\",\"user_create_time\":\"2015-09-15 11:52:00\","),
             std::string("\"exp_avg_mod_time\":\"2026-12-01 16:05:20\",\"min_rpc_time\":\"0.000000\","
                         "\"resource_share\":\"100.00\""),
         })
        EXPECT_NE(r.out.find(fragment), std::string::npos) << fragment;
    // Milkyway@Home has no results: it is counted, and gives no rows.
    EXPECT_NE(r.out.find("\"resource_share\":\"25.000000\",\"app_name\":\"milkyway_nbody\",\"result\":[]}],\"rows\":["),
              std::string::npos);

    // The total credit reads back as the sum of the stored credits.
    const std::string marker = "\"total_credit\":";
    const auto at = r.out.find(marker);
    ASSERT_NE(at, std::string::npos);
    const char* begin = r.out.data() + at + marker.size();
    double total = 0;
    const auto [end, ec] = std::from_chars(begin, r.out.data() + r.out.size(), total);
    ASSERT_EQ(ec, std::errc{});
    EXPECT_EQ(*end, ',');
    EXPECT_EQ(total, 0.0 + 2345678.901234 + 345678.123456 + 987654.321098 + 123456.789012);
}

TEST(DumpExe, ExactShapeOfASmallState) {
    const TempDir dir;
    const std::string path = dir.write(
        "client_state.xml",
        "<client_state>\n<project>\n<master_url>http://a/</master_url>\n<project_name>A \"q\"</project_name>\n"
        "<user_total_credit>10.5</user_total_credit>\n<resource_share>100</resource_share>\n</project>\n"
        "<workunit>\n<name>wu1</name>\n<app_name>app</app_name>\n<version_num>512</version_num>\n</workunit>\n"
        "<result>\n<name>r1</name>\n<state>2</state>\n<wu_name>wu1</wu_name>\n<report_deadline>0</report_deadline>\n"
        "</result>\n<project>\n<master_url>http://b/</master_url>\n</project>\n<active_task_set>\n<active_task>\n"
        "<project_master_url>http://a/</project_master_url>\n<result_name>r1</result_name>\n"
        "<scheduler_state>2</scheduler_state>\n<fraction_done>0.25</fraction_done>\n"
        "<current_cpu_time>3600</current_cpu_time>\n</active_task>\n</active_task_set>\n</client_state>\n");
    dir.write("global_prefs.xml", "<global_preferences>\n<disk_interval>60</disk_interval>\n</global_preferences>\n");
    Outcome r = dump({"--json", "--now", "0", "--date-format", iso, path});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    r.out = withoutWords(r.out);
    const std::string expected =
        "{\"state_file\":\"" + path +
        "\","
        "\"records\":[{\"master_url\":\"http://a/\",\"project_name\":\"A \\\"q\\\"\",\"user_total_credit\":\"10.5\","
        "\"resource_share\":\"100\",\"app_name\":\"app\",\"result\":[{\"name\":\"r1\",\"state\":\"2\",\"wu_name\":\"wu1\","
        "\"report_deadline\":\"0\",\"app_name\":\"app\",\"version_num\":\"512\",\"project_master_url\":\"http://a/\","
        "\"result_name\":\"r1\",\"scheduler_state\":\"2\",\"fraction_done\":\"0.25\",\"current_cpu_time\":\"3600\"}]},"
        "{\"master_url\":\"http://b/\",\"result\":[]}],"
        "\"rows\":[{\"master_url\":\"http://a/\",\"project_name\":\"A \\\"q\\\"\",\"user_total_credit\":\"10.5\","
        "\"resource_share\":\"100\",\"app_name\":\"app\",\"name\":\"r1\",\"state\":\"2\",\"wu_name\":\"wu1\","
        "\"report_deadline\":\"0\",\"version_num\":\"512\",\"project_master_url\":\"http://a/\",\"result_name\":\"r1\","
        "\"scheduler_state\":\"2\",\"fraction_done\":\"0.25\",\"current_cpu_time\":\"3600\","
        "\"rsc_share\":\"100.000000\"}],"
        "\"results\":[{\"WUnit\":\"wu1\",\"PName\":\"A \\\"q\\\"\",\"Version\":\"5.12\",\"State\":\"running...\","
        "\"Progress\":\"25.00%\",\"CPUTime\":\"01:00:00\",\"ETR\":\"03:00:00\",\"ETC\":\"1970-01-01 03:00:00\","
        "\"Deadline\":\"1970-01-01 00:00:00\"}],"
        "\"projects\":[{\"project_name\":\"A \\\"q\\\"\",\"user_total_credit\":\"10.5\",\"user_expavg_credit\":null,"
        "\"user_create_time\":\"1970-01-01 00:00:00\",\"host_total_credit\":null,\"host_expavg_credit\":null,"
        "\"host_create_time\":\"1970-01-01 00:00:00\",\"exp_avg_mod_time\":\"1970-01-01 00:00:00\","
        "\"min_rpc_time\":null,\"resource_share\":\"100.00\",\"app_name\":\"app\",\"status\":null},"
        "{\"project_name\":null,\"user_total_credit\":null,\"user_expavg_credit\":null,"
        "\"user_create_time\":\"1970-01-01 00:00:00\",\"host_total_credit\":null,\"host_expavg_credit\":null,"
        "\"host_create_time\":\"1970-01-01 00:00:00\",\"exp_avg_mod_time\":\"1970-01-01 00:00:00\","
        "\"min_rpc_time\":null,\"resource_share\":\"0.00\",\"app_name\":null,\"status\":null}],"
        "\"number_of_projects\":2,\"total_credit\":10.5,"
        "\"global_prefs\":{\"cpu_scheduling_period_minutes\":null,\"disk_interval\":\"60\"},"
        "\"statistics\":[],\"history\":[],"
        "\"client\":{\"running\":null,\"pid\":null,\"version\":null,\"platform\":null,\"run_mode\":null,"
        "\"gpu_mode\":null,\"network_mode\":null},"
        "\"project_status\":[{\"project_name\":\"A \\\"q\\\"\",\"master_url\":\"http://a/\",\"flags\":[],"
        "\"sched_rpc_pending\":null,\"min_rpc_time\":null,\"next_rpc_time\":null,\"last_rpc_time\":null,"
        "\"nrpc_failures\":null,\"master_fetch_failures\":null,\"backoffs\":[],\"njobs_success\":null,"
        "\"njobs_error\":null,\"status\":null},"
        "{\"project_name\":null,\"master_url\":\"http://b/\",\"flags\":[],"
        "\"sched_rpc_pending\":null,\"min_rpc_time\":null,\"next_rpc_time\":null,\"last_rpc_time\":null,"
        "\"nrpc_failures\":null,\"master_fetch_failures\":null,\"backoffs\":[],\"njobs_success\":null,"
        "\"njobs_error\":null,\"status\":null}],"
        "\"transfers\":[],\"slot_progress\":[]}\n";
    EXPECT_EQ(r.out, expected);
}

// The history files beside the state file: matched to its projects by the
// statistics file's master URL and the job log's name, unmatched ones with a
// null project, unreadable ones left out, in byte order of the names.
TEST(DumpExe, ExactShapeOfTheHistory) {
    const TempDir dir;
    const std::string path = dir.write(
        "client_state.xml", "<project>\n<master_url>http://a.org/x/</master_url>\n<project_name>A</project_name>\n"
                            "</project>\n<project>\n<master_url>http://b/</master_url>\n</project>\n");
    dir.write("statistics_a.org_x.xml",
              "<project_statistics>\n<master_url>http://a.org/x/</master_url>\n<daily_statistics>\n<day>86400</day>\n"
              "<user_total_credit>1.5</user_total_credit>\n<host_expavg_credit></host_expavg_credit>\n"
              "</daily_statistics>\n</project_statistics>\n");
    dir.write("statistics_Z.xml", "<daily_statistics><day>\xff</day></daily_statistics>");
    dir.write("job_log_a.org_x.txt", "1581252044 ue 5362.1 ct 19643.12 fe 4.3e13 nm T_0 et 5922.5 es 0\nbad\n7 nm \"q\" es 1\n");
    dir.write("job_log_b.txt", "\n");
    fs::create_directory(dir.path() / "job_log_c.txt");
    const Outcome r = dump({"--json", path});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::size_t at = r.out.find(",\"statistics\":");
    const std::size_t end = r.out.find(",\"client\":");
    ASSERT_NE(at, std::string::npos) << r.out;
    ASSERT_NE(end, std::string::npos) << r.out;
    EXPECT_EQ(r.out.substr(at, end - at),
              ",\"statistics\":[{\"file\":\"statistics_Z.xml\",\"master_url\":null,\"project_name\":null,\"days\":[{"
              "\"day\":\"\xEF\xBF\xBD\",\"user_total_credit\":null,\"user_expavg_credit\":null,\"host_total_credit\":null,"
              "\"host_expavg_credit\":null}]},"
              "{\"file\":\"statistics_a.org_x.xml\",\"master_url\":\"http://a.org/x/\",\"project_name\":\"A\",\"days\":[{"
              "\"day\":\"86400\",\"user_total_credit\":\"1.5\",\"user_expavg_credit\":null,\"host_total_credit\":null,"
              "\"host_expavg_credit\":null}]}],"
              "\"history\":[{\"file\":\"job_log_a.org_x.txt\",\"project_name\":\"A\",\"skipped_lines\":1,\"tasks\":["
              "{\"time\":\"1581252044\",\"ue\":\"5362.1\",\"ct\":\"19643.12\",\"fe\":\"4.3e13\",\"nm\":\"T_0\","
              "\"et\":\"5922.5\",\"es\":\"0\"},"
              "{\"time\":\"7\",\"ue\":null,\"ct\":null,\"fe\":null,\"nm\":\"\\\"q\\\"\",\"et\":null,\"es\":\"1\"}]},"
              "{\"file\":\"job_log_b.txt\",\"project_name\":null,\"skipped_lines\":0,\"tasks\":[]}]");

    const Outcome text = dump({"--date-format", iso, path});
    EXPECT_NE(text.out.find("Statistics\n\nProject           Days  Newest day           User credit  Host credit\n"),
              std::string::npos) << text.out;
    EXPECT_NE(text.out.find("A                 1     1970-01-02 00:00:00  1.5"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("A              2      1       1              05:27:23  2020-02-09 12:40:44"), std::string::npos)
        << text.out;
}

TEST(DumpExe, StateWithoutProjects) {
    const TempDir dir;
    for (const char* contents : {"", "just some text\n"}) {
        const Outcome r = dump({"--json", dir.write("client_state.xml", contents)});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(withoutWords(r.out).find("\"records\":[],\"rows\":[],\"results\":[],\"projects\":[],"
                             "\"number_of_projects\":0,\"total_credit\":0,"
                             "\"global_prefs\":{\"cpu_scheduling_period_minutes\":null,\"disk_interval\":null},"
                             "\"statistics\":[],\"history\":[],\"client\":{\"running\":null,\"pid\":null,"
                             "\"version\":null,\"platform\":null,\"run_mode\":null,\"gpu_mode\":null,"
                             "\"network_mode\":null},\"project_status\":[],\"transfers\":[],\"slot_progress\":[]}\n"),
                  std::string::npos)
            << r.out;
        const Outcome text = dump({dir.path().string()});
        EXPECT_NE(text.out.find("\nClient: cannot tell\n\nAlerts\n\nnone\n\nResults\n"), std::string::npos) << text.out;
        EXPECT_NE(text.out.find("\nTransfers\n\nNo transfers\n\nNumber of projects: 0\n"), std::string::npos) << text.out;
    }
}

TEST(DumpExe, InvalidUtf8AndControlCharactersStayValidJson) {
    const TempDir dir;
    const std::string path = dir.write("client_state.xml",
                                       "<project>\n<master_url>http://a/</master_url>\n"
                                       "<project_name>Bad\xFF\xC0\xAF\x01\x1b\tName \xE2\x82</project_name>\n</project>\n");
    const Outcome r = dump({"--json", path});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("\"project_name\":\"Bad\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\\u0001\\u001b\\tName "
                         "\xEF\xBF\xBD\""),
              std::string::npos)
        << r.out;
    for (const char c : r.out) EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 && c != '\n');
}

// The first line is the program's fixed message; the second says what the
// reader saw, for the user to act on.
TEST(DumpExe, UnreadableStateFileSaysWhy) {
    const TempDir dir;
    const std::string missing = (dir.path() / "no_such_file.xml").string();
    const std::string directory = dir.path().string();
    const struct {
        std::vector<std::string> args;
        std::string path;
        std::string reason;
    } cases[] = {
        {{"--json", missing}, missing, "there is no such file"},
        {{missing}, missing, "there is no such file"},
        {{"--", missing}, missing, "there is no such file"},
        // A directory is the client's data directory: its state file is meant.
        {{"--json", directory}, directory + "/client_state.xml", "there is no such file"},
        {{"--json", ""}, "", "no file was named"},
        {{"/dev/null"}, "/dev/null", "it is not a regular file"},
    };
    for (const auto& c : cases) {
        const Outcome r = dump(c.args);
        EXPECT_EQ(r.exitCode, 1) << c.path;
        EXPECT_EQ(r.err, "Error: file not found!\ncrunchwatch-dump: could not read " + c.path + ": " + c.reason + "\n");
        EXPECT_EQ(r.out, "") << c.path;
    }
}

TEST(DumpExe, UsageErrors) {
    const std::vector<std::vector<std::string>> cases{
        {},
        {"--json"},
        {"--bogus", example},
        {"-x", example},
        {"--now"},
        {example, "--now"},
        {"--now", "abc", example},
        {"--now", "1,5", example},
        {"--now", "", example},
        {"--now", "12s", example},
        {"--date-format"},
        {example, example},
        {"--", example, example},
        {"--json", "--prometheus", example},
        {"--prometheus-tasks", "--json", example},
        {"--output"},
        {"--output", "", example},
        {"--event-source"},
        {"--event-source", "stdoutdae.txt", example},
        {"--event-log-lines", "-1", example},
        {"--event-log-lines", "", example},
        {"--event-log-lines", "1e3", example},
        {"--journal-file", "", example},
    };
    for (const auto& args : cases) {
        std::string shown;
        for (const auto& a : args) shown += "[" + a + "]";
        const Outcome r = dump(args);
        EXPECT_EQ(r.exitCode, 2) << shown;
        EXPECT_NE(r.err.find(usageLine), std::string::npos) << shown << ": " << r.err;
        EXPECT_EQ(r.out, "") << shown;
    }
}

TEST(DumpExe, AcceptedOptions) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--now", "+5", example},
             {"--now", "-1.5e3", "--date-format", "", "--json", example},
             {"--json", "--", example},
             {"--prometheus", "--prometheus-tasks", "--prometheus", example},
             {"--event-source", "syslog", "--event-log-lines", "0", "--journal-file", "/nonexistent", example},
         }) {
        const Outcome r = dump(args);
        EXPECT_EQ(r.exitCode, 0) << args[1] << ": " << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_FALSE(r.out.empty());
    }
    const Outcome help = dump({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind(usageLine, 0), 0u);
}

TEST(DumpExe, TextTables) {
    const Outcome r = dump({"--now", "1796150000", "--date-format", iso, example});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    for (const char* fragment : {"State file: ", "checking...", "running...", "45.68%", "Number of projects: 4\n",
                                 "Total credit: 3802468.13\n", "CPU scheduling period (minutes): 60.000000\n",
                                 "Disk interval: 60.000000\n"})
        EXPECT_NE(r.out.find(fragment), std::string::npos) << fragment;
}

TEST(DumpExe, RelativePathFindsThePreferencesBesideIt) {
    const TempDir dir;
    dir.write("client_state.xml", exampleText());
    dir.write("global_prefs.xml",
              "<global_preferences>\n<cpu_scheduling_period_minutes>77</cpu_scheduling_period_minutes>\n"
              "<disk_interval>88</disk_interval>\n</global_preferences>\n");
    fs::create_directory(dir.path() / "sub");
    for (const auto& [cwd, relative] : std::vector<std::pair<std::string, std::string>>{
             {dir.path().string(), "client_state.xml"},
             {dir.path().string(), "./client_state.xml"},
             {(dir.path() / "sub").string(), "../client_state.xml"},
             // The data directory itself: its state file.
             {(dir.path() / "sub").string(), ".."},
             {dir.path().string(), dir.path().string() + "/"}}) {
        const Outcome r = dumpIn(cwd, relative);
        ASSERT_EQ(r.exitCode, 0) << relative << ": " << r.err;
        EXPECT_NE(r.out.find("\"state_file\":\"" + relative + "\""), std::string::npos) << relative;
        EXPECT_NE(r.out.find("\"number_of_projects\":4"), std::string::npos) << relative;
        EXPECT_NE(r.out.find("\"global_prefs\":{\"cpu_scheduling_period_minutes\":\"77\",\"disk_interval\":\"88\"}"),
                  std::string::npos)
            << relative << ": " << r.out.substr(r.out.size() > 200 ? r.out.size() - 200 : 0);
    }
    // Missing relative file: the usual failure.
    const Outcome missing = dumpIn(dir.path().string(), "nothing.xml");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err, "Error: file not found!\ncrunchwatch-dump: could not read nothing.xml: there is no such file\n");
    EXPECT_EQ(missing.out, "");
}

// The whole document, checked by an independent JSON reader: strict strings,
// no NaN or Infinity, no duplicate keys, and the members of every object.
constexpr const char* checker = R"PY(
import json, sys
def pairs(items):
    keys = [k for k, _ in items]
    if len(keys) != len(set(keys)):
        raise ValueError("duplicate key in %r" % keys)
    return dict(items)
def reject(name):
    raise ValueError("non-finite number " + name)
with open(sys.argv[1], encoding="utf-8") as f:
    d = json.load(f, object_pairs_hook=pairs, parse_constant=reject)
assert list(d) == ["state_file", "records", "rows", "results", "projects", "number_of_projects",
                   "total_credit", "global_prefs", "statistics", "history", "client", "project_status",
                   "transfers", "slot_progress", "host", "time_stats", "daily_xfers", "disk", "effective_prefs",
                   "event_log_source", "event_log", "notices", "alerts"], list(d)
text = lambda v: v is None or isinstance(v, str)
assert list(d["global_prefs"]) == ["cpu_scheduling_period_minutes", "disk_interval"]
assert all(text(v) for v in d["global_prefs"].values())
assert len(d["rows"]) == len(d["results"]) == sum(len(p["result"]) for p in d["records"])
assert all(len(r) == 9 and all(text(v) for v in r.values()) for r in d["results"])
assert all(len(p) == 12 and all(text(v) for v in p.values()) for p in d["projects"])
assert d["number_of_projects"] == len(d["records"]) == len(d["projects"])
assert isinstance(d["total_credit"], (int, float))
assert all(isinstance(v, str) for r in d["rows"] for v in r.values())
assert all("result" not in r and list(r)[-1] == "rsc_share" for r in d["rows"])
assert all(list(s) == ["file", "master_url", "project_name", "days"] and text(s["master_url"])
           and all(len(day) == 5 and all(text(v) for v in day.values()) for day in s["days"]) for s in d["statistics"])
assert all(list(h) == ["file", "project_name", "skipped_lines", "tasks"] and isinstance(h["skipped_lines"], int)
           and all(list(t) == ["time", "ue", "ct", "fe", "nm", "et", "es"] and all(text(v) for v in t.values())
                   for t in h["tasks"]) for h in d["history"])
c = d["client"]
assert list(c) == ["running", "pid", "version", "platform", "run_mode", "gpu_mode", "network_mode"]
assert c["running"] in (True, False, None) and (c["pid"] is None or isinstance(c["pid"], int))
assert all(text(v) for k, v in c.items() if k not in ("running", "pid"))
flags = ["suspended_via_gui", "dont_request_more_work", "detach_when_done", "ended", "attached_via_acct_mgr",
         "master_url_fetch_pending", "scheduler_rpc_in_progress", "trickle_up_pending", "non_cpu_intensive"]
assert len(d["project_status"]) == len(d["records"])
for p, record, cells in zip(d["project_status"], d["records"], d["projects"]):
    assert len(p) == 13 and p["master_url"] == record.get("master_url") and p["status"] == cells["status"]
    assert p["flags"] == [f for f in flags if f in p["flags"]]
    assert all(list(b) == ["name", "time", "interval"] and all(text(v) for v in b.values()) for b in p["backoffs"])
    assert all(text(v) for k, v in p.items() if k not in ("flags", "backoffs"))
assert all(len(t) == 11 and isinstance(t["upload"], bool) and all(text(v) for k, v in t.items() if k != "upload")
           for t in d["transfers"])
assert all(list(s) == ["result", "project_url", "fraction_done", "checkpoint_cpu_time", "checkpoint_elapsed_time"]
           and all(text(v) for v in s.values()) for s in d["slot_progress"])
h, gpu = d["host"], ["kind", "type", "count", "name", "memory", "peak_flops", "driver_version", "opencl_name",
                      "opencl_vendor", "opencl_device_version", "opencl_driver_version"]
assert len(h) == 28 and list(h)[-4:] == ["net_stats", "gpus", "detected_gpus", "gpu_warnings"]
assert all(text(v) for v in list(h.values())[:24]) and all(text(v) for v in h["net_stats"].values())
assert all(list(g) == gpu and all(text(v) for v in g.values()) for g in h["gpus"])
assert h["detected_gpus"] is None or all(list(g) == gpu + ["device_num"] for g in h["detected_gpus"])
assert all(isinstance(w, str) for w in h["gpu_warnings"])
assert len(d["time_stats"]) == 9 and all(text(v) for v in d["time_stats"].values())
number = lambda v: v is None or isinstance(v, (int, float))
assert all(list(x) == ["when", "up", "down"] and all(number(v) for v in x.values()) for x in d["daily_xfers"])
disk = d["disk"]
assert list(disk) == ["projects", "client_bytes", "free_bytes", "allowed_bytes", "total_bytes", "disk_bytes",
                      "allowed_by", "complete", "counted_at", "problems"]
assert len(disk["projects"]) == len(d["records"])
assert all(list(p) == ["master_url", "project_name", "bytes", "client_recorded"] and number(p["bytes"])
           and number(p["client_recorded"]) for p in disk["projects"])
assert all(number(disk[k]) for k in ("client_bytes", "free_bytes", "allowed_bytes", "total_bytes", "disk_bytes"))
assert disk["allowed_by"] in (None, "disk_max_used_gb", "disk_max_used_pct", "disk_min_free_gb")
assert disk["complete"] in (True, False, None) and all(isinstance(p, str) for p in disk["problems"])
assert all(list(v) == ["value", "source"] and v["source"] in ("override", "global_prefs")
           for v in d["effective_prefs"].values())
source, ids = d["event_log_source"], ("file", "journal", "syslog")
assert list(source) == ["shown", "name", "available", "chosen", "problem"] and text(source["name"])
assert source["shown"] in ids + (None,) and all(s in ids for s in source["available"]) and text(source["problem"])
assert all(list(e) == ["time", "seconds", "project", "text", "error"] and text(e["time"]) and number(e["seconds"])
           and text(e["project"]) and isinstance(e["text"], str) and e["error"] in (True, False, None)
           for e in d["event_log"])
assert all(list(n) == ["title", "project", "create_time", "category", "link", "text", "priority"]
           and number(n["create_time"]) and all(text(v) for k, v in n.items() if k != "create_time")
           for n in d["notices"])
rules = ("task_failed", "deadline_at_risk", "deadline_missed", "transfer_stuck", "project_deferred", "client_stopped",
         "idle", "disk_full")
urls = {r.get("master_url") for r in d["records"]}
for a in d["alerts"]:
    keys = ["rule", "severity", "project"] + (["project_url"] if "project_url" in a else []) + ["task", "since", "text"]
    assert list(a) == keys and a["rule"] in rules and a["severity"] in ("warning", "error"), a
    assert isinstance(a["since"], (int, float)) and isinstance(a["text"], str) and a["text"], a
    assert text(a["project"]) and text(a["task"]) and a.get("project_url", "") in urls | {""}, a
assert all(x["since"] >= y["since"] for x, y in zip(d["alerts"], d["alerts"][1:])), "newest first"
)PY";

bool havePython() { return run({"/bin/sh", "-c", "command -v python3"}).exitCode == 0; }

void expectValidJson(const std::string& stateFile) {
    static const TempDir scratch;
    const Outcome r = dump({"--json", "--now", "1796150000", stateFile});
    ASSERT_EQ(r.exitCode, 0) << stateFile << ": " << r.err;
    const std::string json = scratch.write("out.json", r.out);
    const std::string script = scratch.write("check.py", checker);
    const Outcome check = run({"/bin/sh", "-c", "exec python3 \"$1\" \"$2\"", "sh", script, json});
    EXPECT_EQ(check.exitCode, 0) << stateFile << ": " << check.err;
}

TEST(DumpExe, ExampleIsValidJson) {
    if (!havePython()) GTEST_SKIP() << "python3 is not installed";
    expectValidJson(example);
}

TEST(DumpExe, RealClientFilesAreValidJson) {
    CRUNCHWATCH_SKIP_WITHOUT_REALDATA();
    if (!havePython()) GTEST_SKIP() << "python3 is not installed";
    int checked = 0;
    for (const auto& entry : fs::directory_iterator(test::realDataDir())) {
        const fs::path state = entry.path() / "client_state.xml";
        if (!fs::is_regular_file(state)) continue;
        SCOPED_TRACE(state.string());
        expectValidJson(state.string());
        ++checked;
    }
    if (checked == 0) GTEST_SKIP() << "no client_state.xml among the real client files";
}

// ------------------------------------------------------------ why nothing runs

// Project A is suspended and takes no new work, its scheduler asked for an
// hour's silence, its CPU work fetch backs off and a request is pending;
// its files: a download under way (a <file_xfer>), an upload between tries
// that failed, and a download whose partial file lies on disk. Project B
// has nothing to say and a task running in slot 0, whose checkpoint came
// after the state file was written. The client's own values close the file.
constexpr std::string_view whyState =
    "<client_state>\n<project>\n<master_url>http://a.org/x/</master_url>\n<project_name>A</project_name>\n"
    "<suspended_via_gui/>\n<dont_request_more_work/>\n<sched_rpc_pending>2</sched_rpc_pending>\n"
    "<min_rpc_time>1000003600.5</min_rpc_time>\n<nrpc_failures>3</nrpc_failures>\n"
    "<rsc_backoff_time>\n<name>CPU</name>\n<value>1000000600</value>\n</rsc_backoff_time>\n"
    "<rsc_backoff_interval>\n<name>CPU</name>\n<value>600</value>\n</rsc_backoff_interval>\n</project>\n"
    "<file>\n<name>in.dat</name>\n<nbytes>1000</nbytes>\n<persistent_file_xfer>\n<num_retries>0</num_retries>\n"
    "<first_request_time>999999000</first_request_time>\n<next_request_time>999999000</next_request_time>\n"
    "<time_so_far>12.5</time_so_far>\n<last_bytes_xferred>100</last_bytes_xferred>\n<is_upload>0</is_upload>\n"
    "</persistent_file_xfer>\n<file_xfer>\n<bytes_xferred>250.000000</bytes_xferred>\n</file_xfer>\n</file>\n"
    "<file>\n<name>out.dat</name>\n<nbytes>2000</nbytes>\n<persistent_file_xfer>\n<num_retries>7</num_retries>\n"
    "<first_request_time>999990000</first_request_time>\n<next_request_time>1000000300</next_request_time>\n"
    "<last_bytes_xferred>0</last_bytes_xferred>\n<is_upload>1</is_upload>\n</persistent_file_xfer>\n"
    "<error_msg>connect() failed</error_msg>\n</file>\n"
    "<file>\n<name>partial.dat</name>\n<nbytes>4096</nbytes>\n<persistent_file_xfer>\n<num_retries>1</num_retries>\n"
    "<last_bytes_xferred>5</last_bytes_xferred>\n<is_upload>0</is_upload>\n</persistent_file_xfer>\n</file>\n"
    "<project>\n<master_url>http://b/</master_url>\n<project_name>B</project_name>\n</project>\n"
    "<workunit>\n<name>wu1</name>\n</workunit>\n<result>\n<name>r1</name>\n<state>2</state>\n<wu_name>wu1</wu_name>\n"
    "</result>\n<active_task_set>\n<active_task>\n<project_master_url>http://b/</project_master_url>\n"
    "<result_name>r1</result_name>\n<slot>0</slot>\n<scheduler_state>2</scheduler_state>\n"
    "<fraction_done>0.1</fraction_done>\n</active_task>\n</active_task_set>\n"
    "<platform_name>x86_64-pc-linux-gnu</platform_name>\n<core_client_major_version>7</core_client_major_version>\n"
    "<core_client_minor_version>20</core_client_minor_version>\n<core_client_release>5</core_client_release>\n"
    "<user_run_request>2</user_run_request>\n<user_gpu_request>3</user_gpu_request>\n"
    "<user_network_request>1</user_network_request>\n</client_state>\n";

// The state above in `dir`, with the partial download (1234 bytes) and the
// slot's checkpoint, written ten seconds after the state file.
std::string writeWhyState(const TempDir& dir) {
    const std::string path = dir.write("client_state.xml", whyState);
    fs::create_directories(dir.path() / "projects" / "a.org_x");
    dir.write("projects/a.org_x/partial.dat", std::string(1234, 'x'));
    fs::create_directories(dir.path() / "slots" / "0");
    const std::string slot = dir.write(
        "slots/0/boinc_task_state.xml",
        "<active_task>\n<project_master_url>http://b/</project_master_url>\n<result_name>r1</result_name>\n"
        "<checkpoint_cpu_time>60.5</checkpoint_cpu_time>\n<checkpoint_elapsed_time>65</checkpoint_elapsed_time>\n"
        "<fraction_done>0.2</fraction_done>\n</active_task>\n");
    fs::last_write_time(slot, fs::last_write_time(path) + std::chrono::seconds(10));
    return path;
}

TEST(DumpExe, WhyNothingRuns) {
    const TempDir dir;
    const std::string path = writeWhyState(dir);
    Outcome r = dump({"--json", "--now", "1000000000", path});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r.out = withoutWords(r.out);
    const std::size_t at = r.out.find(",\"project_status\":");
    ASSERT_NE(at, std::string::npos) << r.out;
    EXPECT_EQ(
        r.out.substr(at),
        ",\"project_status\":[{\"project_name\":\"A\",\"master_url\":\"http://a.org/x/\","
        "\"flags\":[\"suspended_via_gui\",\"dont_request_more_work\"],\"sched_rpc_pending\":\"2\","
        "\"min_rpc_time\":\"1000003600.5\",\"next_rpc_time\":null,\"last_rpc_time\":null,\"nrpc_failures\":\"3\","
        "\"master_fetch_failures\":null,\"backoffs\":[{\"name\":\"CPU\",\"time\":\"1000000600\",\"interval\":\"600\"}],"
        "\"njobs_success\":null,\"njobs_error\":null,\"status\":\"Suspended by user \xC2\xB7 Won't get new tasks \xC2\xB7 "
        "Communication deferred 01:00:00 \xC2\xB7 Scheduler request pending: to report completed tasks \xC2\xB7 "
        "CPU work fetch backed off 00:10:00\"},"
        "{\"project_name\":\"B\",\"master_url\":\"http://b/\",\"flags\":[],\"sched_rpc_pending\":null,"
        "\"min_rpc_time\":null,\"next_rpc_time\":null,\"last_rpc_time\":null,\"nrpc_failures\":null,"
        "\"master_fetch_failures\":null,\"backoffs\":[],\"njobs_success\":null,\"njobs_error\":null,\"status\":null}],"
        "\"transfers\":[{\"project_name\":\"A\",\"master_url\":\"http://a.org/x/\",\"name\":\"in.dat\",\"upload\":false,"
        "\"nbytes\":\"1000\",\"bytes_done\":\"250.000000\",\"num_retries\":\"0\",\"first_request_time\":\"999999000\","
        "\"next_request_time\":\"999999000\",\"time_so_far\":\"12.5\",\"error_msg\":null},"
        "{\"project_name\":\"A\",\"master_url\":\"http://a.org/x/\",\"name\":\"out.dat\",\"upload\":true,"
        "\"nbytes\":\"2000\",\"bytes_done\":\"0\",\"num_retries\":\"7\",\"first_request_time\":\"999990000\","
        "\"next_request_time\":\"1000000300\",\"time_so_far\":null,\"error_msg\":\"connect() failed\"},"
        "{\"project_name\":\"A\",\"master_url\":\"http://a.org/x/\",\"name\":\"partial.dat\",\"upload\":false,"
        "\"nbytes\":\"4096\",\"bytes_done\":\"1234\",\"num_retries\":\"1\",\"first_request_time\":null,"
        "\"next_request_time\":null,\"time_so_far\":null,\"error_msg\":null}],"
        "\"slot_progress\":[{\"result\":\"r1\",\"project_url\":\"http://b/\",\"fraction_done\":\"0.2\","
        "\"checkpoint_cpu_time\":\"60.5\",\"checkpoint_elapsed_time\":\"65\"}]}\n");
    EXPECT_NE(r.out.find(",\"client\":{\"running\":null,\"pid\":null,\"version\":\"7.20.5\","
                         "\"platform\":\"x86_64-pc-linux-gnu\",\"run_mode\":\"2\",\"gpu_mode\":\"3\","
                         "\"network_mode\":\"1\"},"),
              std::string::npos) << r.out;

    const Outcome text = dump({"--now", "1000000000", path});
    for (const char* fragment : {"\nClient: 7.20.5, cannot tell\n", "\nTransfers\n\nProject  File",
                                 "\nA        partial.dat  Download   4.00 KiB  1.21 KiB (30.1%)  1"})
        EXPECT_NE(text.out.find(fragment), std::string::npos) << fragment << "\n" << text.out;

    const Outcome metrics = dump({"--prometheus-tasks", "--now", "1000000000", path});
    ASSERT_EQ(metrics.exitCode, 0) << metrics.err;
    const std::string a = "{project=\"A\",url=\"http://a.org/x/\"";
    for (const std::string& line : std::vector<std::string>{
             "\ncrunchwatch_transfers{direction=\"upload\"} 1\ncrunchwatch_transfers{direction=\"download\"} 2\n",
             "\ncrunchwatch_project_deferred_until_seconds" + a + "} 1000003600.5\n# ",
             "\ncrunchwatch_project_flag" + a + ",flag=\"suspended_via_gui\"} 1\ncrunchwatch_project_flag" + a +
                 ",flag=\"dont_request_more_work\"} 1\n# ",
             "\ncrunchwatch_transfer_retries" + a + ",file=\"in.dat\",direction=\"download\"} 0\n" +
                 "crunchwatch_transfer_retries" + a + ",file=\"out.dat\",direction=\"upload\"} 7\n" +
                 "crunchwatch_transfer_retries" + a + ",file=\"partial.dat\",direction=\"download\"} 1\n",
         })
        EXPECT_NE(metrics.out.find(line), std::string::npos) << line << "\n" << metrics.out;
    EXPECT_EQ(metrics.out.find("\ncrunchwatch_client_running "), std::string::npos) << "no lockfile: nothing tells";
    EXPECT_EQ(dump({"--prometheus", path}).out.find("crunchwatch_transfer_retries"), std::string::npos)
        << "per transfer only when asked for";
}

// A failed task and a download that failed six times: the alerts in each
// output, from what the file tells and the moment asked for.
TEST(DumpExe, Alerts) {
    const TempDir dir;
    const std::string path = dir.write(
        "client_state.xml",
        "<client_state>\n<project>\n<master_url>http://a.org/x/</master_url>\n<project_name>A</project_name>\n"
        "</project>\n<file>\n<name>in.dat</name>\n<nbytes>1000</nbytes>\n<persistent_file_xfer>\n"
        "<num_retries>6</num_retries>\n<first_request_time>999000000</first_request_time>\n"
        "<next_request_time>1000000300</next_request_time>\n<is_upload>0</is_upload>\n</persistent_file_xfer>\n"
        "<error_msg>couldn't resolve host name</error_msg>\n</file>\n<workunit>\n<name>wu1</name>\n</workunit>\n"
        "<result>\n<name>r1</name>\n<state>3</state>\n<wu_name>wu1</wu_name>\n<exit_status>42</exit_status>\n"
        "<report_deadline>1000086400</report_deadline>\n</result>\n</client_state>\n");
    const Outcome r = dump({"--json", "--now", "1000000000", path});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.substr(r.out.find(",\"alerts\":")), 
              ",\"alerts\":[{\"rule\":\"task_failed\",\"severity\":\"error\",\"project\":\"A\","
              "\"project_url\":\"http://a.org/x/\",\"task\":\"r1\",\"since\":1000000000,"
              "\"text\":\"computation error, exit status 42 (the application's own exit code: it failed)\"},"
              "{\"rule\":\"transfer_stuck\",\"severity\":\"warning\",\"project\":\"A\","
              "\"project_url\":\"http://a.org/x/\",\"task\":\"in.dat\",\"since\":1000000000,"
              "\"text\":\"download failed 6 times; the client gives up in 78 days: couldn't resolve host name\"}]}\n");
    const Outcome text = dump({"--now", "1000000000", "--date-format", iso, path});
    EXPECT_EQ(between(text.out, "\nAlerts\n", "\nResults\n"), 
              "\nAlerts\n\n"
              "error    Task failed     A  r1      computation error, exit status 42 (the application's own exit code: "
              "it failed)  since 2001-09-09 01:46:40\n"
              "warning  Transfer stuck  A  in.dat  download failed 6 times; the client gives up in 78 days: "
              "couldn't resolve host name  since 2001-09-09 01:46:40\n");
    const Outcome metrics = dump({"--prometheus", "--now", "1000000000", path});
    EXPECT_EQ(between(metrics.out, "crunchwatch_alert gauge\n", "# "), 
              "crunchwatch_alert gauge\n"
              "crunchwatch_alert{rule=\"task_failed\",severity=\"error\",project=\"A\",task=\"r1\"} 1\n"
              "crunchwatch_alert{rule=\"transfer_stuck\",severity=\"warning\",project=\"A\",task=\"in.dat\"} 1\n");
}

// The client runs while its lock is held; a lockfile nobody holds is a
// stopped client; without one (or without a state file's version) nothing
// can be told.
TEST(DumpExe, WhetherTheClientRuns) {
    enum class Lock { held, free, none };
    for (const Lock lock : {Lock::held, Lock::free, Lock::none}) {
        const TempDir dir;
        const std::string path = writeWhyState(dir);
        const std::string lockfile = (dir.path() / "lockfile").string();
        std::optional<test::LockHolder> holder;
        if (lock == Lock::held) {
            holder.emplace(lockfile);
            ASSERT_TRUE(holder->locked()) << "the child could not take the lock";
        } else if (lock == Lock::free) {
            dir.write("lockfile", "");
        }
        const std::string pid = holder ? std::to_string(holder->pid()) : "";
        const std::string running = lock == Lock::held ? "true" : lock == Lock::free ? "false" : "null";
        const std::string client = "\"client\":{\"running\":" + running +
                                   ",\"pid\":" + (holder ? pid : "null") + ",\"version\":\"7.20.5\",";
        const std::string line = lock == Lock::held   ? "Client: 7.20.5, running (process " + pid + ")\n"
                                 : lock == Lock::free ? "Client: 7.20.5, not running\n"
                                                      : "Client: 7.20.5, cannot tell\n";
        const std::string sample = lock == Lock::held   ? "\ncrunchwatch_client_running 1\n"
                                   : lock == Lock::free ? "\ncrunchwatch_client_running 0\n"
                                                        : "";
        SCOPED_TRACE(running);
        EXPECT_NE(dump({"--json", path}).out.find(client), std::string::npos) << client;
        EXPECT_NE(dump({path}).out.find(line), std::string::npos) << line;
        const std::string metrics = dump({"--prometheus", path}).out;
        EXPECT_NE(metrics.find("# TYPE crunchwatch_client_running gauge\n" + sample.substr(sample.empty() ? 0 : 1)),
                  std::string::npos) << metrics;
        EXPECT_EQ(metrics.find("\ncrunchwatch_client_running ") != std::string::npos, !sample.empty()) << metrics;
        // Only a free lock tells that the client stopped; the file is too fresh to tell it by its age.
        EXPECT_EQ(metrics.find("crunchwatch_alert{rule=\"client_stopped\"") != std::string::npos, lock == Lock::free)
            << metrics;
    }
}

// ------------------------------------------------------------ metrics

constexpr const char* readableLine = "crunchwatch_state_file_readable{path=\"";

std::vector<std::string> filesIn(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A real client's statistics file beside its state file: the newest day's
// figures per project; no job log, so no finished-task series.
TEST(DumpExe, MetricsOfARealStatisticsFile) {
    CRUNCHWATCH_SKIP_WITHOUT_REALDATA();
    const Outcome r = dump({"--prometheus", (test::realDataDir() / "caoyuwei-ikits" / "client_state.xml").string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string labels = "{project=\"SETI@home\",url=\"http://setiathome.berkeley.edu/\"";
    EXPECT_NE(r.out.find("crunchwatch_project_statistics_day_timestamp_seconds" + labels + "} 1289865600\n"),
              std::string::npos) << r.out;
    EXPECT_NE(r.out.find("crunchwatch_project_statistics_credit" + labels + ",kind=\"user_total\"} 3363.551496\n"),
              std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("crunchwatch_project_finished_tasks_total{"), std::string::npos) << r.out;
}

TEST(DumpExe, MetricsAreWrittenEvenWhenTheFileCannotBeRead) {
    const TempDir dir;
    const std::string missing = (dir.path() / "client_state.xml").string();
    const Outcome r = dump({"--prometheus-tasks", missing});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Error: file not found!\ncrunchwatch-dump: could not read " + missing + ": there is no such file\n");
    EXPECT_NE(r.out.find(readableLine + missing + "\"} 0\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("crunchwatch_projects"), std::string::npos) << r.out;

    const Outcome ok = dump({"--prometheus", example});
    EXPECT_EQ(ok.exitCode, 0) << ok.err;
    EXPECT_EQ(ok.err, "");
    EXPECT_EQ(ok.out.rfind("# HELP crunchwatch_state_file_readable ", 0), 0u);
    EXPECT_NE(ok.out.find(readableLine + example + "\"} 1\n"), std::string::npos);
    EXPECT_NE(ok.out.find("\ncrunchwatch_projects 4\n"), std::string::npos);
    EXPECT_EQ(ok.out.find("crunchwatch_task_"), std::string::npos) << "per task only when asked for";
}

TEST(DumpExe, OutputReplacesTheFileWhole) {
    const TempDir dir;
    // The output beside, not in, the data folder: there it would count among the client's own files.
    fs::create_directory(dir.path() / "data");
    const std::string state = dir.write("data/client_state.xml", exampleText());
    const std::string target = dir.write("crunchwatch.prom", "old\n");
    const mode_t savedMask = ::umask(022);
    const Outcome r = dump({"--prometheus", "--now", "1796150000", "--output", target, state});
    ::umask(savedMask);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(slurp(target), dump({"--prometheus", "--now", "1796150000", state}).out);
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(0644)) << "readable by the exporter's user";
    EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"crunchwatch.prom", "data"}));

    // The state file gone: the failure is written, and the exit status says so.
    fs::remove(state);
    const Outcome gone = dump({"--prometheus", "--output", target, state});
    EXPECT_EQ(gone.exitCode, 1);
    EXPECT_NE(slurp(target).find(readableLine + state + "\"} 0\n"), std::string::npos);

    // Any other failure leaves what was there, and no temporary file.
    dir.write("data/client_state.xml", exampleText());
    const std::string before = slurp(target);
    fs::create_directories(dir.path() / "a_directory" / "inside");
    const std::string aDirectory = (dir.path() / "a_directory").string();
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--prometheus", "--output", (dir.path() / "no_such_dir" / "x.prom").string(), state},
             {"--prometheus", "--output", aDirectory, state},
             {"--json", "--output", target, (dir.path() / "data" / "missing.xml").string()},
         }) {
        const Outcome failed = dump(args);
        EXPECT_EQ(failed.exitCode, 1) << args[2];
        EXPECT_FALSE(failed.err.empty()) << args[2];
        EXPECT_EQ(slurp(target), before) << args[2];
        EXPECT_TRUE(fs::is_directory(dir.path() / "a_directory" / "inside"));
        EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"a_directory", "crunchwatch.prom", "data"}));
    }
    // The other views are written the same way.
    const Outcome json = dump({"--json", "--output", target, state});
    EXPECT_EQ(json.exitCode, 0) << json.err;
    EXPECT_EQ(slurp(target).rfind("{\"state_file\":", 0), 0u);
}

bool havePromtool() { return run({"/bin/sh", "-c", "command -v promtool"}).exitCode == 0; }

// Prometheus's own checker, parse and lint: it must have nothing to say.
void expectPromtoolClean(const std::string& stateFile) {
    static const TempDir scratch;
    const Outcome r = dump({"--prometheus-tasks", "--now", "1796150000", stateFile});
    ASSERT_EQ(r.exitCode, 0) << stateFile << ": " << r.err;
    const std::string metrics = scratch.write("out.prom", r.out);
    const Outcome check = run({"/bin/sh", "-c", "exec promtool check metrics < \"$1\" 2>&1", "sh", metrics});
    EXPECT_EQ(check.exitCode, 0) << stateFile;
    EXPECT_EQ(check.out, "") << stateFile;
}

TEST(DumpExe, PromtoolFindsNothingToSay) {
    if (!havePromtool()) GTEST_SKIP() << "promtool (Debian package prometheus) is not installed";
    expectPromtoolClean(example);
    // Names with everything the format must escape or can not hold: quotes,
    // backslashes, a line break, invalid UTF-8, a carriage return, a NUL.
    using namespace std::string_literals;
    const TempDir dir;
    const std::string hostile = dir.write(
        "client_state.xml",
        "<project>\n<master_url>http://a/\"\\</master_url>\n<project_name>Q \"x\" \\n \\\\ \xFF\xC0\r"
        "\0 {a=\"b\"}\n</project_name>\n<resource_share>0</resource_share>\n</project>\n"
        "<workunit>\n<name>w\"1\"</name>\n</workunit>\n"
        "<result>\n<name>t \"1\" \\ \xE2\x82</name>\n<state>2</state>\n<wu_name>w\"1\"</wu_name>\n"
        "<report_deadline>1e999</report_deadline>\n</result>\n"
        "<result>\n<name>t \"1\" \\ \xE2\x83</name>\n<state>9</state>\n</result>\n"
        "<project>\n<project_name>\n</project_name>\n</project>\n"
        "<active_task_set>\n<active_task>\n<project_master_url>http://a/\"\\</project_master_url>\n"
        "<result_name>t \"1\" \\ \xE2\x82</result_name>\n<fraction_done>-nan</fraction_done>\n"
        "<current_cpu_time>-1e999</current_cpu_time>\n</active_task>\n</active_task_set>\n"s);
    expectPromtoolClean(hostile);
}

TEST(DumpExe, PromtoolFindsNothingToSayOnRealClientFiles) {
    CRUNCHWATCH_SKIP_WITHOUT_REALDATA();
    if (!havePromtool()) GTEST_SKIP() << "promtool (Debian package prometheus) is not installed";
    int checked = 0;
    for (const auto& entry : fs::directory_iterator(test::realDataDir())) {
        const fs::path state = entry.path() / "client_state.xml";
        if (!fs::is_regular_file(state)) continue;
        expectPromtoolClean(state.string());
        ++checked;
    }
    if (checked == 0) GTEST_SKIP() << "no client_state.xml among the real client files";
}

}  // namespace
}  // namespace crunchwatch
