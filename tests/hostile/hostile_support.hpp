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
#include "state_text.hpp"

namespace crunchwatch::test {

// What one refresh made of a state file, when it was read.
struct Outcome {
    std::size_t projects = 0;
    std::size_t rows = 0;
    std::optional<std::string> cpuSchedulingPeriod;
};

inline std::optional<Outcome> outcomeOf(const RefreshValuePtr& value) {
    const Report& r = *value;
    if (!r) return std::nullopt;
    return Outcome{r.snapshot->numberOfProjects, r.snapshot->rows.main_result_table.size(),
                   r.prefs->values.cpu_scheduling_period_minutes};
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
    std::string body, tasks;
    for (std::size_t p = 0; p < projects; ++p) {
        const std::string id = std::to_string(p), url = "http://p" + id + "/";
        body += project(url, el("project_name", "P" + id) + el("user_total_credit", "1.5") +
                                 el("resource_share", "100"));
        for (std::size_t r = 0; r < resultsEach; ++r) {
            const std::string rid = id + "_" + std::to_string(r);
            body += workunit("wu" + rid, "app", el("version_num", "712")) +
                    result("r" + rid, "wu" + rid, el("state", "2") + el("report_deadline", "1796150000"));
        }
        if (resultsEach > 0)
            tasks += task(url, "r" + id + "_0",
                          el("scheduler_state", "2") + el("fraction_done", "0.25") + el("current_cpu_time", "3600"));
    }
    return stateFile(body, tasks, hostInfo);
}

}  // namespace crunchwatch::test
