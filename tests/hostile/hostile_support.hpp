#pragma once
// Helpers for the hostile-file tests: a bounded wait for a reading that might
// hang, what a refresh made of a file, and state files built in memory.

#include <chrono>
#include <cstddef>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include <gtest/gtest.h>

#include "dump/report.hpp"

namespace crunchwatch::test {

// What one refresh made of a state file, when it was read.
struct Outcome {
    std::size_t projects = 0;
    std::size_t rows = 0;
    std::optional<std::string> cpuSchedulingPeriod;
};

inline std::optional<Outcome> outcomeOf(const Report& r) {
    if (!r) return std::nullopt;
    return Outcome{r.numberOfProjects, r.rows.main_result_table.size(), r.prefs.cpu_scheduling_period_minutes};
}

// Takes a snapshot of `path` on a thread of its own and waits at most `limit`.
// A reading that blocks or never ends fails the test instead of hanging the
// suite: the stuck thread is left behind, and ends with the process.
inline std::optional<Outcome> snapshotWithin(const std::string& path,
                                             std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    auto promise = std::make_shared<std::promise<std::optional<Outcome>>>();
    auto result = promise->get_future();
    std::thread([promise, path] { promise->set_value(outcomeOf(readReport(path))); }).detach();
    if (result.wait_for(limit) == std::future_status::timeout) {
        ADD_FAILURE() << "reading " << path << " did not finish within " << limit.count() << " ms";
        return std::nullopt;
    }
    return result.get();
}

// A well-formed state file: `projects` projects named P0, P1, ..., each with
// `resultsEach` results (and their workunits), the first result of each
// project running as an active task.
inline std::string stateText(std::size_t projects, std::size_t resultsEach, const std::string& hostInfo = {}) {
    std::string text = "<client_state>\n<host_info>\n" + hostInfo + "</host_info>\n";
    for (std::size_t p = 0; p < projects; ++p) {
        const std::string id = std::to_string(p);
        text += "<project>\n    <master_url>http://p" + id + "/</master_url>\n    <project_name>P" + id +
                "</project_name>\n    <user_total_credit>1.5</user_total_credit>\n"
                "    <resource_share>100</resource_share>\n</project>\n";
        for (std::size_t r = 0; r < resultsEach; ++r) {
            const std::string rid = id + "_" + std::to_string(r);
            text += "<workunit>\n    <name>wu" + rid + "</name>\n    <app_name>app</app_name>\n"
                    "    <version_num>712</version_num>\n</workunit>\n<result>\n    <name>r" + rid +
                    "</name>\n    <wu_name>wu" + rid + "</wu_name>\n    <state>2</state>\n"
                    "    <report_deadline>1796150000</report_deadline>\n</result>\n";
        }
    }
    text += "<active_task_set>\n";
    for (std::size_t p = 0; p < projects && resultsEach > 0; ++p) {
        const std::string id = std::to_string(p);
        text += "<active_task>\n    <project_master_url>http://p" + id + "/</project_master_url>\n"
                "    <result_name>r" + id + "_0</result_name>\n    <scheduler_state>2</scheduler_state>\n"
                "    <fraction_done>0.25</fraction_done>\n    <current_cpu_time>3600</current_cpu_time>\n"
                "</active_task>\n";
    }
    text += "</active_task_set>\n<platform_name>x86_64-pc-linux-gnu</platform_name>\n</client_state>\n";
    return text;
}

}  // namespace crunchwatch::test
