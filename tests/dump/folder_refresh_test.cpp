// A refresh through a folder in memory is the refresh of the same files on
// disk: the report of a data directory equals, byte for byte, the report of
// its files loaded into a MemoryFolder at the same path. Over a made-up
// directory with every kind of file the refresh reads, and over the real
// clients' files beside this checkout.

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <algorithm>
#include <memory>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "dump/report.hpp"
#include "state/memory_folder.hpp"
#include "dump/dump_run.hpp"
#include "test_support.hpp"

namespace crunchwatch {
namespace {

namespace fs = std::filesystem;

// Names a refresh never opens: what holds the account's key or the RPC password.
bool secret(const fs::path& relative) {
    const std::string name = relative.filename().string();
    return name.starts_with("account_") || name.starts_with("sched_request_") || name == "gui_rpc_auth.cfg" ||
           name == "init_data.xml";
}

// Every regular file under `dir` (but the secrets), with its modification time.
std::shared_ptr<MemoryFolder> loaded(const fs::path& dir) {
    auto folder = std::make_shared<MemoryFolder>(dir.string());
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        const fs::path relative = fs::relative(e.path(), dir);
        if (e.is_directory()) folder->putFolder(relative.string());
        if (!e.is_regular_file() || secret(relative)) continue;
        std::ifstream in(e.path(), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        folder->put(relative.string(), text.str());
        struct stat st {};
        if (::stat(e.path().c_str(), &st) == 0) folder->setModified(relative.string(), st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    }
    return folder;
}

std::string report(const fs::path& dir, std::shared_ptr<const Folder> folder) {
    Refresher refresher(std::nullopt, TaskRows::skipped);
    if (folder) refresher.useFolders([folder](const std::string&) { return folder; });
    // The data directory's own words only: no journal, no system log.
    WordsOptions words;
    words.journalFile = (dir / "no-journal").string();
    words.systemLog.clear();
    refresher.setWords(words);
    DiskWalkOptions walk;
    walk.walk = false;
    refresher.setDiskWalk(walk);
    const std::string state = (dir / "client_state.xml").string();
    const RefreshValuePtr value = refresher.refresh(StatePath(state));
    std::ostringstream out;
    ReportOptions options;
    options.stateFileAsGiven = state;
    options.now = 1.75e9;
    writeJsonReport(out, *value, options);
    return out.str();
}

// The report without the moments an alert was first seen at, which are the
// refresh's own clock for some rules.
std::string withoutSince(const std::string& json) { return test::blankValues(json, {"since"}); }

// The report on disk, for a look at what it holds.
std::string expectSameReport(const fs::path& dir) {
    SCOPED_TRACE(dir.string());
    const std::string onDisk = withoutSince(report(dir, nullptr)), inMemory = withoutSince(report(dir, loaded(dir)));
    const auto differ = std::mismatch(onDisk.begin(), onDisk.end(), inMemory.begin(), inMemory.end());
    EXPECT_TRUE(onDisk == inMemory) << "first difference: on disk …"
                                    << std::string(differ.first, onDisk.end()).substr(0, 200) << "\nin memory …"
                                    << std::string(differ.second, inMemory.end()).substr(0, 200);
    return onDisk;
}

TEST(FolderRefresh, MemoryFolderGivesTheReportOfTheSameFilesOnDisk) {
    test::TempDir dir;
    const auto write = [&](const std::string& name, const std::string& text) {
        fs::create_directories((dir.path() / name).parent_path());
        dir.write(name, text);
    };
    std::ifstream example(std::string(CRUNCHWATCH_TEST_DATA_DIR) + "/state-two-projects.xml", std::ios::binary);
    std::ostringstream state;
    state << example.rdbuf();
    write("client_state.xml", state.str());
    write("global_prefs.xml", "<global_preferences><disk_interval>120</disk_interval></global_preferences>\n");
    write("global_prefs_override.xml", "<global_preferences><disk_interval>90</disk_interval></global_preferences>\n");
    write("job_log_example.org.txt", "1700000000 ue 1.5 ct 10 fe 1e12 nm wu_1 et 12 es 0\n");
    write("statistics_example.org.xml",
          "<project_statistics><master_url>https://example.org/</master_url><daily_statistics><day>1700000000</day>"
          "<user_total_credit>10</user_total_credit><user_expavg_credit>1</user_expavg_credit><host_total_credit>5"
          "</host_total_credit><host_expavg_credit>0.5</host_expavg_credit></daily_statistics></project_statistics>\n");
    write("stdoutdae.txt", "10-Dec-2026 10:00:00 [---] Starting BOINC client\n10-Dec-2026 10:00:01 [---] ready\n");
    write("stderrdae.txt", "an error line\n");
    write("notices/archive_https___example.org_.xml",
          "<notices><notice><title>News</title><create_time>1700000000</create_time></notice></notices>\n");
    write("sched_reply_example.org.xml", "<scheduler_reply><message priority=\"notice\">hello</message></scheduler_reply>\n");
    write("coproc_info.xml", "<coprocs><coproc_cuda><name>GPU</name></coproc_cuda></coprocs>\n");
    write("slots/0/boinc_task_state.xml", "<active_task><project_master_url>x</project_master_url></active_task>\n");
    write("account_example.org.xml", "<account><authenticator>never read</authenticator></account>\n");
    const std::string json = expectSameReport(dir.path());
    // Every kind of file was read, the secret never.
    for (const char* shown : {"\"ready\"", "an error line", "\"News\"", "\"hello\"", "\"GPU\"", "\"90\"", "wu_1",
                              "\"1700000000\""})
        EXPECT_NE(json.find(shown), std::string::npos) << shown;
    EXPECT_EQ(json.find("never read"), std::string::npos);
}

TEST(FolderRefresh, RealClientsFilesGiveTheSameReportFromMemory) {
    CRUNCHWATCH_SKIP_WITHOUT_REALDATA();
    for (const auto& e : fs::directory_iterator(test::realDataDir()))
        if (e.is_directory() && fs::exists(e.path() / "client_state.xml")) expectSameReport(e.path());
}

}  // namespace
}  // namespace crunchwatch
