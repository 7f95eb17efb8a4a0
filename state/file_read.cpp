#include "state/file_read.hpp"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
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

std::optional<TextBuffer> readWholeFile(const std::string& path) {
    if (path.empty()) return std::nullopt;
    // O_NONBLOCK: opening a FIFO must not wait for a writer; the type check
    // below then refuses it.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;

    std::size_t capacity = st.st_size > 0 ? static_cast<std::size_t>(st.st_size) + 1 : 4096;
    auto data = std::make_unique_for_overwrite<char[]>(capacity);
    std::size_t size = 0;
    for (;;) {
        if (size == capacity) {  // the file grew while we read it
            const std::size_t bigger = capacity * 2;
            auto grown = std::make_unique_for_overwrite<char[]>(bigger);
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
