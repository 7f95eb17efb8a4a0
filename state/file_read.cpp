#include "state/file_read.hpp"

#include <cerrno>
#include <cstdint>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace crunchwatch {

TextBuffer TextBuffer::copyOf(std::string_view text) {
    auto data = std::make_unique_for_overwrite<char[]>(text.size() + 1);
    if (!text.empty()) std::memcpy(data.get(), text.data(), text.size());
    return TextBuffer(std::move(data), text.size());
}

namespace {

class FileDescriptor final {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() { if (m_fd >= 0) ::close(m_fd); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

}  // namespace

// A state file of tens of megabytes is read into a fresh buffer on every
// refresh. Backed by huge pages where the system offers them, the buffer
// costs a few dozen page faults instead of thousands. Only the whole 2 MB
// pages inside it are advised; smaller buffers are left as they are.
std::unique_ptr<char[]> newFileBuffer(std::size_t size) {
    auto data = std::make_unique_for_overwrite<char[]>(size);
#if defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t hugePage = std::uintptr_t{1} << 21;
    if (size >= 4 * hugePage) {
        const auto begin = reinterpret_cast<std::uintptr_t>(data.get());
        const std::uintptr_t first = (begin + hugePage - 1) & ~(hugePage - 1);
        const std::uintptr_t last = (begin + size) & ~(hugePage - 1);
        if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);  // a hint only
    }
#endif
    return data;
}

std::optional<TextBuffer> readWholeFile(const std::string& path) {
    // No file name holds a NUL byte: the system would read the path only up
    // to it, and so open some other file than the one named.
    if (path.empty() || path.find('\0') != std::string::npos) return std::nullopt;
    // O_NONBLOCK: opening a FIFO must not wait for a writer; the type check
    // below then refuses it.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;

    std::size_t capacity = st.st_size > 0 ? static_cast<std::size_t>(st.st_size) + 1 : 4096;
    auto data = newFileBuffer(capacity);
    std::size_t size = 0;
    for (;;) {
        if (size == capacity) {  // the file grew while we read it
            const std::size_t bigger = capacity * 2;
            auto grown = newFileBuffer(bigger);
            std::memcpy(grown.get(), data.get(), size);
            data = std::move(grown);
            capacity = bigger;
        }
        const ssize_t n = ::read(fd.get(), data.get() + size, capacity - size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (n == 0) break;
        size += static_cast<std::size_t>(n);
    }
    return TextBuffer(std::move(data), size);
}

}  // namespace crunchwatch
