// The alert rules over generated states, the moments alerts began, and the
// ledger of what was told.

#include <algorithm>
#include <cmath>
#include <tuple>

#include "state_text.hpp"
#include "tables/alert_ledger.hpp"
#include "tables/date_value.hpp"
#include "tables/refresher.hpp"
#include "test_support.hpp"

namespace crunchwatch {
namespace {

using test::el;

constexpr double now = 1'800'000'000;

std::string at(double seconds) { return std::to_string(static_cast<long long>(now + seconds)); }

// A project "A" with one task: running with 360 s of processor time left
// (120 s used at a quarter) when `runs`, else waiting to run.
std::string oneTask(std::string_view resultFields, bool runs, std::string_view projectFields = {},
                    std::string_view rest = {}, std::string_view head = {}) {
    const std::string activeTask =
        runs ? test::task("http://a/", "r_0",
                          el("active_task_state", "1") + el("checkpoint_fraction_done", "0.25") +
                              el("current_cpu_time", "120") + el("checkpoint_cpu_time", "120"))
             : std::string();
    return test::stateFile(std::string(head) + test::project("http://a/", el("project_name", "A") + el("resource_share", "100") +
                                                          std::string(projectFields)) +
                               test::workunit("w", "app") + test::result("r_0", "w", resultFields) +
                               std::string(rest),
                           activeTask);
}

std::string neverRun(std::string text, std::string_view mode = "user_run_request") {
    return text.insert(text.rfind("</client_state>"), el(mode, "3"));
}

struct Surround {
    ClientRunning lock = ClientRunning::yes;
    std::optional<double> stateFileAge;
};

AlertsValue alertsOf(const std::string& text, Surround s = {}, const AlertMemory* before = nullptr,
                     double clock = now) {
    RefreshValue v = *valueOfText(text);
    v.takenAt = clock;
    auto around = std::make_shared<Surroundings>();
    around->lock.running = s.lock;
    if (s.stateFileAge) around->stateFileTime = clock - *s.stateFileAge;
    v.around = around;
    return evaluateAlerts(v, AlertThresholds{}, before);
}

std::string named(const AlertsValue& a) {
    std::string s;
    for (const Alert& x : a.alerts) s += std::string(s.empty() ? "" : " ") + std::string(ruleId(x.rule)) + ":" + x.task;
    return s;
}

TEST(AlertRules, EachRuleAndItsThreshold) {
    const std::string waiting = el("state", "2") + el("report_deadline", at(86400));
    const auto xfer = [](std::string_view retries, std::string_view first) {
        return "<file>" + el("name", "in.dat") + el("nbytes", "4096") + "<persistent_file_xfer>" +
               el("num_retries", retries) + el("first_request_time", first) + el("is_upload", "0") +
               "</persistent_file_xfer></file>";
    };
    const std::string startedAnHourAgo = "<time_stats>" + el("client_start_time", at(-3600)) + "</time_stats>";
    const std::string ready = el("state", "5") + "<ready_to_report/>" + el("report_deadline", at(86400));
    struct Case {
        const char* what;
        std::string text;
        Surround around;
        std::string shown;
    };
    const Case cases[] = {
        {"running, on time", oneTask(waiting, true), {}, ""},
        {"computation error", oneTask(el("state", "3") + el("exit_status", "194"), false), {}, "task_failed:r_0"},
        {"aborted", oneTask(el("state", "6"), false), {}, "task_failed:r_0"},
        {"aborted by the project", oneTask(el("state", "6") + el("exit_status", "202"), false), {},
         "task_failed:r_0"},
        {"aborted by the user", oneTask(el("state", "6") + el("exit_status", "203"), false), {}, ""},
        {"aborted by the user after its deadline",
         oneTask(el("state", "6") + el("exit_status", "203") + el("report_deadline", at(-60)), false), {}, ""},
        {"upload failed", oneTask(el("state", "7"), false), {}, "task_failed:r_0"},
        {"completes after its deadline", oneTask(el("state", "2") + el("report_deadline", at(60)), true), {},
         "deadline_at_risk:r_0"},
        {"deadline passed", oneTask(el("state", "2") + el("report_deadline", at(-60)), true), {},
         "deadline_missed:r_0"},
        {"deadline passed, reported", oneTask(ready + el("report_deadline", at(-60)) + "<got_server_ack/>", false),
         {}, ""},
        {"failed after its deadline: failed only",
         oneTask(el("state", "3") + el("report_deadline", at(-60)), false), {}, "task_failed:r_0"},
        {"5 retries", oneTask(waiting, true, {}, xfer("5", at(-3600))), {}, "transfer_stuck:in.dat"},
        {"4 retries", oneTask(waiting, true, {}, xfer("4", at(-3600))), {}, ""},
        {"gives up within a day", oneTask(waiting, true, {}, xfer("1", at(-89.5 * 86400))), {},
         "transfer_stuck:in.dat"},
        {"deferred 2 h, a task to report", oneTask(ready, false, el("min_rpc_time", at(7200))), {},
         "project_deferred:"},
        {"deferred 30 min", oneTask(ready, false, el("min_rpc_time", at(1800))), {}, ""},
        {"deferred, nothing to report", oneTask(waiting, true, el("min_rpc_time", at(7200))), {}, ""},
        {"lock free", oneTask(waiting, true), {ClientRunning::no, 60}, "client_stopped:"},
        {"no lock, unchanged 2 h while running", oneTask(waiting, true), {ClientRunning::cannotTell, 7200},
         "client_stopped:"},
        {"no lock, unchanged 2 h, nothing running", oneTask(ready, false), {ClientRunning::cannotTell, 7200}, ""},
        {"no lock, unchanged 30 min", oneTask(waiting, true), {ClientRunning::cannotTell, 1800}, ""},
        {"idle an hour", oneTask(waiting, false, {}, {}, startedAnHourAgo), {}, "idle:"},
        {"idle 10 minutes", oneTask(waiting, false, {}, {}, "<time_stats>" + el("client_start_time", at(-600)) + "</time_stats>"),
         {}, ""},
        {"idle, the user said never", neverRun(oneTask(waiting, false, {}, {}, startedAnHourAgo)), {}, ""},
        {"idle, the project suspended", oneTask(waiting, false, "<suspended_via_gui/>", {}, startedAnHourAgo), {}, ""},
        {"idle, GPUs off, a GPU's task waits",
         neverRun(oneTask(waiting + el("plan_class", "opencl_nvidia_101"), false, {}, {}, startedAnHourAgo),
                  "user_gpu_request"),
         {}, ""},
        {"idle, GPUs off, a processor's task waits",
         neverRun(oneTask(waiting + el("plan_class", "sse2_static"), false, {}, {}, startedAnHourAgo),
                  "user_gpu_request"),
         {}, "idle:"},
    };
    for (const Case& c : cases) EXPECT_EQ(named(alertsOf(c.text, c.around)), c.shown) << c.what;
}

// An abort is worded as what happened; the user's own is no alert at all.
TEST(AlertRules, AnAbortSaysWhoAborted) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "aborted"},
        {"0", "aborted"},
        {"194", "aborted by the client"},
        {"200", "not started before its deadline"},
        {"202", "aborted by the project"},
        {"203", nullptr},
    };
    for (const auto& [status, words] : cases) {
        const std::string exit = *status ? el("exit_status", status) : std::string();
        const AlertsValue a = alertsOf(oneTask(el("state", "6") + exit, false));
        if (!words) {
            EXPECT_TRUE(a.alerts.empty()) << status;
            continue;
        }
        ASSERT_EQ(a.alerts.size(), 1u) << status;
        EXPECT_EQ(a.alerts[0].text, words) << status;
    }
}

