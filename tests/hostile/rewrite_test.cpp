// A state file that the client rewrites while the monitor reads it. Every
// refresh must give one consistent reading (of some version of the file) or
// the failure path; never a crash, a torn buffer or a hang.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "hostile/hostile_support.hpp"
#include "test_support.hpp"

namespace crunchwatch {
namespace {

using namespace std::chrono_literals;

// Versions of different sizes: version k has k+1 projects of k+1 results each.
std::vector<std::string> versions() {
    std::vector<std::string> v;
    for (std::size_t k = 0; k < 4; ++k) v.push_back(test::stateText(k + 1, k + 1, std::string(k * 3000, ' ')));
    return v;
}

void writeAll(int fd, std::string_view text, std::size_t chunk) {
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, std::min(chunk, text.size() - done));
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

enum class Rewrite {
    RenameIntoPlace,   // what the client does: a new file renamed over the old
    TruncateAndWrite,  // rewritten in place, in small pieces
    ShrinkAndGrow,     // cut short and grown again under the reader
    DeleteAndCreate,   // gone for a moment, then a new file of the name
};

// Rewrites `path` in one of the ways until told to stop.
void rewriteUntil(const std::atomic<bool>& stop, const std::string& path, Rewrite how) {
    const auto texts = versions();
    const std::string temporary = path + ".new";
    for (std::size_t i = 0; !stop; ++i) {
        const std::string& text = texts[i % texts.size()];
        switch (how) {
            case Rewrite::RenameIntoPlace: {
                const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                writeAll(fd, text, text.size());
                ::close(fd);
                std::rename(temporary.c_str(), path.c_str());
                break;
            }
            case Rewrite::TruncateAndWrite: {
                const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC);
                writeAll(fd, text, 997);
                ::close(fd);
                break;
            }
            case Rewrite::ShrinkAndGrow: {
                const int fd = ::open(path.c_str(), O_WRONLY);
                // Failures only make the rewrite less hostile; the reader must cope either way.
                bool ok = ::ftruncate(fd, static_cast<off_t>(i % 5000)) == 0;
                ok = ::ftruncate(fd, static_cast<off_t>(text.size() * 3)) == 0 && ok;  // a hole of NUL bytes
                ok = ::pwrite(fd, text.data(), text.size(), 0) >= 0 && ok;
                ok = ::ftruncate(fd, static_cast<off_t>(text.size())) == 0 && ok;
                (void)ok;
                ::close(fd);
                break;
            }
            case Rewrite::DeleteAndCreate: {
                ::unlink(path.c_str());
                const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                writeAll(fd, text, 4096);
                ::close(fd);
                break;
            }
        }
    }
}

TEST(Rewrite, EveryRefreshReadsOneVersionOrFails) {
    const struct {
        const char* what;
        Rewrite how;
        bool alwaysWhole;  // every read sees one complete version
    } cases[] = {
        {"renamed into place", Rewrite::RenameIntoPlace, true},
        {"truncated and written in place", Rewrite::TruncateAndWrite, false},
        {"shrunk and grown in place", Rewrite::ShrinkAndGrow, false},
        {"deleted and created again", Rewrite::DeleteAndCreate, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir dir;
        const std::string path = dir.write("client_state.xml", versions().front());
        std::atomic<bool> stop = false;
        std::thread writer(rewriteUntil, std::cref(stop), path, c.how);

        int reads = 0, whole = 0;
        const auto end = std::chrono::steady_clock::now() + 300ms;
        while (std::chrono::steady_clock::now() < end) {
            const auto snapshot = takeSnapshot(path);
            if (!snapshot) continue;
            ++reads;
            const auto& projects = snapshot.state.projectInfo;
            // A torn reading may join pieces of two versions, but what was read
            // is consistent with itself: one row per result it holds.
            std::size_t results = 0;
            for (const auto& p : projects) results += p.result.size();
            ASSERT_EQ(snapshot.rows.main_result_table.size(), results);
            const bool isWhole = !projects.empty() && projects.size() <= 4 &&
                                 results == projects.size() * projects.size() &&
                                 projects.back().result.size() == projects.size();
            whole += isWhole;
            ASSERT_TRUE(isWhole || !c.alwaysWhole) << projects.size() << " projects, " << results << " results";
        }
        stop = true;
        writer.join();
        EXPECT_GT(reads, 0);
        EXPECT_TRUE(whole == reads || !c.alwaysWhole);
    }
}

// A file deleted while it is open stays readable to its reader: the refresh
// that opened it finishes with what it read.
TEST(Rewrite, FileDeletedWhileOpenIsStillReadWhole) {
    test::TempDir dir;
    const std::string path = dir.write("client_state.xml", test::stateText(2, 2));
    const int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ::unlink(path.c_str());
    const auto outcome = test::snapshotWithin("/proc/self/fd/" + std::to_string(fd));
    ::close(fd);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->projects, 2u);
    EXPECT_EQ(outcome->rows, 4u);
}

}  // namespace
}  // namespace crunchwatch
