#include "state/file_read.hpp"

#include <chrono>
#include <filesystem>
#include <future>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "test_support.hpp"

namespace crunchwatch {
namespace {

using namespace std::string_literals;

TEST(FileRead, RegularFileIsReadWholeByteForByte) {
    test::TempDir dir;
    const std::string small = "a\0b\r\n\xC2\xA0 no newline at the end"s;
    std::string large(3 * 1024 * 1024 + 17, 'x');
    large.back() = 'y';
    for (const std::string* contents : {&small, static_cast<const std::string*>(&large)}) {
        SCOPED_TRACE(contents->size());
        const auto buffer = readWholeFile(dir.write("f.xml", *contents));
        ASSERT_TRUE(buffer);
        EXPECT_EQ(buffer->size(), contents->size());
        EXPECT_TRUE(buffer->view() == *contents);
    }
    const auto empty = readWholeFile(dir.write("empty.xml", ""));
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->view(), "");
}

TEST(FileRead, LinksAreFollowed) {
    test::TempDir dir;
    const auto target = dir.write("target.xml", "<x/>");
    std::filesystem::create_symlink(target, dir.path() / "link.xml");
    std::filesystem::create_directory_symlink(dir.path(), dir.path() / "dirlink");
    EXPECT_EQ(readWholeFile((dir.path() / "link.xml").string()).value().view(), "<x/>");
    EXPECT_FALSE(readWholeFile((dir.path() / "dirlink").string()));
}

TEST(FileRead, AnythingButAReadableRegularFileGivesNothing) {
    test::TempDir dir;
    std::filesystem::create_symlink(dir.path() / "nowhere", dir.path() / "dangling");
    const std::string paths[] = {
        "", (dir.path() / "missing.xml").string(), dir.path().string(), (dir.path() / "dangling").string(),
        "/dev/zero", "/dev/null",
    };
    for (const std::string& p : paths) {
        SCOPED_TRACE(p);
        EXPECT_FALSE(readWholeFile(p));
    }
}

// A FIFO must be refused at once: waiting for a writer, or reading one that
// never ends, would freeze the window's refresh.
TEST(FileRead, FifoIsRefusedWithoutBlocking) {
    test::TempDir dir;
    const std::string fifo = (dir.path() / "client_state.xml").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto reading = std::async(std::launch::async, [&] { return readWholeFile(fifo).has_value(); });
    if (reading.wait_for(std::chrono::seconds(5)) == std::future_status::timeout) {
        ADD_FAILURE() << "reading a FIFO blocked";
        // Give the blocked reader a writer that closes at once, so it sees the end.
        const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
    }
    EXPECT_FALSE(reading.get());
}

// Files under /proc report a size of zero yet have contents, here more than
// the first buffer holds.
TEST(FileRead, FileLongerThanItsReportedSizeIsReadWhole) {
    const auto buffer = readWholeFile("/proc/self/smaps");
    if (!buffer) GTEST_SKIP() << "no /proc";
    EXPECT_GT(buffer->size(), 4096u);
    EXPECT_EQ(buffer->view().back(), '\n');
    EXPECT_NE(buffer->view().find("VmFlags:"), std::string_view::npos);
}

}  // namespace
}  // namespace crunchwatch