TEST(AlertRules, WordsSeverityAndTheWorkUnderWay) {
    const AlertsValue failed = alertsOf(oneTask(el("state", "3") + el("exit_status", "194"), false));
    ASSERT_EQ(failed.alerts.size(), 1u);
    const Alert& a = failed.alerts[0];
    EXPECT_EQ(a.severity, AlertSeverity::error);
    EXPECT_EQ(a.project, "A");
    EXPECT_EQ(a.projectUrl, "http://a/");
    EXPECT_EQ(a.text.rfind("computation error, exit status 194 (", 0), 0u) << a.text;
    EXPECT_EQ(a.key(), "task_failed\thttp://a/\tr_0");

    const AlertsValue late = alertsOf(oneTask(el("state", "2") + el("report_deadline", at(60)), true));
    EXPECT_EQ(late.work.running, 1u);
    EXPECT_EQ(late.work.atRisk, 1u);
    EXPECT_EQ(late.work.nextCompletion, now + 360);
    EXPECT_EQ(late.alerts[0].text, "expected to complete 00:05:00 after its deadline");
    EXPECT_EQ(workSummaryText(late.work, std::string("%H:%M")),
              "1 running \u00b7 1 at risk \u00b7 next completes " + *formatDaty(now + 360, std::string("%H:%M")));
    EXPECT_EQ(workSummaryText({}, std::nullopt), "nothing running");

    const AlertsValue stopped = alertsOf(oneTask(el("state", "2"), true), {ClientRunning::no, 600});
    EXPECT_TRUE(stopped.clientStopped);
    EXPECT_EQ(stopped.alerts[0].since, now - 600) << "the client wrote its file as it stopped";
    EXPECT_EQ(stopped.work.running, 0u) << "a stopped client runs nothing";
}

