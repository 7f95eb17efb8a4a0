#include "state/file_tail.hpp"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "state/file_descriptor.hpp"

namespace crunchwatch {
namespace {

// Everything from `offset` to the end, growing the buffer if the file grows
// while it is read; nothing on a read error.
std::optional<TextBuffer> readFrom(int fd, std::uint64_t offset, std::uint64_t expectedSize) {
    std::size_t capacity = expectedSize > offset ? static_cast<std::size_t>(expectedSize - offset) + 1 : 4096;
    auto data = newFileBuffer(capacity);
    std::size_t size = 0;
    for (;;) {
        if (size == capacity) {
            auto grown = newFileBuffer(capacity * 2);
            std::memcpy(grown.get(), data.get(), size);
            data = std::move(grown);
            capacity *= 2;
        }
        const ssize_t n = ::pread(fd, data.get() + size, capacity - size, static_cast<off_t>(offset + size));
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (n == 0) break;
        size += static_cast<std::size_t>(n);
    }
    return TextBuffer(std::move(data), size);
}

}  // namespace

std::optional<TailRead> readFileTail(const std::string& path, std::optional<FileIdentity> known, std::uint64_t from,
                                     std::uint64_t lastSize) {
    if (path.empty() || path.find('\0') != std::string::npos) return std::nullopt;
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    const FileIdentity identity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    const auto size = static_cast<std::uint64_t>(st.st_size);

    bool continues = from > 0 && known && *known == identity && size > lastSize && lastSize >= from;
    if (continues) {
        // The last read ended on a line feed; if that byte is something else
        // now, the file was rewritten rather than appended to.
        char before = 0;
        ssize_t n;
        do n = ::pread(fd.get(), &before, 1, static_cast<off_t>(from - 1));
        while (n < 0 && errno == EINTR);
        if (n < 0) return std::nullopt;
        continues = n == 1 && before == '\n';
    }
    const std::uint64_t offset = continues ? from : 0;
    auto bytes = readFrom(fd.get(), offset, size);
    if (!bytes) return std::nullopt;
    return TailRead{identity, !continues, offset, std::move(*bytes)};
}

}  // namespace crunchwatch
