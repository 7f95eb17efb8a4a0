#include "state/file_read.hpp"

#include <chrono>
#include <filesystem>
#include <fstream>
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

TEST(FileRead, AnythingButAReadableRegularFileGivesNothingAndSaysWhy) {
    test::TempDir dir;
    std::filesystem::create_symlink(dir.path() / "nowhere", dir.path() / "dangling");
    std::filesystem::create_symlink(dir.path() / "loop", dir.path() / "loop");
    const std::string file = dir.write("f.xml", "<x/>");
    // Past the 4 GiB the records' 32-bit offsets reach: sparse, so it costs no disk.
    const std::string huge = dir.write("huge.xml", "");
    std::filesystem::resize_file(huge, largestReadableFile + 1);
    const struct {
        std::string path;
        ReadFailure why;
    } cases[] = {
        {"", ReadFailure::noPath},
        {"f\0.xml"s, ReadFailure::invalidPath},
        {std::string(5000, 'a'), ReadFailure::invalidPath},
        {(dir.path() / "loop").string(), ReadFailure::invalidPath},
        {(dir.path() / "missing.xml").string(), ReadFailure::notFound},
        {(dir.path() / "dangling").string(), ReadFailure::notFound},
        {file + "/inside", ReadFailure::notFound},
        {dir.path().string(), ReadFailure::notRegularFile},
        {"/dev/zero", ReadFailure::notRegularFile},
        {"/dev/null", ReadFailure::notRegularFile},
        {huge, ReadFailure::tooLarge},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.substr(0, 80));
        ReadFailure why = ReadFailure::none;
        EXPECT_FALSE(readWholeFile(c.path, why));
        EXPECT_EQ(why, c.why);
        EXPECT_FALSE(readWholeFile(c.path));
        // The tail of a file is read by the same rules.
        why = ReadFailure::none;
        EXPECT_FALSE(readFileTail(c.path, FileIdentity{}, 1, 1, why));
        EXPECT_EQ(why, c.why);
    }
    ReadFailure why = ReadFailure::notFound;
    EXPECT_TRUE(readWholeFile(file, why));
    EXPECT_EQ(why, ReadFailure::none);
    // The tail of a file too large to read whole is read when it is small:
    // the limit is on the bytes one read takes.
    std::fstream(huge, std::ios::in | std::ios::out | std::ios::binary).seekp(largestReadableFile - 1).put('\n');
    const auto hugeTail = readFileTail(huge, statFile(huge)->identity, largestReadableFile, largestReadableFile, why);
    ASSERT_TRUE(hugeTail);
    EXPECT_EQ(why, ReadFailure::none);
    EXPECT_EQ(hugeTail->offset, largestReadableFile);
    EXPECT_EQ(hugeTail->bytes.size(), 1u);
}

// Root reads every file, so only another user sees a refusal.
TEST(FileRead, UnreadableFileAndFolderArePermissionDenied) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
    test::TempDir dir;
    const std::string locked = dir.write("locked.xml", "<x/>");
    ASSERT_EQ(::chmod(locked.c_str(), 0200), 0);
    std::filesystem::create_directory(dir.path() / "closed");
    const std::string inside = dir.write("closed/client_state.xml", "<x/>");
    ASSERT_EQ(::chmod((dir.path() / "closed").c_str(), 0600), 0);
    for (const std::string& p : {locked, inside}) {
        ReadFailure why = ReadFailure::none;
        EXPECT_FALSE(readWholeFile(p, why));
        EXPECT_EQ(why, ReadFailure::permissionDenied) << p;
    }
    ::chmod((dir.path() / "closed").c_str(), 0700);
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