TEST(AlertRules, DiskNearlyFull) {
    for (const auto& [used, allowed, full] : {std::tuple{95.0, 100.0, true}, {90.0, 100.0, false}, {1.0, 0.0, true},
                                              {0.0, 0.0, false}}) {
        RefreshValue v = *valueOfText(oneTask(el("state", "2"), true));
        auto computer = std::make_shared<ComputerValue>();
        computer->disk.totalBytes = static_cast<std::uint64_t>(used);
        computer->disk.allowed.bytes = allowed;
        v.computer = computer;
        EXPECT_EQ(named(evaluateAlerts(v, AlertThresholds{}, nullptr)), full ? "disk_full:" : "") << used << allowed;
    }
}

// An alert begins once: later evaluations keep its moment; one that ends
// and comes back begins anew. A missed deadline began at the deadline.
TEST(AlertRules, TheMomentAnAlertBegan) {
    const std::string text = oneTask(el("state", "2") + el("report_deadline", at(60)), true);
    const AlertsValue first = alertsOf(text);
    const AlertsValue later = alertsOf(text, {}, &first.memory, now + 30);
    ASSERT_EQ(later.alerts.size(), 1u);
    EXPECT_EQ(later.alerts[0].since, now);
    const AlertsValue missed = alertsOf(text, {}, &later.memory, now + 600);
    EXPECT_EQ(named(missed), "deadline_missed:r_0");
    EXPECT_EQ(missed.alerts[0].since, now + 60);

    // A deferral that runs down below the threshold is still the alert that began.
    const std::string deferred = oneTask(el("state", "5") + "<ready_to_report/>", false, el("min_rpc_time", at(7200)));
    const AlertsValue began = alertsOf(deferred);
    EXPECT_EQ(named(alertsOf(deferred, {}, &began.memory, now + 5400)), "project_deferred:");
    EXPECT_EQ(named(alertsOf(deferred, {}, nullptr, now + 5400)), "") << "not begun: below the threshold";

    // Idle counts from the last refresh that saw a task run.
    const std::string waits = oneTask(el("state", "2"), false);
    const AlertsValue ran = alertsOf(oneTask(el("state", "2"), true));
    EXPECT_EQ(named(alertsOf(waits, {}, &ran.memory, now + 1700)), "");
    const AlertsValue idle = alertsOf(waits, {}, &ran.memory, now + 1900);
    EXPECT_EQ(named(idle), "idle:");
    EXPECT_EQ(idle.alerts[0].since, now);
}

// A failed task in the job log counts for a day after it ended; the log's
// tasks that ended well, and older failures, do not.
TEST(AlertRules, FailuresInTheJobLog) {
    test::TempDir dir;
    const std::string text = test::stateFile(test::project("http://a/", el("project_name", "A")));
    const StatePath path(dir.write("client_state.xml", text));
    const auto line = [](double ended, std::string_view name, std::string_view es) {
        return at(ended) + " ue 1 ct 2 fe 3 nm " + std::string(name) + " et 4 es " + std::string(es) + "\n";
    };
    dir.write("job_log_a.txt", line(-3 * 86400, "old", "1") + line(-7200, "good", "0") + line(-3600, "bad", "195") +
                                line(-1800, "mine", "203"));
    Refresher refresher;
    RefreshValue v = *refresher.refresh(path);
    v.takenAt = now;
    const AlertsValue a = evaluateAlerts(v, AlertThresholds{}, nullptr);
    EXPECT_EQ(named(a), "task_failed:bad");
    EXPECT_EQ(a.alerts[0].since, now - 3600);
    EXPECT_NE(a.alerts[0].text.find("exit status 195"), std::string::npos);
}

