// The two folders answer alike: the same files laid out on disk and in
// memory give the same states, texts and reasons through every question of
// the folder interface, and each of the local folder's reasons for refusing
// a file comes up once.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "state/disk_usage.hpp"
#include "state/local_folder.hpp"
#include "state/memory_folder.hpp"
#include "test_support.hpp"

namespace crunchwatch {
namespace {

// One layout, built in both folders.
struct Layout {
    test::TempDir dir;
    std::unique_ptr<LocalFolder> local;
    MemoryFolder memory;

    Layout() : memory(dir.path().string()) {
        const auto file = [&](const std::string& name, const std::string& text) {
            std::filesystem::create_directories((dir.path() / name).parent_path());
            dir.write(name, text);
            memory.put(name, text);
        };
        const auto link = [&](const std::string& name, const std::string& target) {
            std::filesystem::create_symlink(target, dir.path() / name);
            // A target relative to the link's folder, as a name of the folder.
            const auto folder = std::filesystem::path(name).parent_path();
            memory.putLink(name, (folder / target).lexically_normal().string());
        };
        file("client_state.xml", "<client_state>\n</client_state>\n");
        file("big.txt", std::string(100, 'x'));
        file("slots/1/boinc_task_state.xml", "<active_task>\n</active_task>\n");
        file("notices/archive_a.xml", "<notices/>\n");
        std::filesystem::create_directories(dir.path() / "empty");
        memory.putFolder("empty");
        link("state-link.xml", "client_state.xml");
        link("slots/2", "1");
        link("slots/1/secret.xml", "../../client_state.xml");
        ::mkfifo((dir.path() / "fifo").c_str(), 0600);
        memory.putSpecial("fifo");
        local = std::make_unique<LocalFolder>(dir.path().string());
    }
};

std::string reasonOf(ReadFailure why) { return readFailureReason(why); }

TEST(Folders, LocalAndMemoryAnswerAlike) {
    Layout l;
    const Folder& local = *l.local;
    const Folder& memory = l.memory;
    const std::vector<std::string> names = {
        "client_state.xml", "state-link.xml", "big.txt", "fifo", "empty", "slots/1/boinc_task_state.xml",
        "slots/2/boinc_task_state.xml", "slots/1/secret.xml", "missing.xml", "slots/9/boinc_task_state.xml",
        "client_state.xml/inside", "", l.dir.path().string() + "/client_state.xml"};
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        for (const Links links : {Links::followed, Links::notFollowed}) {
            ReadFailure a{}, b{};
            const auto sa = local.stat(name, a, links), sb = memory.stat(name, b, links);
            ASSERT_EQ(sa.has_value(), sb.has_value());
            EXPECT_EQ(reasonOf(a), reasonOf(b));
            if (sa) {
                EXPECT_EQ(sa->regular, sb->regular);
                EXPECT_EQ(sa->directory, sb->directory);
                if (sa->regular) { EXPECT_EQ(sa->size, sb->size); }
            }
        }
        ReadFailure a{}, b{};
        const auto wa = local.readWhole(name, a), wb = memory.readWhole(name, b);
        ASSERT_EQ(wa.has_value(), wb.has_value());
        EXPECT_EQ(reasonOf(a), reasonOf(b));
        if (wa) { EXPECT_EQ(wa->view(), wb->view()); }
        EXPECT_EQ(local.readStart(name, 5), memory.readStart(name, 5));
        // Small files: no link anywhere, and a limit.
        for (const std::uint64_t limit : {std::uint64_t{50}, std::uint64_t{1000}}) {
            const auto ra = local.readSmall(name, limit, a), rb = memory.readSmall(name, limit, b);
            ASSERT_EQ(ra.has_value(), rb.has_value()) << limit;
            EXPECT_EQ(reasonOf(a), reasonOf(b)) << limit;
            if (ra) { EXPECT_EQ(ra->text, rb->text); }
        }
    }
    for (const std::string dir : {"", "slots", "slots/1", "slots/2", "empty", "missing", "big.txt"}) {
        SCOPED_TRACE(dir);
        ReadFailure a{}, b{};
        auto na = local.names(dir, a), nb = memory.names(dir, b);
        ASSERT_EQ(na.has_value(), nb.has_value());
        EXPECT_EQ(reasonOf(a), reasonOf(b));
        if (na) {
            std::sort(na->begin(), na->end());
            std::sort(nb->begin(), nb->end());
            EXPECT_EQ(*na, *nb);
        }
    }
    EXPECT_EQ(local.lock(lockFileName), memory.lock(lockFileName));
}

// What each refusal of the local folder says, once each; a FIFO is refused
// without waiting for a writer.
TEST(Folders, LocalFolderSaysWhyItRefuses) {
    Layout l;
    const Folder& f = *l.local;
    struct Case {
        std::string name;
        ReadFailure whole, small;  // readWhole's, readSmall's (limit 50)
    };
    const std::vector<Case> cases = {
        {"missing.xml", ReadFailure::notFound, ReadFailure::notFound},
        {"empty", ReadFailure::notRegularFile, ReadFailure::notRegularFile},
        {"fifo", ReadFailure::notRegularFile, ReadFailure::notRegularFile},
        {"big.txt", ReadFailure::none, ReadFailure::tooLarge},
        {"state-link.xml", ReadFailure::none, ReadFailure::notRegularFile},
        {"slots/2/boinc_task_state.xml", ReadFailure::none, ReadFailure::notRegularFile},
        {"", ReadFailure::noPath, ReadFailure::notRegularFile},
        {std::string("a\0b", 3), ReadFailure::invalidPath, ReadFailure::invalidPath},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ReadFailure why{};
        (void)f.readWhole(c.name, why);
        EXPECT_EQ(why, c.whole);
        why = ReadFailure::none;
        (void)f.readSmall(c.name, 50, why);
        EXPECT_EQ(why, c.small);
    }
    if (::geteuid() != 0) {
        const std::string secret = l.dir.write("secret.xml", "x");
        ::chmod(secret.c_str(), 0);
        ReadFailure why{};
        EXPECT_FALSE(f.readWhole("secret.xml", why));
        EXPECT_EQ(why, ReadFailure::permissionDenied);
    }
}

// A log read on from where it stopped: only what was appended, until the
// file is rewritten; the same in both folders.
TEST(Folders, TailsGoOnFromWhereTheyStopped) {
    Layout l;
    const auto appendLocal = [&](const std::string& text) {
        std::ofstream(l.dir.path() / "job_log.txt", std::ios::app) << text;
    };
    for (const bool inMemory : {false, true}) {
        SCOPED_TRACE(inMemory ? "memory" : "local");
        const Folder& f = inMemory ? static_cast<const Folder&>(l.memory) : *l.local;
        const auto append = [&](const std::string& text) {
            if (inMemory) l.memory.append("job_log.txt", text);
            else appendLocal(text);
        };
        append("one\n");
        ReadFailure why{};
        auto first = f.readTail("job_log.txt", std::nullopt, 0, 0, why);
        ASSERT_TRUE(first);
        EXPECT_TRUE(first->fromStart);
        EXPECT_EQ(first->bytes.view(), "one\n");
        append("two\n");
        auto next = f.readTail("job_log.txt", first->identity, first->size(), first->size(), why);
        ASSERT_TRUE(next);
        EXPECT_FALSE(next->fromStart);
        EXPECT_EQ(next->offset, 4u);
        EXPECT_EQ(next->bytes.view(), "two\n");
    }
}

// The memory folder's walk counts what lies under each project's folder and
// slots, and the folder's own files.
TEST(Folders, MemoryWalkCountsEachFileOnce) {
    MemoryFolder f("/data/");
    f.put("projects/a/x", std::string(10, 'x'));
    f.put("projects/a/y/z", std::string(5, 'z'));
    f.put("slots/0/out", std::string(7, 'o'));
    f.put("client_state.xml", std::string(3, 's'));
    f.put("locale/de/strings", std::string(2, 'l'));
    const DiskWalk walk = f.walkDisk(ProjectFolderList{{"a", {"0", "0"}}, {"b", {}}}, mostWalkEntries);
    EXPECT_EQ(walk.projectBytes, (std::vector<std::uint64_t>{22, 0}));
    EXPECT_EQ(walk.clientBytes, 5u);
    EXPECT_FALSE(walk.stopped);
}

}  // namespace
}  // namespace crunchwatch
