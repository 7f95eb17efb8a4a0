#include "state/atomic_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace crunchwatch {
namespace {

std::string failure(std::string_view what, const std::string& path, int error) {
    return std::string(what) + ' ' + path + ": " + std::strerror(error);
}

bool writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

mode_t creationMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

std::optional<std::string> replaceFileAtomically(const std::string& path, std::string_view contents) {
    const std::filesystem::path target(path);
    if (target.filename().empty()) return "cannot write " + path + ": not a file name";
    const std::filesystem::path dir = target.parent_path().empty() ? "." : target.parent_path();
    std::string hidden = ".";
    hidden += target.filename().string();
    hidden += ".XXXXXX";
    std::string temporary = (dir / hidden).string();
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return failure("cannot create a temporary file in", dir.string(), errno);

    int error = 0;
    const auto failed = [&] { error = errno != 0 ? errno : EIO; };
    if (::fchmod(fd, creationMode()) != 0 || !writeAll(fd, contents) || ::fsync(fd) != 0) failed();
    if (::close(fd) != 0 && error == 0) failed();
    if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) failed();
    if (error != 0) {
        ::unlink(temporary.c_str());
        return failure("cannot write", path, error);
    }
    // The rename itself reaches the disk with the directory; a failure here
    // leaves a complete file in place, so it is not reported.
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return std::nullopt;
}

}  // namespace crunchwatch
