// Paths that name something other than a readable regular file. Whatever the
// user picks, a refresh must end at once with the failure path (the window then
// shows "Error: file not found!"), never block on a FIFO or read a device
// without end.

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "hostile/hostile_support.hpp"
#include "test_support.hpp"

namespace crunchwatch {
namespace {

namespace fs = std::filesystem;

// A listening Unix socket at `path`, closed with the object.
class UnixSocket final {
public:
    explicit UnixSocket(const std::string& path) : m_fd(::socket(AF_UNIX, SOCK_STREAM, 0)) {
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        if (m_fd < 0 || path.size() >= sizeof addr.sun_path) return;
        path.copy(addr.sun_path, path.size());
        m_ok = ::bind(m_fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0 && ::listen(m_fd, 1) == 0;
    }
    ~UnixSocket() { if (m_fd >= 0) ::close(m_fd); }
    UnixSocket(const UnixSocket&) = delete;
    UnixSocket& operator=(const UnixSocket&) = delete;
    bool ok() const { return m_ok; }

private:
    int m_fd;
    bool m_ok = false;
};

bool stdinIsRegularFile() {
    struct stat st {};
    return ::fstat(0, &st) == 0 && S_ISREG(st.st_mode);
}

// A directory of hostile things, each named by what it is.
struct HostilePlaces {
    test::TempDir dir;
    std::vector<std::pair<std::string, std::string>> named;  // what, path

    HostilePlaces() {
        const fs::path d = dir.path();
        const std::string good = dir.write("good.xml", test::stateText(1, 1));
        fs::create_directory(d / "folder");
        ::mkfifo((d / "fifo").c_str(), 0600);
        fs::create_symlink(d / "nowhere", d / "dangling");
        fs::create_symlink(d / "loop-b", d / "loop-a");
        fs::create_symlink(d / "loop-a", d / "loop-b");
        fs::create_symlink(d / "self", d / "self");
        fs::create_symlink(d / "folder", d / "link-to-folder");
        fs::create_symlink(d / "fifo", d / "link-to-fifo");
        fs::create_symlink("/dev/zero", d / "link-to-zero");
        named = {
            {"empty path", ""},
            {"missing file", (d / "missing.xml").string()},
            {"directory", (d / "folder").string()},
            {"directory with a trailing slash", (d / "folder").string() + "/"},
            {"regular file with a trailing slash", good + "/"},
            {"file below a regular file", good + "/client_state.xml"},
            {"FIFO", (d / "fifo").string()},
            {"dangling link", (d / "dangling").string()},
            {"link loop", (d / "loop-a").string()},
            {"link to itself", (d / "self").string()},
            {"link to a directory", (d / "link-to-folder").string()},
            {"link to a FIFO", (d / "link-to-fifo").string()},
            {"link to /dev/zero", (d / "link-to-zero").string()},
            {"/dev/zero", "/dev/zero"},
            {"/dev/null", "/dev/null"},
            {"/dev/urandom", "/dev/urandom"},
            {"/dev/full", "/dev/full"},
            {"/proc/self/fd", "/proc/self/fd"},
            {"name longer than the system allows", (d / std::string(5000, 'n')).string()},
            // No file name holds a NUL: the text after it must not be dropped
            // so that some other file is read instead.
            {"path with a NUL inside", good + std::string(1, '\0') + "junk"},
        };
        if (!stdinIsRegularFile()) named.emplace_back("/dev/stdin", "/dev/stdin");
    }
};

TEST(SpecialFiles, AnythingButARegularFileFailsAtOnce) {
    HostilePlaces places;
    const std::string socketPath = (places.dir.path() / "socket").string();
    UnixSocket socket(socketPath);
    if (socket.ok()) places.named.emplace_back("socket", socketPath);
    else ADD_FAILURE() << "could not make a Unix socket to test with";

    for (const auto& [what, path] : places.named) {
        SCOPED_TRACE(what);
        EXPECT_FALSE(test::snapshotWithin(path));
    }
}

TEST(SpecialFiles, LinksToARegularFileAreFollowed) {
    test::TempDir dir;
    const std::string target = dir.write("real.xml", test::stateText(2, 3));
    fs::path previous = target;
    for (int i = 0; i < 8; ++i) {  // a chain of links, each to the one before
        const fs::path link = dir.path() / ("link" + std::to_string(i));
        fs::create_symlink(previous, link);
        previous = link;
    }
    const auto outcome = test::snapshotWithin(previous.string());
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->projects, 2u);
    EXPECT_EQ(outcome->rows, 6u);
}

TEST(SpecialFiles, UnreadableFileFails) {
    if (::geteuid() == 0) GTEST_SKIP() << "running as root: every file can be read, permission cannot be denied";
    test::TempDir dir;
    const std::string file = dir.write("client_state.xml", test::stateText(1, 1));
    fs::permissions(file, fs::perms::none);
    EXPECT_FALSE(test::snapshotWithin(file));
    // A directory that cannot be searched hides a readable file in it.
    const std::string inner = (dir.path() / "locked").string();
    fs::create_directory(inner);
    const std::string hidden = (fs::path(inner) / "client_state.xml").string();
    { std::ofstream(hidden) << test::stateText(1, 1); }
    fs::permissions(inner, fs::perms::none);
    EXPECT_FALSE(test::snapshotWithin(hidden));
    fs::permissions(inner, fs::perms::owner_all);
}

// The preferences file beside a good state file may be just as odd: the state
// is still shown, without the two preference values.
TEST(SpecialFiles, OddPreferencesFileLeavesTheStateReadable) {
    const auto places = [] {
        std::vector<std::pair<std::string, std::function<void(const fs::path&)>>> v = {
            {"directory", [](const fs::path& p) { fs::create_directory(p); }},
            {"FIFO", [](const fs::path& p) { ::mkfifo(p.c_str(), 0600); }},
            {"link to /dev/zero", [](const fs::path& p) { fs::create_symlink("/dev/zero", p); }},
            {"dangling link", [](const fs::path& p) { fs::create_symlink(p.parent_path() / "nowhere", p); }},
            {"link to itself", [](const fs::path& p) { fs::create_symlink(p, p); }},
        };
        return v;
    }();
    for (const auto& [what, make] : places) {
        SCOPED_TRACE(what);
        test::TempDir dir;
        const std::string state = dir.write("client_state.xml", test::stateText(3, 1));
        make(dir.path() / "global_prefs.xml");
        const auto outcome = test::snapshotWithin(state);
        ASSERT_TRUE(outcome);
        EXPECT_EQ(outcome->projects, 3u);
        EXPECT_FALSE(outcome->cpuSchedulingPeriod);
    }
}

}  // namespace
}  // namespace crunchwatch