// Time alone begins an alert: the deadline passes with no file changed.
// The moments kept are the file's own, also across a failed read of another.
TEST(AlertRules, AgainWithNothingRead) {
    test::TempDir dir;
    const double deadline = std::floor(nowSeconds()) + 100;
    const StatePath path(dir.write("client_state.xml",
                                   oneTask(el("state", "2") + el("report_deadline", std::to_string(deadline)), true)));
    Refresher refresher;
    const auto first = refresher.refresh(path);
    ASSERT_EQ(named(*first->alerts), "deadline_at_risk:r_0");
    ASSERT_FALSE(*refresher.refresh(StatePath((dir.path() / "missing/client_state.xml").string())));
    const auto back = refresher.refresh(path);
    ASSERT_EQ(named(*back->alerts), "deadline_at_risk:r_0");
    EXPECT_EQ(back->alerts->alerts[0].since, first->takenAt);

    EXPECT_EQ(refresher.refreshAlerts(back->takenAt + 10), nullptr) << "evaluated a moment ago";
    EXPECT_EQ(refresher.refreshAlerts(back->takenAt + 40), nullptr) << "the same alerts";
    const auto missed = refresher.refreshAlerts(back->takenAt + 200);
    ASSERT_NE(missed, nullptr);
    EXPECT_EQ(named(*missed->alerts), "deadline_missed:r_0");
    EXPECT_EQ(missed->alerts->alerts[0].since, deadline);
}

TEST(AlertRules, AServersWordsKeepTheAccountsKeyHidden) {
    const std::string xfer = "<file>" + el("name", "in.dat") + "<persistent_file_xfer>" + el("num_retries", "9") +
                             el("is_upload", "0") + "</persistent_file_xfer>" +
                             el("error_msg", "refused http://a/get?auth=0123abcd&amp;x=1") + "</file>";
    const AlertsValue a = alertsOf(oneTask(el("state", "2"), true, {}, xfer));
    ASSERT_EQ(named(a), "transfer_stuck:in.dat");
    EXPECT_EQ(a.alerts[0].text.find("0123abcd"), std::string::npos) << a.alerts[0].text;
}

TEST(AlertLedger, ToldOnceWhileItLastsAndAcrossARestart) {
    Alert a;
    a.rule = AlertRule::client_stopped;
    a.since = 5;
    Alert b;
    b.rule = AlertRule::task_failed;
    b.projectUrl = "http://a/";
    b.task = "r\t0";
    AlertLedger ledger;
    auto c = ledger.update("/x/client_state.xml", {a, b});
    EXPECT_EQ(c.begun.size(), 2u);
    EXPECT_TRUE(ledger.update("/x/client_state.xml", {a, b}).empty());
    EXPECT_TRUE(ledger.update("/y/client_state.xml", {}).empty()) << "another file's alerts do not end these";

    test::TempDir dir;
    const std::string file = (dir.path() / "state/crunchwatch/notified").string();
    std::string why;
    ASSERT_TRUE(ledger.save(file, why)) << why;
    AlertLedger restarted = AlertLedger::load(file);
    EXPECT_TRUE(restarted.update("/x/client_state.xml", {a, b}).empty()) << restarted.text();
    c = restarted.update("/x/client_state.xml", {b});
    ASSERT_EQ(c.ended.size(), 1u);
    EXPECT_EQ(c.ended[0].rule, AlertRule::client_stopped);
    EXPECT_EQ(c.ended[0].since, 5);
    EXPECT_EQ(restarted.update("/x/client_state.xml", {a, b}).begun.size(), 1u) << "back again: told again";

    EXPECT_EQ(AlertLedger::fromText("junk\n/p\tnot_a_rule\tu\tt\t1\n/p\tidle\t\t\tnan?\n/p\tidle\t\t\t7\n").size(), 1u);
    EXPECT_EQ(AlertLedger::load((dir.path() / "missing").string()).size(), 0u);

    // Other files' lines give way before the ledger grows past what a start reads.
    AlertLedger big;
    std::vector<Alert> many(40000, a);
    for (std::size_t i = 0; i < many.size(); ++i) many[i].task = std::to_string(i) + std::string(100, 'x');
    big.update("/old/client_state.xml", many);
    big.update("/x/client_state.xml", {a, b});
    EXPECT_LT(big.text().size(), std::size_t{4} << 20);
    EXPECT_TRUE(AlertLedger::fromText(big.text()).update("/x/client_state.xml", {a, b}).empty());
}

}  // namespace
}  // namespace crunchwatch
