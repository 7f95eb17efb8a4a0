#include "state/file_stat.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>

#include "state/local_folder.hpp"

namespace crunchwatch {
namespace {

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
    return LocalFolder().stat(path, why, Links::followed);
}

std::optional<FileStat> statFile(const std::string& path) {
    ReadFailure ignored{};
    return statFile(path, ignored);
}

std::string dateTextOf(const FileStat& st) {
    std::string text;
    appendNumber(text, st.seconds);
    text += '.';
    appendNumber(text, st.nanoseconds, 9);
    text += ' ';
    appendNumber(text, st.identity.device);
    text += ':';
    appendNumber(text, st.identity.inode);
    text += ' ';
    appendNumber(text, st.size);
    return text;
}

std::optional<std::string> fileDateText(const std::string& path) {
    const auto st = statFile(path);
    if (!st) return std::nullopt;
    return dateTextOf(*st);
}

}  // namespace crunchwatch
