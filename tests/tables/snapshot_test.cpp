#include "tables/snapshot.hpp"

#include <filesystem>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "state_text.hpp"
#include "tables/refresher.hpp"
#include "tables/table_definition.hpp"
#include "test_support.hpp"

namespace crunchwatch {
namespace {

// Whatever the path names, the snapshot says how reading went; only a read
// file gives records, and the counters follow the rule of the window: a file
// without projects counts 0 projects and 0 credit.
TEST(Snapshot, ReadStatusAndCountersOfEveryKindOfPath) {
    test::TempDir dir;
    const std::string twoProjects = std::string(CRUNCHWATCH_TEST_DATA_DIR) + "/state-two-projects.xml";
    const std::string notes = dir.write("notes.txt", "These are notes, not a client's state.\n");
    std::filesystem::create_directory(dir.path() / "folder");
    const struct {
        std::string path;
        ReadFailure why;
        std::size_t projects, rows;
        double credit;
    } cases[] = {
        {twoProjects, ReadFailure::none, 2, 2, 2600.5},
        {notes, ReadFailure::none, 0, 0, 0},
        {"", ReadFailure::noPath, 0, 0, 0},
        {(dir.path() / "missing.xml").string(), ReadFailure::notFound, 0, 0, 0},
        {(dir.path() / "folder").string(), ReadFailure::notRegularFile, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const Snapshot s = takeSnapshot(c.path);
        EXPECT_EQ(s.status.failure, c.why);
        EXPECT_EQ(static_cast<bool>(s), c.why == ReadFailure::none);
        EXPECT_STREQ(s.status.description(), readFailureReason(c.why));
        EXPECT_EQ(s.numberOfProjects, c.projects);
        EXPECT_EQ(s.state.projectInfo.size(), c.projects);
        EXPECT_EQ(s.rows.main_result_table.size(), c.rows);
        EXPECT_DOUBLE_EQ(s.totalCredit, c.credit);
    }
}

// The same bytes give the same snapshot from memory, and a moved snapshot's
// rows still read its records.
TEST(Snapshot, FromTextAndAfterAMove) {
    const std::string path = std::string(CRUNCHWATCH_TEST_DATA_DIR) + "/state-two-projects.xml";
    Snapshot fromFile = takeSnapshot(path);
    ASSERT_TRUE(fromFile);
    const Snapshot fromText = snapshotOfText(std::string(fromFile.state.file.text.view()));
    ASSERT_TRUE(fromText);
    EXPECT_EQ(fromText.numberOfProjects, fromFile.numberOfProjects);
    EXPECT_EQ(fromText.totalCredit, fromFile.totalCredit);
    const Snapshot moved = std::move(fromFile);
    ASSERT_EQ(moved.rows.main_result_table.size(), fromText.rows.main_result_table.size());
    for (std::size_t i = 0; i < moved.rows.main_result_table.size(); ++i)
        EXPECT_EQ(moved.rows.main_result_table[i].get(Key::wu_name), fromText.rows.main_result_table[i].get(Key::wu_name));
}

}  // namespace
}  // namespace crunchwatch

namespace crunchwatch {
namespace {

// The History tab's note names the folder looked in, from the first refresh
// of a folder that holds no history file on.
TEST(Snapshot, EmptyHistoryNamesItsFolder) {
    test::TempDir dir;
    const std::string state = dir.write("client_state.xml", test::stateFile(test::project("http://a/")));
    Refresher refresher;
    const RefreshValuePtr first = refresher.refresh(StatePath(state));
    const std::string folder = dir.path().string() + "/";
    EXPECT_EQ(historyTable.emptyText(*first),
              "No finished tasks: the client has written no job log (job_log_*.txt) in " + folder + ".");
    dir.write("job_log_a.txt", "");
    EXPECT_EQ(historyTable.emptyText(*refresher.refresh(StatePath(state))),
              "The client's job logs in " + folder + " record no finished task yet.");
}

}  // namespace
}  // namespace crunchwatch
