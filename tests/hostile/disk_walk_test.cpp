// The disk walk against trees built to hurt it: links in circles, folders it
// may not read, a huge folder, files vanishing under it, a very deep chain.

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "state/disk_usage.hpp"
#include "test_support.hpp"

namespace crunchwatch {
namespace {

namespace fs = std::filesystem;

// Walks on a thread of its own and waits at most `limit`: a walk going round
// in circles fails the test instead of hanging the suite.
std::optional<DiskWalk> walkWithin(const fs::path& dataDir, std::vector<ProjectFolders> projects,
                                   std::size_t mostEntries = mostWalkEntries,
                                   std::chrono::seconds limit = std::chrono::seconds(60)) {
    auto promise = std::make_shared<std::promise<DiskWalk>>();
    auto result = promise->get_future();
    std::thread([=] { promise->set_value(walkDisk(dataDir.string(), projects, mostEntries)); }).detach();
    if (result.wait_for(limit) == std::future_status::timeout) {
        ADD_FAILURE() << "the walk of " << dataDir << " did not finish within " << limit.count() << " s";
        return std::nullopt;
    }
    return result.get();
}

std::uint64_t allocatedBytes(const fs::path& path) {
    struct stat st{};
    return ::lstat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_blocks) * 512 : 0;
}

// `count` files of `bytes` each in `folder`; their allocated bytes together.
std::uint64_t manyFiles(const fs::path& folder, std::size_t count, std::size_t bytes = 1) {
    fs::create_directories(folder);
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const fs::path p = folder / ("f" + std::to_string(i));
        std::ofstream(p, std::ios::binary) << std::string(bytes, 'x');
        sum += allocatedBytes(p);
    }
    return sum;
}

std::size_t openDescriptors() {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator("/proc/self/fd")) ++n;
    return n;
}

TEST(DiskWalk, LinksInCirclesCountAsThemselves) {
    test::TempDir dir;
    const fs::path p = dir.path() / "projects/p";
    const std::uint64_t file = manyFiles(p, 1, 5000);
    fs::create_directories(dir.path() / "slots");
    const struct {
        fs::path link, target;
    } links[] = {
        {p / "self", "."},           {p / "up", "../.."},  {p / "a", "b"}, {p / "b", "a"},
        {p / "root", "/"},           {p / "long", std::string(300, 'x')},  // a link of its own block
        {dir.path() / "slots/0", "../projects/p"},                      // a slot that is a link
        {dir.path() / "locale", "projects/p/" + std::string(300, 'x')},
    };
    std::uint64_t want = file;
    for (const auto& l : links) {
        fs::create_symlink(l.target, l.link);
        if (l.link.parent_path() != dir.path()) want += allocatedBytes(l.link);
    }
    const auto walk = walkWithin(dir.path(), {{"p", {"0"}}});
    ASSERT_TRUE(walk);
    EXPECT_EQ(walk->projectBytes, std::vector<std::uint64_t>{want});
    EXPECT_EQ(walk->clientBytes, allocatedBytes(dir.path() / "locale"));
    EXPECT_TRUE(walk->problems.empty()) << walk->problems.front();
    EXPECT_LT(walk->entries, 20u);
}

