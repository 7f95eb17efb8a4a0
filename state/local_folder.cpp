#include "state/local_folder.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>

#include "state/disk_usage.hpp"
#include "state/file_descriptor.hpp"

namespace crunchwatch {
namespace {

FileStat fileStatOf(const struct stat& st) noexcept {
    return {static_cast<std::int64_t>(st.st_mtim.tv_sec), static_cast<std::int64_t>(st.st_mtim.tv_nsec),
            {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)},
            static_cast<std::uint64_t>(st.st_size), S_ISREG(st.st_mode), S_ISDIR(st.st_mode)};
}

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

// A name that stays where it is looked up: not empty, not "." or "..".
bool plainComponent(std::string_view name) { return !name.empty() && name != "." && name != ".."; }

// Opens `name` below the folder `root` (opened following links) one
// component at a time, following no link on the way or at the end: the
// last component with `flags`. Nothing, with `why`, when that cannot be
// done; a link anywhere is refused as no regular file.
int openBeneath(const std::string& root, std::string_view name, int flags, ReadFailure& why) {
    why = ReadFailure::none;
    if (name.find('\0') != std::string_view::npos || root.find('\0') != std::string::npos) {
        why = ReadFailure::invalidPath;
        return -1;
    }
    const bool absolute = name.starts_with('/');
    int at = ::open(absolute ? "/" : root.empty() ? "." : root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (at < 0) {
        why = failureOfErrno(errno);
        return -1;
    }
    std::string_view rest = absolute ? name.substr(1) : name;
    while (!rest.empty()) {
        const std::size_t slash = rest.find('/');
        const std::string part(rest.substr(0, slash));
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (!plainComponent(part)) {
            ::close(at);
            why = ReadFailure::invalidPath;
            return -1;
        }
        const int last = rest.empty() ? flags : O_RDONLY | O_DIRECTORY;
        const int next = ::openat(at, part.c_str(), last | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        const int error = errno;
        // A link where a folder is asked for fails as no folder: refused, as
        // a link at the end is, not missing.
        struct stat st {};
        const bool link = next < 0 && error == ENOTDIR && ::fstatat(at, part.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                          S_ISLNK(st.st_mode);
        ::close(at);
        if (next < 0) {
            why = error == ELOOP || link ? ReadFailure::notRegularFile : failureOfErrno(error);
            return -1;
        }
        at = next;
    }
    return at;
}

}  // namespace

std::optional<FileStat> statOpenFile(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return std::nullopt;
    return fileStatOf(st);
}

LocalFolder::LocalFolder(std::string dir) : m_path(std::move(dir)) {
    if (!m_path.empty() && m_path.back() != '/') m_path += '/';
}

std::string LocalFolder::resolved(std::string_view name) const {
    if (name.empty() || name.starts_with('/') || name.starts_with("./") || m_path.empty()) return std::string(name);
    return m_path + std::string(name);
}

std::optional<FileStat> LocalFolder::stat(std::string_view name, ReadFailure& why, Links links) const {
    const std::string path = resolved(name);
    why = unusablePath(path);
    if (why != ReadFailure::none) return std::nullopt;
    struct stat st {};
    if ((links == Links::followed ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0) {
        why = failureOfErrno(errno);
        return std::nullopt;
    }
    return fileStatOf(st);
}

std::optional<TailRead> LocalFolder::readTail(std::string_view name, std::optional<FileIdentity> known,
                                              std::uint64_t from, std::uint64_t lastSize, ReadFailure& why) const {
    const std::string path = resolved(name);
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

std::string LocalFolder::readStart(std::string_view name, std::size_t n) const {
    const std::string path = resolved(name);
    if (unusablePath(path) != ReadFailure::none) return {};
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) return {};
    std::string bytes(n, '\0');
    const ssize_t got = ::pread(fd.get(), bytes.data(), n, 0);
    bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return bytes;
}

std::optional<SmallFile> LocalFolder::readSmall(std::string_view name, std::uint64_t limit, ReadFailure& why) const {
    const FileDescriptor fd(openBeneath(m_path, name, O_RDONLY, why));
    if (fd.get() < 0) return std::nullopt;
    const auto st = statOpenFile(fd.get());
    if (!st || !st->regular) {
        why = ReadFailure::notRegularFile;
        return std::nullopt;
    }
    if (st->size > limit) {
        why = ReadFailure::tooLarge;
        return std::nullopt;
    }
    // One byte more than the file's size: a file that grew is read on, up
    // to one byte past the limit, and then refused.
    SmallFile file{std::string(static_cast<std::size_t>(st->size) + 1, '\0'), *st};
    std::size_t got = 0;
    for (;;) {
        if (got == file.text.size()) {
            if (file.text.size() > limit) break;
            file.text.resize(static_cast<std::size_t>(std::min<std::uint64_t>(limit + 1, file.text.size() * 2)));
        }
        const ssize_t n = ::read(fd.get(), file.text.data() + got, file.text.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            why = ReadFailure::ioError;
            return std::nullopt;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    if (got > limit) {
        why = ReadFailure::tooLarge;
        return std::nullopt;
    }
    file.text.resize(got);
    return file;
}

std::optional<std::vector<std::string>> LocalFolder::names(std::string_view dir, ReadFailure& why) const {
    const int fd = openBeneath(m_path, dir, O_RDONLY | O_DIRECTORY, why);
    if (fd < 0) return std::nullopt;
    const std::unique_ptr<DIR, int (*)(DIR*)> listing(::fdopendir(fd), &::closedir);
    if (!listing) {
        why = failureOfErrno(errno);
        ::close(fd);
        return std::nullopt;
    }
    std::vector<std::string> names;
    for (;;) {
        errno = 0;
        const dirent* e = ::readdir(listing.get());
        if (!e) break;
        const char* name = e->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
        names.emplace_back(name);
    }
    if (errno != 0) {
        why = ReadFailure::ioError;
        return std::nullopt;
    }
    return names;
}

ClientLock LocalFolder::lock(std::string_view name) const {
    const std::string path = resolved(name);
    if (unusablePath(path) != ReadFailure::none) return {};
    // Only a regular file is opened: opening a device may do something, and
    // a link may lead anywhere.
    struct stat before {};
    if (::lstat(path.c_str(), &before) != 0 || !S_ISREG(before.st_mode)) return {};
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0) return {};
    struct stat opened {};
    if (::fstat(fd.get(), &opened) != 0 || !S_ISREG(opened.st_mode)) return {};

    struct flock query {};
    query.l_type = F_WRLCK;
    query.l_whence = SEEK_SET;
    query.l_start = 0;
    query.l_len = 0;  // the whole file
    if (::fcntl(fd.get(), F_GETLK, &query) != 0) return {};
    if (query.l_type == F_UNLCK) return {ClientRunning::no, std::nullopt};
    ClientLock held{ClientRunning::yes, std::nullopt};
    if (query.l_pid > 0) held.pid = query.l_pid;
    return held;
}

DiskWalk LocalFolder::walkDisk(const ProjectFolderList& projects, std::size_t mostEntries) const {
    return crunchwatch::walkDisk(m_path, projects, mostEntries);
}

bool systemJournalUnreadable() {
    namespace fs = std::filesystem;
    for (const char* dir : {"/var/log/journal", "/run/log/journal"}) {
        std::error_code ec;
        fs::recursive_directory_iterator it(dir, ec), end;
        if (ec) {
            if (ec == std::errc::permission_denied) return true;
            continue;
        }
        for (; it != end; it.increment(ec)) {
            const std::string path = it->path().string();
            if (path.ends_with(".journal") || path.ends_with(".journal~"))
                if (::access(path.c_str(), R_OK) != 0 && errno == EACCES) return true;
        }
        if (ec == std::errc::permission_denied) return true;  // a folder of it (the iteration ended there)
    }
    return false;
}

bool unitInstalled(const std::string& unit) {
    std::error_code ec;
    for (const char* dir : {"/etc/systemd/system/", "/lib/systemd/system/", "/usr/lib/systemd/system/"})
        if (std::filesystem::exists(dir + unit, ec)) return true;
    return false;
}

}  // namespace crunchwatch
