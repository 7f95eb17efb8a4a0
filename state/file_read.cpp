#include "state/file_read.hpp"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "state/file_descriptor.hpp"

namespace crunchwatch {

TextBuffer TextBuffer::copyOf(std::string_view text) {
    auto data = std::make_unique_for_overwrite<char[]>(text.size() + 1);
    if (!text.empty()) std::memcpy(data.get(), text.data(), text.size());
    return TextBuffer(std::move(data), text.size());
}


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

namespace {

// What a failed open says about the file, from its errno.
ReadFailure openFailure(int error) noexcept {
    switch (error) {
    case ENOENT:
    case ENOTDIR: return ReadFailure::notFound;
    case EACCES:
    case EPERM: return ReadFailure::permissionDenied;
    case ENAMETOOLONG:
    case ELOOP: return ReadFailure::invalidPath;
    case ENXIO:  // a socket, or a device without its driver
    case ENODEV: return ReadFailure::notRegularFile;
    case EFBIG:
    case EOVERFLOW: return ReadFailure::tooLarge;
    default: return ReadFailure::ioError;
    }
}

std::optional<TextBuffer> readOpenFile(int fd, ReadFailure& why) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        why = ReadFailure::ioError;
        return std::nullopt;
    }
    if (!S_ISREG(st.st_mode)) {
        why = ReadFailure::notRegularFile;
        return std::nullopt;
    }
    if (static_cast<std::uintmax_t>(st.st_size) > largestReadableFile) {
        why = ReadFailure::tooLarge;
        return std::nullopt;
    }
    std::size_t capacity = st.st_size > 0 ? static_cast<std::size_t>(st.st_size) + 1 : 4096;
    auto data = newFileBuffer(capacity);
    std::size_t size = 0;
    for (;;) {
        if (size == capacity) {  // the file grew while we read it
            if (capacity > largestReadableFile) {
                why = ReadFailure::tooLarge;
                return std::nullopt;
            }
            const std::size_t bigger = capacity * 2;
            auto grown = newFileBuffer(bigger);
            std::memcpy(grown.get(), data.get(), size);
            data = std::move(grown);
            capacity = bigger;
        }
        const ssize_t n = ::read(fd, data.get() + size, capacity - size);
        if (n < 0) {
            if (errno == EINTR) continue;
            why = ReadFailure::ioError;
            return std::nullopt;
        }
        if (n == 0) break;
        size += static_cast<std::size_t>(n);
    }
    return TextBuffer(std::move(data), size);
}

}  // namespace

std::optional<TextBuffer> readWholeFile(const std::string& path, ReadFailure& why) {
    why = ReadFailure::none;
    if (path.empty()) {
        why = ReadFailure::noPath;
        return std::nullopt;
    }
    // No file name holds a NUL byte: the system would read the path only up
    // to it, and so open some other file than the one named.
    if (path.find('\0') != std::string::npos) {
        why = ReadFailure::invalidPath;
        return std::nullopt;
    }
    // O_NONBLOCK: opening a FIFO must not wait for a writer; the type check
    // then refuses it.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        why = openFailure(errno);
        return std::nullopt;
    }
    // A file bigger than the memory left must fail the refresh, not end the
    // program: the previous data stay on screen.
    try {
        return readOpenFile(fd.get(), why);
    } catch (const std::bad_alloc&) {
        why = ReadFailure::tooLarge;
        return std::nullopt;
    }
}

std::optional<TextBuffer> readWholeFile(const std::string& path) {
    ReadFailure ignored{};
    return readWholeFile(path, ignored);
}

}  // namespace crunchwatch
