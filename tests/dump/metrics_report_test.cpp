#include "dump/metrics_report.hpp"

#include <memory>

#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "dump/alerts_report.hpp"
#include "tables/refresher.hpp"

#include "state/projects.hpp"
#include "tables/rows.hpp"

namespace crunchwatch {
namespace {

Report snapshotOf(std::string_view text) { return *valueOfText(text); }

std::string report(const Report* s, bool perTask, std::optional<double> modified = 1796150000.5) {
    std::ostringstream out;
    writePrometheusReport(out, s, MetricsOptions{"/var/lib/boinc/client_state.xml", modified, 0, perTask});
    return out.str();
}

// Project A: a hostile name, a credit that overflows, three results: one
// running (completing after its deadline), one downloading without a
// deadline, one sent. Project B: neither name nor figures, nor results.
constexpr std::string_view smallState =
    "<client_state>\n<project>\n<master_url>http://a/</master_url>\n<project_name>A \"q\" \\ \xFFZ</project_name>\n"
    "<user_total_credit>10.5</user_total_credit>\n<host_total_credit>1e999</host_total_credit>\n"
    "<resource_share>100</resource_share>\n</project>\n"
    "<workunit>\n<name>wu1</name>\n<app_name>app</app_name>\n<version_num>512</version_num>\n</workunit>\n"
    "<result>\n<name>r1</name>\n<state>2</state>\n<wu_name>wu1</wu_name>\n<report_deadline>7200</report_deadline>\n"
    "</result>\n<result>\n<name>r2</name>\n<state>1</state>\n<wu_name>wu1</wu_name>\n</result>\n"
    "<result>\n<name>r3</name>\n<state>5</state>\n<wu_name>wu1</wu_name>\n<report_deadline>99000</report_deadline>\n"
    "</result>\n<project>\n<master_url>http://b/</master_url>\n</project>\n<active_task_set>\n<active_task>\n"
    "<project_master_url>http://a/</project_master_url>\n<result_name>r1</result_name>\n"
    "<scheduler_state>2</scheduler_state>\n<fraction_done>0.25</fraction_done>\n"
    "<current_cpu_time>3600</current_cpu_time>\n</active_task>\n</active_task_set>\n</client_state>\n";

constexpr std::string_view a = "project=\"A \\\"q\\\" \\\\ \xEF\xBF\xBDZ\",url=\"http://a/\"";
constexpr std::string_view b = "project=\"http://b/\",url=\"http://b/\"";

std::string stateFamilies(std::string_view readable, std::string_view modifiedSample) {
    return "# HELP crunchwatch_state_file_readable Whether the BOINC client's state file could be read (1) or not (0).\n"
           "# TYPE crunchwatch_state_file_readable gauge\n"
           "crunchwatch_state_file_readable{path=\"/var/lib/boinc/client_state.xml\"} " + std::string(readable) + "\n"
           "# HELP crunchwatch_state_file_modified_seconds When the BOINC client last wrote its state file, in seconds since 1970.\n"
           "# TYPE crunchwatch_state_file_modified_seconds gauge\n" + std::string(modifiedSample);
}

TEST(MetricsReport, ExactReportOfASmallState) {
    const Report s = snapshotOf(smallState);
    const std::string A(a), B(b);
    const std::string hostAndProjects =
        stateFamilies("1", "crunchwatch_state_file_modified_seconds{path=\"/var/lib/boinc/client_state.xml\"} 1796150000.5\n") +
        "# HELP crunchwatch_projects How many projects the BOINC client is attached to.\n"
        "# TYPE crunchwatch_projects gauge\ncrunchwatch_projects 2\n"
        "# HELP crunchwatch_credit Credit of all the client's projects together, by kind.\n"
        "# TYPE crunchwatch_credit gauge\n"
        "crunchwatch_credit{kind=\"user_total\"} 10.5\ncrunchwatch_credit{kind=\"user_average\"} 0\n"
        "crunchwatch_credit{kind=\"host_total\"} +Inf\ncrunchwatch_credit{kind=\"host_average\"} 0\n"
        // Made from text alone: no lock to ask, so no sample.
        "# HELP crunchwatch_client_running Whether a BOINC client holds the lock of its data directory (1) or not (0).\n"
        "# TYPE crunchwatch_client_running gauge\n"
        "# HELP crunchwatch_transfers How many file transfers the client keeps trying, by direction.\n"
        "# TYPE crunchwatch_transfers gauge\n"
        "crunchwatch_transfers{direction=\"upload\"} 0\ncrunchwatch_transfers{direction=\"download\"} 0\n"
        "# HELP crunchwatch_project_credit A project's credit of the user's account and of this host: total and recent average.\n"
        "# TYPE crunchwatch_project_credit gauge\n"
        "crunchwatch_project_credit{" + A + ",kind=\"user_total\"} 10.5\n"
        "crunchwatch_project_credit{" + A + ",kind=\"host_total\"} +Inf\n"
        "# HELP crunchwatch_project_resource_share A project's resource share.\n"
        "# TYPE crunchwatch_project_resource_share gauge\n"
        "crunchwatch_project_resource_share{" + A + "} 100\n"
        "# HELP crunchwatch_project_resource_share_ratio A project's resource share divided by the sum of every project's share.\n"
        "# TYPE crunchwatch_project_resource_share_ratio gauge\n"
        "crunchwatch_project_resource_share_ratio{" + A + "} 1\n"
        "# HELP crunchwatch_tasks How many of a project's tasks are in each state.\n"
        "# TYPE crunchwatch_tasks gauge\n"
        "crunchwatch_tasks{" + A + ",state=\"running\"} 1\ncrunchwatch_tasks{" + B + ",state=\"running\"} 0\n"
        "crunchwatch_tasks{" + A + ",state=\"paused\"} 0\ncrunchwatch_tasks{" + B + ",state=\"paused\"} 0\n"
        "crunchwatch_tasks{" + A + ",state=\"waiting\"} 0\ncrunchwatch_tasks{" + B + ",state=\"waiting\"} 0\n"
        "crunchwatch_tasks{" + A + ",state=\"downloading\"} 1\ncrunchwatch_tasks{" + B + ",state=\"downloading\"} 0\n"
        "crunchwatch_tasks{" + A + ",state=\"finished\"} 0\ncrunchwatch_tasks{" + B + ",state=\"finished\"} 0\n"
        "crunchwatch_tasks{" + A + ",state=\"sent\"} 1\ncrunchwatch_tasks{" + B + ",state=\"sent\"} 0\n"
        "crunchwatch_tasks{" + A + ",state=\"other\"} 0\ncrunchwatch_tasks{" + B + ",state=\"other\"} 0\n"
        "# HELP crunchwatch_project_deferred_until_seconds Until when the client defers communicating with a project "
        "(its min_rpc_time), in seconds since 1970.\n"
        "# TYPE crunchwatch_project_deferred_until_seconds gauge\n"
        "# HELP crunchwatch_project_flag 1 for each flag set in a project's state, such as suspended_via_gui, "
        "dont_request_more_work or ended.\n"
        "# TYPE crunchwatch_project_flag gauge\n"
        // No event log was read: the family, without samples.
        "# HELP crunchwatch_event_log_error_lines_total Lines of the BOINC client's event log marked as errors, by "
        "project (\"\" for the client's own).\n"
        "# TYPE crunchwatch_event_log_error_lines_total counter\n"
        "# HELP crunchwatch_alert 1 for each alert active now, by rule, severity, project (\"\" for the client's "
        "own) and task or file.\n"
        "# TYPE crunchwatch_alert gauge\n"
        "crunchwatch_alert{rule=\"deadline_missed\",severity=\"error\"," + A.substr(0, A.find(",url")) + ",task=\"r3\"} 1\n"
        "crunchwatch_alert{rule=\"deadline_missed\",severity=\"error\"," + A.substr(0, A.find(",url")) + ",task=\"r1\"} 1\n"
        // Nothing known of the computer, no walk of a disk: the families, without samples.
        "# HELP crunchwatch_host_info The BOINC client's host: its operating system, processor, platform and client "
        "version (always 1).\n"
        "# TYPE crunchwatch_host_info gauge\n"
        "# HELP crunchwatch_host_cpus How many processors the BOINC client counts on its host.\n"
        "# TYPE crunchwatch_host_cpus gauge\n"
        "# HELP crunchwatch_host_gpus How many GPUs the BOINC client uses, by maker.\n"
        "# TYPE crunchwatch_host_gpus gauge\n"
        "# HELP crunchwatch_time_fraction Fraction of the time the BOINC client ran, was connected, could compute and "
        "use the network, was allowed to compute, and to use the GPU, by kind.\n"
        "# TYPE crunchwatch_time_fraction gauge\n"
        "# HELP crunchwatch_disk_usage_bytes Bytes a project's files take on disk, counted as the BOINC client counts "
        "them (project=\"\" for the client's own files).\n"
        "# TYPE crunchwatch_disk_usage_bytes gauge\n"
        "# HELP crunchwatch_disk_allowed_bytes Bytes of disk the BOINC client may use under its preferences in force.\n"
        "# TYPE crunchwatch_disk_allowed_bytes gauge\n"
        "# HELP crunchwatch_disk_free_bytes Bytes free to an ordinary user on the file system of the BOINC client's "
        "data directory (the client's own record of its disk when that is not this computer's).\n"
        "# TYPE crunchwatch_disk_free_bytes gauge\n";
    EXPECT_EQ(report(&s, false), hostAndProjects);

    // 3600 s for a quarter: 10800 s to go, all of the processor's share, from 0.
    const std::string r1 = A + ",task=\"r1\"", r3 = A + ",task=\"r3\"";
    EXPECT_EQ(report(&s, true),
              hostAndProjects +
                  "# HELP crunchwatch_task_progress_ratio How much of a task is done, from 0 to 1.\n"
                  "# TYPE crunchwatch_task_progress_ratio gauge\n"
                  "crunchwatch_task_progress_ratio{" + r1 + "} 0.25\n"
                  "# HELP crunchwatch_task_cpu_seconds Processor time a task has used so far.\n"
                  "# TYPE crunchwatch_task_cpu_seconds gauge\n"
                  "crunchwatch_task_cpu_seconds{" + r1 + "} 3600\n"
                  "# HELP crunchwatch_task_remaining_seconds Processor time a task still needs, estimated from its progress.\n"
                  "# TYPE crunchwatch_task_remaining_seconds gauge\n"
                  "crunchwatch_task_remaining_seconds{" + r1 + "} 10800\n"
                  "# HELP crunchwatch_task_deadline_timestamp_seconds When a task must be reported, in seconds since 1970.\n"
                  "# TYPE crunchwatch_task_deadline_timestamp_seconds gauge\n"
                  "crunchwatch_task_deadline_timestamp_seconds{" + r1 + "} 7200\n"
                  "crunchwatch_task_deadline_timestamp_seconds{" + r3 + "} 99000\n"
                  "# HELP crunchwatch_task_completion_timestamp_seconds When a task should finish at its project's share of the processor, in seconds since 1970.\n"
                  "# TYPE crunchwatch_task_completion_timestamp_seconds gauge\n"
                  "crunchwatch_task_completion_timestamp_seconds{" + r1 + "} 10800\n"
                  "# HELP crunchwatch_task_deadline_at_risk 1 when a task's expected completion lies after its deadline, else 0.\n"
                  "# TYPE crunchwatch_task_deadline_at_risk gauge\n"
                  "crunchwatch_task_deadline_at_risk{" + r1 + "} 1\n"
                  "# HELP crunchwatch_transfer_retries How often a file transfer failed and was tried again.\n"
                  "# TYPE crunchwatch_transfer_retries gauge\n");
}

TEST(MetricsReport, UnreadableStateFileGivesOnlyItsTwoFamilies) {
    EXPECT_EQ(report(nullptr, true, std::nullopt), stateFamilies("0", ""));
    EXPECT_EQ(report(nullptr, false, 12),
              stateFamilies("0", "crunchwatch_state_file_modified_seconds{path=\"/var/lib/boinc/client_state.xml\"} 12\n"));
}

// Prometheus refuses a series repeated in one scrape: a project with the
// labels of an earlier one, names that only differ by invalid UTF-8, and a
// task or a transfer named twice in a project are reported once, the first
// in file order.
TEST(MetricsReport, RepeatedSeriesAreReportedOnce) {
    const Report s = snapshotOf(
        "<project>\n<master_url>http://a/</master_url>\n<project_name>P\xFF</project_name>\n"
        "<resource_share>1</resource_share>\n</project>\n"
        "<result>\n<name>r1</name>\n<state>4</state>\n<report_deadline>5</report_deadline>\n</result>\n"
        "<result>\n<name>r1</name>\n<state>4</state>\n<report_deadline>6</report_deadline>\n</result>\n"
        "<result>\n<wu_name>w</wu_name>\n<state>4</state>\n<report_deadline>7</report_deadline>\n</result>\n"
        "<result>\n<state>4</state>\n<report_deadline>8</report_deadline>\n</result>\n"
        "<file>\n<name>f</name>\n<persistent_file_xfer>\n<num_retries>2</num_retries>\n</persistent_file_xfer>\n</file>\n"
        "<file>\n<name>f</name>\n<persistent_file_xfer>\n<num_retries>3</num_retries>\n</persistent_file_xfer>\n</file>\n"
        "<file>\n<name>f</name>\n<persistent_file_xfer>\n<is_upload>1</is_upload>\n<num_retries>4</num_retries>\n"
        "</persistent_file_xfer>\n</file>\n"
        "<project>\n<master_url>http://a/</master_url>\n<project_name>P\xFE</project_name>\n"
        "<resource_share>2</resource_share>\n</project>\n"
        "<result>\n<name>r9</name>\n<state>4</state>\n</result>\n"
        "<file>\n<name>g9</name>\n<persistent_file_xfer>\n<num_retries>1</num_retries>\n</persistent_file_xfer>\n</file>\n");
    const std::string out = report(&s, true);
    EXPECT_NE(out.find("crunchwatch_projects 2\n"), std::string::npos);
    const auto count = [&](std::string_view what) {
        std::size_t n = 0;
        for (auto at = out.find(what); at != std::string::npos; at = out.find(what, at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count("crunchwatch_project_resource_share{"), 1u) << out;
    EXPECT_NE(out.find("crunchwatch_project_resource_share_ratio{project=\"P\xEF\xBF\xBD\",url=\"http://a/\"} 0.3333333333333333\n"),
              std::string::npos) << out;
    // Every result of the first block counts, a task without a name too; the repeated one's do not.
    EXPECT_NE(out.find(",state=\"finished\"} 4\n"), std::string::npos) << out;
    EXPECT_EQ(count("crunchwatch_task_deadline_timestamp_seconds{"), 2u) << out;
    EXPECT_NE(out.find("task=\"r1\"} 5\n"), std::string::npos) << out;
    EXPECT_NE(out.find("task=\"w\"} 7\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("r9"), std::string::npos) << out;
    // A file named twice in one direction, the first; every transfer counts.
    EXPECT_EQ(count("crunchwatch_transfer_retries{"), 2u) << out;
    EXPECT_NE(out.find("file=\"f\",direction=\"download\"} 2\n"), std::string::npos) << out;
    EXPECT_NE(out.find("file=\"f\",direction=\"upload\"} 4\n"), std::string::npos) << out;
    EXPECT_NE(out.find("crunchwatch_transfers{direction=\"download\"} 3\n"), std::string::npos) << out;
}


// The alerts as each output writes them, from alerts made here: none, then
// a project's task (a hostile name), a project's file, the client's own, and
// an alert whose labels repeat the first's (a second project of that name).
TEST(AlertsReport, EachOutputOfTheAlerts) {
    const auto alert = [](AlertRule rule, AlertSeverity severity, std::string project, std::string url,
                          std::string task, std::string text, double since) {
        return Alert{rule, severity, std::move(project), std::move(url), std::move(task), std::move(text), since};
    };
    const std::vector<Alert> some{
        alert(AlertRule::task_failed, AlertSeverity::error, "P \"q\"", "http://p/", "t\n1", "Exit status 42", 1700000000),
        alert(AlertRule::transfer_stuck, AlertSeverity::warning, "", "http://u/", "in.dat", "6 retries", 1700000000.5),
        alert(AlertRule::client_stopped, AlertSeverity::error, "", "", "", "The client\x1b[31m is not running", 12),
        alert(AlertRule::task_failed, AlertSeverity::error, "P \"q\"", "http://p2/", "t\n1", "Exit status 1", 11),
    };
    const std::string family =
        "# HELP crunchwatch_alert 1 for each alert active now, by rule, severity, project (\"\" for the client's own) "
        "and task or file.\n# TYPE crunchwatch_alert gauge\n";
    struct Case {
        std::vector<Alert> alerts;
        std::string json, text, metrics;
    } cases[] = {
        {{}, "{\"alerts\":[]}", "\nAlerts\n\nnone\n", family},
        {some,
         "{\"alerts\":[{\"rule\":\"task_failed\",\"severity\":\"error\",\"project\":\"P \\\"q\\\"\","
         "\"project_url\":\"http://p/\",\"task\":\"t\\n1\",\"since\":1700000000,\"text\":\"Exit status 42\"},"
         "{\"rule\":\"transfer_stuck\",\"severity\":\"warning\",\"project\":\"http://u/\",\"project_url\":\"http://u/\","
         "\"task\":\"in.dat\",\"since\":1700000000.5,\"text\":\"6 retries\"},"
         "{\"rule\":\"client_stopped\",\"severity\":\"error\",\"project\":null,\"task\":null,\"since\":12,"
         "\"text\":\"The client\\u001b[31m is not running\"},"
         "{\"rule\":\"task_failed\",\"severity\":\"error\",\"project\":\"P \\\"q\\\"\",\"project_url\":\"http://p2/\","
         "\"task\":\"t\\n1\",\"since\":11,\"text\":\"Exit status 1\"}]}",
         "\nAlerts\n\n"
         "error    Task failed     P \"q\"      t 1     Exit status 42  since 1700000000\n"
         "warning  Transfer stuck  http://u/  in.dat  6 retries  since 1700000000\n"
         "error    Client stopped  -          -       The client\xEF\xBF\xBD[31m is not running  since 12\n"
         "error    Task failed     P \"q\"      t 1     Exit status 1  since 11\n",
         family +
             "crunchwatch_alert{rule=\"task_failed\",severity=\"error\",project=\"P \\\"q\\\"\",task=\"t\\n1\"} 1\n"
             "crunchwatch_alert{rule=\"transfer_stuck\",severity=\"warning\",project=\"http://u/\",task=\"in.dat\"} 1\n"
             "crunchwatch_alert{rule=\"client_stopped\",severity=\"error\",project=\"\",task=\"\"} 1\n"},
    };
    for (const Case& c : cases) {
        Report r = snapshotOf("");
        r.alerts = std::make_shared<const AlertsValue>(AlertsValue{c.alerts, {}, {}, false});
        std::ostringstream json, text, metrics;
        {
            JsonWriter w(json);
            w.beginObject();
            writeAlertsJson(w, r);
            w.endObject();
        }
        writeAlertsText(text, r, ReportOptions{"", 0, "%s"});
        {
            ExpositionWriter w(metrics);
            writeAlertMetrics(w, r);
        }
        EXPECT_EQ(json.str(), c.json);
        EXPECT_EQ(text.str(), c.text);
        EXPECT_EQ(metrics.str(), c.metrics);
    }
}

}  // namespace
}  // namespace crunchwatch