// Permissions do not hold for root: the walk then runs in a child process
// as nobody, the tree opened to it, and hands its problems back.
std::optional<std::vector<std::string>> problemsAsNobody(const fs::path& dataDir) {
    if (::geteuid() != 0) return walkDisk(dataDir.string(), {{"p", {}}}).problems;
    int fds[2];
    if (::pipe(fds) != 0) return std::nullopt;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(77);
        std::string text;
        for (const std::string& p : walkDisk(dataDir.string(), {{"p", {}}}).problems) text += p + "\n";
        const bool written = ::write(fds[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
        ::_exit(written ? 0 : 1);
    }
    ::close(fds[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    std::vector<std::string> problems;
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        problems.push_back(text.substr(at, end - at));
    return problems;
}

TEST(DiskWalk, FoldersItMayNotReadAreNamedAtMostEightTimes) {
    test::TempDir dir;
    const fs::path p = dir.path() / "projects/p";
    manyFiles(p / "closed", 1);
    manyFiles(p / "unsearchable", 10);
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(p / "closed", fs::perms::none);
    fs::permissions(p / "unsearchable", fs::perms::owner_read | fs::perms::others_read);
    const auto problems = problemsAsNobody(dir.path());
    fs::permissions(p / "closed", fs::perms::owner_all);
    fs::permissions(p / "unsearchable", fs::perms::owner_all);
    if (!problems) GTEST_SKIP() << "no user without rights to run the walk as";

    ASSERT_EQ(problems->size(), 9u);
    EXPECT_EQ(problems->back(), "… and 3 more");
    std::size_t closed = 0, unsearchable = 0;
    for (std::size_t i = 0; i + 1 < problems->size(); ++i) {
        const std::string& text = (*problems)[i];
        if (text == "projects/p/closed: Permission denied") ++closed;
        else if (text.starts_with("projects/p/unsearchable/f") && text.ends_with(": Permission denied")) ++unsearchable;
        else ADD_FAILURE() << text;
    }
    EXPECT_LE(closed, 1u);
}

TEST(DiskWalk, AHundredThousandFilesCountedOrStoppedAtTheLimit) {
    test::TempDir dir;
    const std::uint64_t want = manyFiles(dir.path() / "projects/p", 100'000);
    const struct {
        std::size_t mostEntries;
        bool stopped;
        std::size_t entries;
        bool allFiles;
    } cases[] = {
        {mostWalkEntries, false, 100'002, true},  // "p", its files, and "projects" at the top
        {100'002, false, 100'002, true},
        {100'001, true, 100'001, true},
        {1000, true, 1000, false},
    };
    for (const auto& c : cases) {
        const auto walk = walkWithin(dir.path(), {{"p", {}}}, c.mostEntries);
        ASSERT_TRUE(walk);
        EXPECT_EQ(walk->stopped, c.stopped) << c.mostEntries;
        EXPECT_EQ(walk->entries, c.entries) << c.mostEntries;
        if (c.allFiles) EXPECT_EQ(walk->projectBytes.at(0), want) << c.mostEntries;
        else EXPECT_LT(walk->projectBytes.at(0), want) << c.mostEntries;
    }
}

TEST(DiskWalk, FilesVanishingDuringTheWalkAreSkipped) {
    test::TempDir dir;
    const fs::path p = dir.path() / "projects/p";
    for (int f = 0; f < 20; ++f) manyFiles(p / ("d" + std::to_string(f)), 2000);
    const auto before = walkWithin(dir.path(), {{"p", {}}});
    ASSERT_TRUE(before);
    std::atomic<bool> done = false;
    std::thread remover([&] {
        for (int f = 19; f >= 0; --f) {
            const fs::path folder = p / ("d" + std::to_string(f));
            for (int i = 0; i < 2000; i += 2) fs::remove(folder / ("f" + std::to_string(i)));
            if (f % 4 == 0) fs::remove_all(folder);
        }
        done = true;
    });
    int walks = 0;
    do {
        const auto during = walkWithin(dir.path(), {{"p", {}}});
        ASSERT_TRUE(during);
        EXPECT_LE(during->projectBytes.at(0), before->projectBytes.at(0));
        EXPECT_TRUE(during->problems.empty()) << during->problems.front();
        ++walks;
    } while (!done);
    remover.join();
    EXPECT_GE(walks, 1);
}

// A chain of folders "d/d/d/...", made and removed one level at a time: its
// path is longer than any the system takes whole.
class Chain final {
public:
    Chain(const fs::path& top, int depth) : m_top(top), m_depth(depth) {
        fs::create_directories(top);
        int fd = ::open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        for (int level = 0; level < depth && fd >= 0; ++level) {
            if (level % 1000 == 999) m_bytes += file(fd, 9000);
            ::mkdirat(fd, "d", 0755);
            const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ::close(fd);
            fd = next;
        }
        m_bytes += file(fd, 100);
        ::close(fd);
    }
    ~Chain() {
        int fd = ::open(m_top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        for (int level = 0; level < m_depth && fd >= 0; ++level) {
            const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ::close(fd);
            fd = next;
        }
        for (int level = m_depth; level >= 0 && fd >= 0; --level) {
            ::unlinkat(fd, "f", 0);
            const int up = ::openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ::close(fd);
            fd = up;
            if (level > 0 && fd >= 0) ::unlinkat(fd, "d", AT_REMOVEDIR);
        }
        if (fd >= 0) ::close(fd);
    }
    Chain(const Chain&) = delete;
    Chain& operator=(const Chain&) = delete;
    std::uint64_t bytes() const { return m_bytes; }

private:
    static std::uint64_t file(int at, std::size_t bytes) {
        const int fd = ::openat(at, "f", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const std::string text(bytes, 'x');
        const bool written = fd >= 0 && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(bytes);
        struct stat st{};
        const bool known = written && ::fstat(fd, &st) == 0;
        if (fd >= 0) ::close(fd);
        return known ? static_cast<std::uint64_t>(st.st_blocks) * 512 : 0;
    }
    fs::path m_top;
    int m_depth;
    std::uint64_t m_bytes = 0;
};

TEST(DiskWalk, AFiveThousandDeepChainIsWalkedWithFewDescriptors) {
    test::TempDir dir;
    const Chain chain(dir.path() / "projects/p", 5000);
    ASSERT_GT(chain.bytes(), 0u);
    // Descriptors for a few hundred levels at most: a walk holding one per
    // level would run out and say so.
    const std::size_t descriptors = openDescriptors();
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    rlimit lower = limit;
    lower.rlim_cur = std::min<rlim_t>(limit.rlim_cur, descriptors + 300);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lower), 0);
    const auto walk = walkWithin(dir.path(), {{"p", {}}});
    ::setrlimit(RLIMIT_NOFILE, &limit);
    ASSERT_TRUE(walk);
    EXPECT_EQ(walk->projectBytes, std::vector<std::uint64_t>{chain.bytes()});
    EXPECT_EQ(walk->entries, 2u + 5000 + 6);  // "projects", "p", the folders and the files
    EXPECT_TRUE(walk->problems.empty()) << walk->problems.front();
    EXPECT_EQ(openDescriptors(), descriptors);
}

}  // namespace
}  // namespace crunchwatch
