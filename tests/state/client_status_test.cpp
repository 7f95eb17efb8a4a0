// What the state file and the files beside it say about why work does or
// does not run: the project's own flags and values, the transfers, the
// client's own values, its lock and the slots' checkpoints.

#include "state/client_lock.hpp"
#include "state/client_status.hpp"
#include "state/normalise.hpp"
#include "state/projects.hpp"
#include "state/slot_checkpoint.hpp"

#include <sys/stat.h>

#include <filesystem>

#include "state_text.hpp"
#include "test_support.hpp"

namespace crunchwatch {
namespace {

using test::el;
using test::stateFile;
using Opt = std::optional<std::string_view>;

ClientStatus statusOf(const std::string& text, std::string& normalisedKeeper) {
    normalisedKeeper = normalised(text);
    return readClientStatus(sekcje(normalisedKeeper));
}

TEST(ClientStatus, ProjectValuesComeFromItsOwnElementOnly) {
    std::string flags;
    for (const auto name : projectFlagNames) flags += "<" + std::string(name) + "/>";
    const std::string text = stateFile(
        test::project("http://a/", flags + el("sched_rpc_pending", "2") + el("min_rpc_time", "1796829597.47") +
                                       el("nrpc_failures", "2") + el("njobs_success", "2") + el("njobs_error", "1") +
                                       "<rsc_backoff_time><name>CPU</name><value>100</value></rsc_backoff_time>"
                                       "<rsc_backoff_time><name>NVIDIA</name><value>200</value></rsc_backoff_time>"
                                       "<rsc_backoff_interval><name>NVIDIA</name><value>60</value></rsc_backoff_interval>") +
            "<app><name>spin</name><user_friendly_name>Spin</user_friendly_name></app>" +
            // A result's flag and values never speak for the project.
            test::result("r", "w", "<suspended_via_gui/>" + el("min_rpc_time", "5")) +
            test::project("http://b/") + test::result("r2", "w", "<suspended_via_gui/><ended/>"));
    std::string keep;
    const ClientStatus s = statusOf(text, keep);
    ASSERT_EQ(s.projects().size(), 1u) << "only projects that hold something";
    const ProjectStatus& a = s.of(0);
    for (std::size_t f = 0; f < projectFlagNames.size(); ++f) EXPECT_TRUE(a.has(static_cast<ProjectFlag>(f))) << f;
    EXPECT_EQ(a.sched_rpc_pending, Opt("2"));
    EXPECT_EQ(a.min_rpc_time, Opt("1796829597.47"));
    EXPECT_EQ(a.nrpc_failures, Opt("2"));
    EXPECT_EQ(a.njobs_error, Opt("1"));
    EXPECT_EQ(a.last_rpc_time, std::nullopt);
    ASSERT_EQ(a.backoffs.size(), 2u);
    EXPECT_EQ(a.backoffs[0].name, Opt("CPU"));
    EXPECT_EQ(a.backoffs[0].time, Opt("100"));
    EXPECT_EQ(a.backoffs[0].interval, std::nullopt);
    EXPECT_EQ(a.backoffs[1].interval, Opt("60"));
    ASSERT_EQ(a.apps.size(), 1u);
    EXPECT_EQ(a.apps[0].user_friendly_name, Opt("Spin"));
    EXPECT_TRUE(s.of(1).empty());
}

TEST(ClientStatus, TransfersAndTheClientsOwnValues) {
    const std::string xfer = "<persistent_file_xfer>" + el("num_retries", "3") + el("first_request_time", "10") +
                             el("next_request_time", "20") + el("time_so_far", "1.5") +
                             el("last_bytes_xferred", "7") + el("is_upload", "1") + "</persistent_file_xfer>";
    const std::string text =
        "<client_state>" + test::project("http://a/") + "<file>" + el("name", "plain") + el("nbytes", "9") +
        "</file><file>" + el("name", "up") + el("nbytes", "4096") + xfer + el("error_msg", "no space") + "</file>" +
        test::project("http://b/") + "<file>" + el("name", "down") + "<persistent_file_xfer>" + el("is_upload", "0") +
        "</persistent_file_xfer><file_xfer>" + el("bytes_xferred", "512") + "</file_xfer></file>" +
        "<active_task_set></active_task_set>" + el("platform_name", "x86_64-pc-linux-gnu") +
        el("core_client_major_version", "7") + el("core_client_minor_version", "20") +
        el("core_client_release", "5") + el("user_run_request", "3") + el("user_run_prev_request", "2") +
        el("user_network_request", "1") + "</client_state>";
    std::string keep;
    const ClientStatus s = statusOf(text, keep);
    ASSERT_EQ(s.transfers().size(), 2u);
    const Transfer& up = s.transfers()[0];
    EXPECT_EQ(up.project, 0u);
    EXPECT_EQ(up.name, Opt("up"));
    EXPECT_TRUE(up.upload());
    EXPECT_EQ(up.num_retries, Opt("3"));
    EXPECT_EQ(up.error_msg, Opt("no space"));
    EXPECT_EQ(up.bytes_xferred, std::nullopt);
    EXPECT_EQ(s.transfers()[1].project, 1u);
    EXPECT_FALSE(s.transfers()[1].upload());
    EXPECT_EQ(s.transfers()[1].bytes_xferred, Opt("512"));
    EXPECT_EQ(s.client.version(), "7.20.5");
    EXPECT_EQ(s.client.user_run_request, Opt("3"));
    EXPECT_EQ(s.client.user_run_prev_request, Opt("2"));
    EXPECT_EQ(s.client.user_gpu_request, std::nullopt);
    EXPECT_EQ(runModeText(s.client.user_run_request), Opt("never"));
    EXPECT_EQ(runModeText(s.client.user_network_request), Opt("always"));
    EXPECT_EQ(runModeText(Opt("9")), std::nullopt);
}

TEST(ClientStatus, RealClientFileWithDownloadsAndABackoff) {
    CRUNCHWATCH_SKIP_WITHOUT_REALDATA();
    const auto state = loadClientState((test::realDataDir() / "michaelzhye-downloading/client_state.xml").string());
    ASSERT_TRUE(state);
    const ClientStatus s = readClientStatus(state->file.sekcje);
    ASSERT_EQ(s.projects().size(), state->projectInfo.size());
    EXPECT_EQ(s.of(0).backoffs.size(), 1u);
    EXPECT_EQ(s.of(0).backoffs[0].interval, Opt("600.000000"));
    EXPECT_EQ(s.transfers().size(), 4u);
    for (const Transfer& t : s.transfers()) EXPECT_FALSE(t.upload());
    EXPECT_EQ(s.transfers()[0].bytes_xferred, Opt("159684.000000"));
    EXPECT_EQ(s.client.version(), "7.2.42");
    // A client attached to no project yet still says who it is.
    const auto fresh = loadClientState((test::realDataDir() / "juppiega-cuda/client_state.xml").string());
    ASSERT_TRUE(fresh);
    EXPECT_TRUE(fresh->projectInfo.empty());
    EXPECT_TRUE(readClientStatus(fresh->file.sekcje).client.version());
}

// The lock as a running client holds it, and everything else that may lie
// under the lockfile's name.
TEST(ClientLock, OnlyAHeldLockMeansARunningClient) {
    test::TempDir dir;
    const std::string root = dir.path().string() + "/";
    EXPECT_EQ(clientLock(root).running, ClientRunning::cannotTell) << "no lockfile";
    dir.write("lockfile", "");
    EXPECT_EQ(clientLock(root), (ClientLock{ClientRunning::no, std::nullopt})) << "a lockfile nobody holds";
    {
        const test::LockHolder client(root + "lockfile");
        ASSERT_TRUE(client.locked());
        EXPECT_EQ(clientLock(root), (ClientLock{ClientRunning::yes, static_cast<long>(client.pid())}));
    }
    EXPECT_EQ(clientLock(root).running, ClientRunning::no) << "the holder is gone";

    const auto others = [&](const char* what, auto make) {
        test::TempDir other;
        make(other.path() / "lockfile");
        EXPECT_EQ(clientLock(other.path().string() + "/").running, ClientRunning::cannotTell) << what;
    };
    others("a folder", [](const std::filesystem::path& p) { std::filesystem::create_directory(p); });
    others("a FIFO", [](const std::filesystem::path& p) { ::mkfifo(p.c_str(), 0600); });
    others("a link to a held lockfile", [&](const std::filesystem::path& p) {
        std::filesystem::create_symlink(root + "lockfile", p);
    });
    EXPECT_EQ(clientLock(std::string("/a\0b/", 5)).running, ClientRunning::cannotTell);
}

TEST(SlotCheckpoint, ReadsTheSlotsFileAndNothingOutsideTheSlots) {
    test::TempDir dir;
    const std::string root = dir.path().string() + "/";
    std::filesystem::create_directories(dir.path() / "slots/3");
    dir.write("slots/3/boinc_task_state.xml",
              "<active_task>\n  <project_master_url>http://a/</project_master_url>\n  <result_name>r_0</result_name>\n"
              "  <checkpoint_cpu_time>12.5</checkpoint_cpu_time>\n  <checkpoint_elapsed_time>14</checkpoint_elapsed_time>\n"
              "  <fraction_done>0.25</fraction_done>\n</active_task>\n");
    const auto c = readSlotCheckpoint(root, "3");
    ASSERT_TRUE(c);
    EXPECT_EQ(c->project_url, "http://a/");
    EXPECT_EQ(c->result, "r_0");
    EXPECT_EQ(c->fraction_done, "0.25");
    EXPECT_EQ(c->checkpoint_cpu_time, "12.5");
    EXPECT_EQ(c->checkpoint_elapsed_time, "14");
    EXPECT_GT(c->seconds, 0);
    for (const char* slot : {"", "4", "../3", "3/..", "-3", "1234567890"})
        EXPECT_FALSE(readSlotCheckpoint(root, slot)) << slot;
    std::filesystem::create_directories(dir.path() / "slots/5");
    dir.write("slots/5/boinc_task_state.xml", "<fraction_done>0.5</fraction_done>");
    EXPECT_FALSE(readSlotCheckpoint(root, "5")) << "names no result";
    // An application may leave links in its slot: none is followed.
    std::filesystem::create_directories(dir.path() / "slots/6");
    std::filesystem::create_symlink(dir.path() / "slots/3/boinc_task_state.xml",
                                    dir.path() / "slots/6/boinc_task_state.xml");
    std::filesystem::create_directory_symlink(dir.path() / "slots/3", dir.path() / "slots/7");
    EXPECT_FALSE(readSlotCheckpoint(root, "6"));
    EXPECT_FALSE(readSlotCheckpoint(root, "7"));
}

}  // namespace
}  // namespace crunchwatch
