#include "state/journal.hpp"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include "test_support.hpp"

extern char** environ;

namespace crunchwatch {
namespace {

const char* const journalRemote = "/lib/systemd/systemd-journal-remote";

struct JournalCase {
    const char* unit;
    const char* priority;  // nullptr: none
    std::uint64_t usec;
    std::string message;
    const char* seen;      // "moment|project|text|severity", or nullptr for another unit's entry
};

const JournalCase journalCases[] = {
    {"boinc-client.service", "6", 1796829422'000000, "09-Dec-2026 15:17:02 [---] Starting BOINC client version 7.20.5",
     "09-Dec-2026 15:17:02||Starting BOINC client version 7.20.5|info"},
    {"cron.service", "6", 1796829422'100000, "(root) CMD (run-parts /etc/cron.hourly)", nullptr},
    {"boinc-client.service", "6", 1796829422'200000, "09-Dec-2026 15:17:02 [---]    max memory usage when active: 12052.61 MB",
     "09-Dec-2026 15:17:02||   max memory usage when active: 12052.61 MB|info"},
    {"boinc-client.service", "3", 1796829422'300000, "09-Dec-2026 15:17:02 [Crunch Test] State file error: missing task spin_missing",
     "09-Dec-2026 15:17:02|Crunch Test|State file error: missing task spin_missing|error"},
    {"boinc-client.service.d", "3", 1796829422'400000, "09-Dec-2026 15:17:02 [Crunch Test] not ours", nullptr},
    // Without the client's moment: the journal's, to the whole second, in front.
    {"boinc-client.service", "4", 1796829424'900000, "boinc: cannot connect to X server",
     "09-Dec-2026 15:17:04||boinc: cannot connect to X server|info"},
    // Line feeds inside make one entry; no priority tells nothing.
    {"boinc-client.service", nullptr, 1796829425'000000, "09-Dec-2026 15:17:05 [Crunch Test] first\n  second\n",
     "09-Dec-2026 15:17:05|Crunch Test|first\n  second|untold"},
    {"user@1000.service", "6", 1796829426'000000, "09-Dec-2026 15:17:06 [---] another client", nullptr},
};

// One entry in the journal's export format; the message in the binary form,
// which any byte (a line feed) may be written in.
std::string exported(const JournalCase& c, int index) {
    std::string e = "__REALTIME_TIMESTAMP=" + std::to_string(c.usec) + "\n__MONOTONIC_TIMESTAMP=" +
                    std::to_string(1000 + index) + "\n_BOOT_ID=0123456789abcdef0123456789abcdef\n_SYSTEMD_UNIT=" +
                    c.unit + "\n";
    if (c.priority) e += std::string("PRIORITY=") + c.priority + "\n";
    e += "MESSAGE\n";
    for (int i = 0; i < 8; ++i) e += static_cast<char>((c.message.size() >> (8 * i)) & 0xff);
    return e + c.message + "\n\n";
}

// Runs systemd-journal-remote on `stream`, writing (or adding to) `journal`;
// waits at most a minute for it, then stops it.
bool makeJournal(const test::TempDir& dir, const std::string& stream, const std::string& journal) {
    const std::string input = dir.write("stream.export", stream), output = "--output=" + journal;
    const std::string log = (dir.path() / "remote.log").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    char* argv[] = {const_cast<char*>(journalRemote), const_cast<char*>(output.c_str()),
                    const_cast<char*>(input.c_str()), nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, journalRemote, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return false;
    int status = 0;
    for (int waited = 0; ::waitpid(pid, &status, WNOHANG) == 0; ++waited) {
        if (waited == 6000) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::vector<std::string> seen(const EventLog& log) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < log.size(); ++i) {
        const EventEntry e = log.entry(i);
        const char* severity = e.severity == EventSeverity::error  ? "error"
                               : e.severity == EventSeverity::info ? "info"
                                                                   : "untold";
        out.push_back(std::string(e.moment) + "|" + std::string(e.project) + "|" + std::string(e.text) + "|" + severity);
    }
    return out;
}

class JournalReaderTest : public test::ZonedTest {};

// A journal file made by systemd's own tools from entries of the client's
// unit and others: exactly the client's are read, in order, once; entries
// added later are read on from the cursor.
TEST_F(JournalReaderTest, ReadsTheUnitsEntriesOfARealJournalFileOnce) {
    if (!std::filesystem::exists(journalRemote)) GTEST_SKIP() << journalRemote << " is not installed (systemd-journal-remote)";
    test::TempDir dir;
    const std::string journal = (dir.path() / "client.journal").string();
    const std::size_t laterOnes = 2;  // the last cases come in a second stream
    const std::size_t firstOnes = std::size(journalCases) - laterOnes;
    std::string stream;
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < firstOnes; ++i) {
        stream += exported(journalCases[i], static_cast<int>(i));
        if (journalCases[i].seen) expected.push_back(journalCases[i].seen);
    }
    ASSERT_TRUE(makeJournal(dir, stream, journal));

    JournalReader reader(journal);
    EXPECT_TRUE(reader.hasEntries());
    EXPECT_TRUE(reader.changed());
    EventLog log;
    EXPECT_EQ(reader.readOn(log).state, JournalState::read);
    EXPECT_EQ(seen(log), expected);
    EXPECT_FALSE(reader.changed());
    EXPECT_EQ(reader.readOn(log).state, JournalState::read);
    EXPECT_EQ(seen(log).size(), expected.size());

    stream.clear();
    for (std::size_t i = firstOnes; i < std::size(journalCases); ++i) {
        stream += exported(journalCases[i], static_cast<int>(i));
        if (journalCases[i].seen) expected.push_back(journalCases[i].seen);
    }
    ASSERT_TRUE(makeJournal(dir, stream, journal));
    EXPECT_TRUE(reader.changed());
    reader.readOn(log);
    EXPECT_EQ(seen(log), expected);
    EXPECT_FALSE(reader.changed());

    JournalReader missing((dir.path() / "none.journal").string());
    EXPECT_FALSE(missing.hasEntries());
    const JournalOutcome outcome = missing.readOn(log);
    EXPECT_EQ(outcome.state, JournalState::unavailable);
    EXPECT_FALSE(outcome.detail.empty());
    JournalReader otherUnit(journal, "ssh.service");
    EXPECT_EQ(otherUnit.readOn(log).state, JournalState::noEntries);
    EXPECT_EQ(seen(log), expected);
}

}  // namespace
}  // namespace crunchwatch
