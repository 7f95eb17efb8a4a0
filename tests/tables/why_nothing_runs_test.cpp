// Why nothing runs, as the tables say it: a project's Status in words, the
// tasks a stopped client or the user holds back, the fresher progress of a
// slot's checkpoint, the transfers and a task's details.

#include <filesystem>
#include <thread>

#include "state_text.hpp"
#include "tables/project_status.hpp"
#include "tables/refresher.hpp"
#include "tables/results_cells.hpp"
#include "tables/table_definition.hpp"
#include "tables/task_details.hpp"
#include "test_support.hpp"

namespace crunchwatch {
namespace {

using test::el;

constexpr double now = 1'800'000'000;

TEST(ProjectStatusText, EveryFlagReasonAndCountdown) {
    struct Case {
        std::string element;
        std::string shown;
    };
    const std::string in5025 = "1800005025";
    const Case cases[] = {
        {"", ""},
        {"<suspended_via_gui/>", "Suspended by user"},
        {"<dont_request_more_work/>", "Won't get new tasks"},
        {"<detach_when_done/>", "Will detach when its tasks are done"},
        {"<ended/>", "Project has ended"},
        {"<attached_via_acct_mgr/><non_cpu_intensive/>", ""},
        {"<master_url_fetch_pending/>", "Fetching the project's master page"},
        {"<scheduler_rpc_in_progress/>", "Contacting the scheduler"},
        {"<trickle_up_pending/>", "Trickle-up message waiting to be sent"},
        {el("min_rpc_time", in5025), "Communication deferred 01:23:45"},
        {el("min_rpc_time", "1799999999"), ""},
        {el("sched_rpc_pending", "0"), ""},
        {el("sched_rpc_pending", "1"), "Scheduler request pending: requested by user"},
        {el("sched_rpc_pending", "2"), "Scheduler request pending: to report completed tasks"},
        {el("sched_rpc_pending", "3"), "Scheduler request pending: need work"},
        {el("sched_rpc_pending", "4"), "Scheduler request pending: trickle-up message"},
        {el("sched_rpc_pending", "5"), "Scheduler request pending: account manager request"},
        {el("sched_rpc_pending", "6"), "Scheduler request pending: project initialization"},
        {el("sched_rpc_pending", "7"), "Scheduler request pending: requested by project"},
        {el("sched_rpc_pending", "9"), "Scheduler request pending"},
        {"<rsc_backoff_time><name>CPU</name><value>1800000600</value></rsc_backoff_time>",
         "CPU work fetch backed off 00:10:00"},
        {"<suspended_via_gui/><dont_request_more_work/>" + el("min_rpc_time", in5025) + el("sched_rpc_pending", "2"),
         "Suspended by user \u00b7 Won't get new tasks \u00b7 Communication deferred 01:23:45 \u00b7 Scheduler "
         "request pending: to report completed tasks"},
        // Numbers no client writes.
        {el("min_rpc_time", "nan"), ""},
        {el("min_rpc_time", "-1e308"), ""},
        {el("min_rpc_time", "1e308"), "Communication deferred more than 9999 hours"},
        {el("min_rpc_time", "253402300800"), "Communication deferred more than 9999 hours"},
        {el("sched_rpc_pending", "99999999999"), "Scheduler request pending"},
    };
    for (const Case& c : cases) {
        const auto value = valueOfText(test::stateFile(test::project("http://a/", c.element)));
        const projectRecord p = projectRowOf(*value, 0);
        ASSERT_TRUE(p.status);
        EXPECT_EQ(projectStatusText(*p.status, now), c.shown) << c.element;
        const auto cell = cellText(columnOf(ProjectColumn::status).cell(p, now), std::nullopt);
        EXPECT_EQ(cell.value_or(""), c.shown) << c.element;
        // The tooltip names every value, whatever it holds.
        EXPECT_NE(projectStatusTip(*p.status, now, std::nullopt).find("njobs_error"), std::string::npos);
    }
}

std::string runningTask(std::string_view resultFields, std::string_view taskFields = {}) {
    return test::stateFile(
        test::project("http://a/", el("project_name", "A") + el("resource_share", "100")) +
            test::workunit("w", "app", el("rsc_fpops_est", "4e12")) +
            test::result("r_0", "w",
                         el("state", "2") + el("exit_status", "0") + el("received_time", "1799990000") +
                             el("plan_class", "avx") + std::string(resultFields)),
        test::task("http://a/", "r_0",
                   el("slot", "0") + el("active_task_state", "1") + el("checkpoint_cpu_time", "100") +
                       el("checkpoint_elapsed_time", "110") + el("checkpoint_fraction_done", "0.25") +
                       el("current_cpu_time", "120") + el("working_set_size", "1048576") + std::string(taskFields)));
}

std::optional<std::string> cellOf(const resultRow& row, ResultColumn c) {
    return cellText(columnOf(c).cell(row, now), std::string("%Y-%m-%d %H:%M:%S"));
}

class TaskCells : public test::ZonedTest {};

TEST_F(TaskCells, HeldBackTasksArePausedAndDoNotComplete) {
    const auto value = valueOfText(runningTask({}));
    resultRow row = resultRowOf(*value, 0);
    EXPECT_EQ(cellOf(row, ResultColumn::State), "running...");
    EXPECT_TRUE(cellOf(row, ResultColumn::ETC));

    row.clientStopped = true;
    EXPECT_EQ(cellOf(row, ResultColumn::State), "Paused");
    EXPECT_NE(stateExplanation(row).find("the client is not running"), std::string::npos);
    EXPECT_EQ(cellOf(row, ResultColumn::ETC), std::nullopt);
    EXPECT_EQ(cellOf(row, ResultColumn::ETR), "00:04:40") << "Remaining stays";

    const auto suspended = valueOfText(runningTask("<suspended_via_gui/>", el("active_task_state", "0")));
    row = resultRowOf(*suspended, 0);
    EXPECT_EQ(row.get(Key::suspended_via_gui), "suspended_via_gui");
    EXPECT_EQ(cellOf(row, ResultColumn::State), "Paused");
    EXPECT_EQ(stateExplanation(row).rfind("Suspended by user", 0), 0u);
    EXPECT_EQ(cellOf(row, ResultColumn::ETC), std::nullopt);
    EXPECT_TRUE(cellOf(row, ResultColumn::ETR));

    for (const char* state : {"3", "6", "7"}) {
        const auto failed = valueOfText(test::stateFile(test::project("http://a/") +
                                                        test::result("r", "w", el("state", state))));
        EXPECT_EQ(columnOf(ResultColumn::State).tone(resultRowOf(*failed, 0), now), Tone::failed) << state;
    }
}

TEST_F(TaskCells, ExtraColumnsAndDetailsReadTheElementsAroundTheRow) {
    const auto value = valueOfText(runningTask("<suspended_via_gui/>" + el("final_elapsed_time", "0")));
    const resultRow row = resultRowOf(*value, 0);
    EXPECT_EQ(cellOf(row, ResultColumn::Application), "app");
    EXPECT_EQ(cellOf(row, ResultColumn::Elapsed), "00:01:50");
    EXPECT_EQ(cellOf(row, ResultColumn::PlanClass), "avx");
    EXPECT_EQ(cellOf(row, ResultColumn::Received), "2027-01-15 05:13:20");

    const std::string text = detailsText(taskDetails(row, now, std::nullopt));
    for (const char* line : {"Task: r_0", "Estimated size: 4000.00 GFLOP", "Slot: 0", "Working set: 1.0 MiB",
                             "Plan class: avx", "Suspended by user: yes", "Ready to report: no",
                             "\nWorkunit\nname: w", "\nActive task\nproject_master_url: http://a/"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    EXPECT_EQ(exitStatusMeaning(203), "aborted by the user");
    EXPECT_EQ(exitStatusMeaning(0), std::nullopt);
}

// The slots' checkpoints and the lock, through a refresh of real files.
TEST(Surroundings, NewerSlotCheckpointsAndTheLock) {
    test::TempDir dir;
    const std::string root = dir.path().string() + "/";
    std::filesystem::create_directories(dir.path() / "slots/0");
    const auto slot = [&](std::string_view url, std::string_view result) {
        dir.write("slots/0/boinc_task_state.xml",
                  "<active_task>" + el("project_master_url", url) + el("result_name", result) +
                      el("checkpoint_cpu_time", "150") + el("checkpoint_elapsed_time", "160") +
                      el("fraction_done", "0.5") + "</active_task>");
    };
    slot("http://a/", "r_0");  // older than the state file: not used
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const StatePath path(dir.write("client_state.xml", runningTask({})));
    Refresher refresher;
    auto value = refresher.refresh(path);
    EXPECT_EQ(cellText(columnOf(ResultColumn::Progress).cell(resultRowOf(*value, 0), now), std::nullopt), "25.00%");
    EXPECT_FALSE(refresher.surroundingsChanged(path));

    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    slot("http://a/", "r_0");
    EXPECT_TRUE(refresher.surroundingsChanged(path));
    value = refresher.refresh(path);
    resultRow row = resultRowOf(*value, 0);
    EXPECT_EQ(cellText(columnOf(ResultColumn::Progress).cell(row, now), std::nullopt), "50.00%");
    EXPECT_NE(progressExplanation(row)->find("slot"), std::string::npos);
    EXPECT_EQ(remainingSeconds(row), 150.0) << "150 s at half way, 150 s used";

    slot("http://b/", "r_0");  // another project's task of the same name
    value = refresher.refresh(path);
    EXPECT_EQ(resultRowOf(*value, 0).checkpoint, nullptr);

    EXPECT_EQ(value->around->lock.running, ClientRunning::cannotTell);
    dir.write("lockfile", "");
    EXPECT_TRUE(refresher.surroundingsChanged(path));
    value = refresher.refresh(path);
    EXPECT_TRUE(value->around->clientStopped());
    EXPECT_EQ(cellText(columnOf(ResultColumn::State).cell(resultRowOf(*value, 0), now), std::nullopt), "Paused");
}

TEST(Transfers, WhereTheBytesComeFromAndWhenTheClientTriesAgain) {
    test::TempDir dir;
    const std::string xfer = "<persistent_file_xfer>" + el("num_retries", "5") + el("first_request_time", "1799990000") +
                             el("next_request_time", "1800000725") + el("last_bytes_xferred", "100") +
                             el("is_upload", "0") + "</persistent_file_xfer>";
    const auto file = [&](std::string_view name, std::string_view extra) {
        return "<file>" + el("name", name) + el("nbytes", "4096") + xfer + std::string(extra) + "</file>";
    };
    const std::string files = file("partial", "") +
                              file("active", "<file_xfer>" + el("bytes_xferred", "2048") + "</file_xfer>") +
                              file("../gone", "");
    std::filesystem::create_directories(dir.path() / "projects/a");
    dir.write("projects/a/partial", std::string(1024, 'x'));
    const StatePath path(dir.write("client_state.xml", test::stateFile(test::project("http://a/") + files)));
    Refresher refresher;
    const auto value = refresher.refresh(path);
    ASSERT_EQ(transfersTable.size(*value), 3u);
    const double done[] = {1024, 2048, 100};
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(bytesDone(transferRowOf(*value, i)), done[i]) << i;
    const TransferRow row = transferRowOf(*value, 0);
    EXPECT_EQ(nextTryText(row, now), "retry in 00:12:05");
    EXPECT_EQ(nextTryText(transferRowOf(*value, 1), now), "active");
    EXPECT_EQ(giveUpMoment(row), 1799990000 + 90 * 86400.0);
    EXPECT_EQ(columnOf(TransferColumn::retries).tone(row, now), Tone::atRisk);
    EXPECT_EQ(bytesForPeople(4096), "4.00 KiB");

    EXPECT_EQ(transfersTable.emptyText(*valueOfText(test::stateFile(test::project("http://a/")))), "No transfers");
}

}  // namespace
}  // namespace crunchwatch
