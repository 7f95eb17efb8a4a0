#include "state/disk_usage.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.hpp"

namespace crunchwatch {
namespace {

namespace fs = std::filesystem;

void writeBytes(const fs::path& path, std::size_t bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << std::string(bytes, 'x');
}

// A file of `bytes` with nothing written but its last byte: few blocks.
void writeSparse(const fs::path& path, off_t bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, "x", 1, bytes - 1), 1);
    ::close(fd);
}

// The client's rule, from lstat: the allocated size of every entry that is
// no folder, a file with several names counted once across `seen`.
std::uint64_t allocated(const fs::path& path, std::set<ino_t>& seen) {
    struct stat st{};
    if (::lstat(path.c_str(), &st) != 0) return 0;
    if (!S_ISDIR(st.st_mode)) return seen.insert(st.st_ino).second ? static_cast<std::uint64_t>(st.st_blocks) * 512 : 0;
    std::uint64_t sum = 0;
    for (const auto& e : fs::directory_iterator(path)) sum += allocated(e.path(), seen);
    return sum;
}

TEST(DiskUsage, CountsAllocatedBytesOnceAsTheClientDoes) {
    test::TempDir dir;
    const fs::path d = dir.path(), a = d / "projects/a.example_x", b = d / "projects/b.example_y";
    writeBytes(d / "client_state.xml", 7000);
    writeBytes(d / "stdoutdae.txt", 1);
    writeBytes(d / "lockfile", 0);
    writeBytes(d / "locale/de/BOINC-Client.mo", 3000);
    writeBytes(d / "outside/big", 5'000'000);  // a top-level folder: nobody's
    writeBytes(a / "empty", 0);
    writeBytes(a / "one", 1);
    writeBytes(a / "some", 5000);
    writeBytes(a / "more", 100'000);
    writeBytes(a / "sub/deeper/file", 7000);
    writeSparse(a / "sparse", 10'000'000);
    fs::create_hard_link(a / "more", a / "more_again");
    fs::create_symlink("../../outside/big", a / "big");
    writeBytes(b / "g", 20'000);
    writeBytes(d / "slots/0/h", 3000);
    fs::create_hard_link(a / "some", d / "slots/0/some");  // the project's file in its slot
    writeBytes(d / "slots/1/i", 4000);
    fs::create_hard_link(d / "slots/1/i", b / "i");         // the slot's file in another project's folder
    fs::create_directories(d / "slots/2");

    const std::vector<ProjectFolders> projects = {
        {"a.example_x", {"0", "0", "", ".", "..", "../slots/1", std::string("1\0", 2)}},
        {"b.example_y", {"1", "2"}},
        {"..", {}},
        {"gone.example", {"9"}},
    };
    const DiskWalk walk = walkDisk(d.string(), projects);

    std::set<ino_t> seen;
    const std::uint64_t wantA = allocated(a, seen) + allocated(d / "slots/0", seen);
    const std::uint64_t wantB = allocated(b, seen) + allocated(d / "slots/1", seen) + allocated(d / "slots/2", seen);
    std::uint64_t wantClient = allocated(d / "locale", seen);
    for (const char* top : {"client_state.xml", "stdoutdae.txt", "lockfile"}) wantClient += allocated(d / top, seen);
    ASSERT_EQ(walk.projectBytes.size(), 4u);
    EXPECT_EQ(walk.projectBytes[0], wantA);
    EXPECT_LT(walk.projectBytes[0], 1'000'000u);  // the link, not the big file; the sparse file's blocks only
    EXPECT_EQ(walk.projectBytes[1], wantB);
    EXPECT_EQ(walk.projectBytes[2], 0u);
    EXPECT_EQ(walk.projectBytes[3], 0u);
    EXPECT_EQ(walk.projectsBytes(), wantA + wantB);
    EXPECT_EQ(walk.clientBytes, wantClient);
    EXPECT_TRUE(walk.problems.empty()) << walk.problems.front();
    EXPECT_FALSE(walk.stopped);

    struct statvfs sv{};
    ASSERT_EQ(::statvfs(d.c_str(), &sv), 0);
    EXPECT_EQ(walk.fileSystemBytes, std::uint64_t(sv.f_blocks) * sv.f_frsize);
    ASSERT_TRUE(walk.freeBytes);
    EXPECT_LE(*walk.freeBytes, *walk.fileSystemBytes);
    const double now = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    EXPECT_NEAR(walk.takenAt, now, 60);
    EXPECT_GE(walk.seconds, 0);

    // The same folder named with a "/" at its end, or reached through a link, is walked alike.
    fs::create_directory_symlink(d, d.string() + "-link");
    for (const std::string& path : {d.string() + "/", d.string() + "-link"}) {
        const DiskWalk again = walkDisk(path, projects);
        EXPECT_EQ(again.projectBytes, walk.projectBytes) << path;
        EXPECT_EQ(again.clientBytes, walk.clientBytes) << path;
    }
    fs::remove(d.string() + "-link");
}

TEST(DiskUsage, AFolderThatCannotBeWalkedSaysWhy) {
    test::TempDir dir;
    const struct {
        std::string dataDir;
        std::string problem;
    } cases[] = {
        {(dir.path() / "missing").string(), (dir.path() / "missing").string() + ": No such file or directory"},
        {dir.write("file", "x"), dir.path().string() + "/file: Not a directory"},
        {dir.path().string() + std::string("\0/etc", 5), dir.path().string() + ": Invalid argument"},
    };
    for (const auto& c : cases) {
        const DiskWalk walk = walkDisk(c.dataDir, {{"p", {"0"}}});
        EXPECT_EQ(walk.problems, std::vector<std::string>{c.problem});
        EXPECT_EQ(walk.projectBytes, std::vector<std::uint64_t>{0});
        EXPECT_FALSE(walk.freeBytes);
    }
}

}  // namespace
}  // namespace crunchwatch
