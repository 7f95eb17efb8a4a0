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
#include "state/file_stat.hpp"

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

// Everything from `offset` to the end of the file, `expected` bytes unless
// it grows or shrinks meanwhile. A whole file is read with read(), not
// pread(): files under /proc and /sys need not take a position. A tail is
// read with pread() whatever its offset, so the file's own position stays
// at its start for a whole read after it.
std::optional<TextBuffer> readToEnd(int fd, std::uint64_t offset, bool tail, std::size_t expected, ReadFailure& why) {
    std::size_t capacity = expected > 0 ? expected + 1 : 4096;
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
        const ssize_t n = tail ? ::pread(fd, data.get() + size, capacity - size, static_cast<off_t>(offset + size))
                               : ::read(fd, data.get() + size, capacity - size);
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

std::optional<TailRead> readOpenFile(int fd, std::optional<FileIdentity> known, std::uint64_t from,
                                     std::uint64_t lastSize, ReadFailure& why) {
    const auto st = statOpenFile(fd);
    if (!st) {
        why = ReadFailure::ioError;
        return std::nullopt;
    }
    if (!st->regular) {
        why = ReadFailure::notRegularFile;
        return std::nullopt;
    }
    // The file read before, now longer, goes on from `from` when the byte
    // before it is still the line feed the last read ended on; something
    // else there means the file was rewritten. That byte comes with the
    // same read, and is dropped.
    if (from > 0 && known && *known == st->identity && st->size > lastSize && lastSize >= from) {
        if (st->size - (from - 1) > largestReadableFile) {
            why = ReadFailure::tooLarge;
            return std::nullopt;
        }
        auto bytes = readToEnd(fd, from - 1, true, static_cast<std::size_t>(st->size - (from - 1)), why);
        if (!bytes) return std::nullopt;
        if (bytes->size() > 0 && bytes->view().front() == '\n') {
            std::memmove(bytes->data(), bytes->data() + 1, bytes->size() - 1);
            bytes->shrinkTo(bytes->size() - 1);
            return TailRead{st->identity, false, from, std::move(*bytes)};
        }
    }
    if (st->size > largestReadableFile) {
        why = ReadFailure::tooLarge;
        return std::nullopt;
    }
    auto bytes = readToEnd(fd, 0, false, static_cast<std::size_t>(st->size), why);
    if (!bytes) return std::nullopt;
    return TailRead{st->identity, true, 0, std::move(*bytes)};
}

}  // namespace

std::optional<TailRead> readFileTail(const std::string& path, std::optional<FileIdentity> known, std::uint64_t from,
                                     std::uint64_t lastSize, ReadFailure& why) {
    why = unusablePath(path);
    if (why != ReadFailure::none) return std::nullopt;
    // O_NONBLOCK: opening a FIFO must not wait for a writer; the type check
    // then refuses it.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        why = failureOfErrno(errno);
        return std::nullopt;
    }
    // A file bigger than the memory left must fail the refresh, not end the
    // program: the previous data stay on screen.
    try {
        return readOpenFile(fd.get(), known, from, lastSize, why);
    } catch (const std::bad_alloc&) {
        why = ReadFailure::tooLarge;
        return std::nullopt;
    }
}

std::optional<TextBuffer> readWholeFile(const std::string& path, ReadFailure& why) {
    auto read = readFileTail(path, std::nullopt, 0, 0, why);
    if (!read) return std::nullopt;
    return std::move(read->bytes);
}

std::optional<TextBuffer> readWholeFile(const std::string& path) {
    ReadFailure ignored{};
    return readWholeFile(path, ignored);
}

std::optional<std::string> readFileBeside(int dir, const char* name, std::uint64_t limit, ReadFailure& why) {
    FileDescriptor fd(::openat(dir, name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (fd.get() < 0) {
        why = errno == ELOOP ? ReadFailure::notRegularFile : failureOfErrno(errno);
        return std::nullopt;
    }
    struct stat st{};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        why = ReadFailure::notRegularFile;
        return std::nullopt;
    }
    if (static_cast<std::uint64_t>(st.st_size) > limit) {
        why = ReadFailure::tooLarge;
        return std::nullopt;
    }
    std::string text(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(fd.get(), text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            why = ReadFailure::ioError;
            return std::nullopt;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    text.resize(got);
    return text;
}

}  // namespace crunchwatch
