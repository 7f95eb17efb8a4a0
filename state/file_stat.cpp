#include "state/file_stat.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>

#include <sys/stat.h>

namespace crunchwatch {
namespace {

FileStat fileStatOf(const struct stat& st) noexcept {
    return {static_cast<std::int64_t>(st.st_mtim.tv_sec), static_cast<std::int64_t>(st.st_mtim.tv_nsec),
            {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)},
            static_cast<std::uint64_t>(st.st_size), S_ISREG(st.st_mode), S_ISDIR(st.st_mode)};
}

// Appends the decimal digits of `value`, at least `width` of them.
template <class Integer>
void appendNumber(std::string& out, Integer value, int width = 1) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(static_cast<std::size_t>(std::max<long>(0, width - (end - digits))), '0');
    out.append(digits, end);
}

}  // namespace

ReadFailure failureOfErrno(int error) noexcept {
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

ReadFailure unusablePath(const std::string& path) noexcept {
    if (path.empty()) return ReadFailure::noPath;
    if (path.find('\0') != std::string::npos) return ReadFailure::invalidPath;
    return ReadFailure::none;
}

std::optional<FileStat> statFile(const std::string& path, ReadFailure& why) {
    why = unusablePath(path);
    if (why != ReadFailure::none) return std::nullopt;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        why = failureOfErrno(errno);
        return std::nullopt;
    }
    return fileStatOf(st);
}

std::optional<FileStat> statFile(const std::string& path) {
    ReadFailure ignored{};
    return statFile(path, ignored);
}

std::optional<FileStat> statOpenFile(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return std::nullopt;
    return fileStatOf(st);
}

std::optional<std::string> fileDateText(const std::string& path) {
    const auto st = statFile(path);
    if (!st) return std::nullopt;
    std::string text;
    appendNumber(text, st->seconds);
    text += '.';
    appendNumber(text, st->nanoseconds, 9);
    text += ' ';
    appendNumber(text, st->identity.device);
    text += ':';
    appendNumber(text, st->identity.inode);
    text += ' ';
    appendNumber(text, st->size);
    return text;
}

}  // namespace crunchwatch
