#include "state/client_lock.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include "state/file_descriptor.hpp"
#include "state/file_stat.hpp"

namespace crunchwatch {

ClientLock clientLock(const std::string& rootDir) {
    const std::string path = rootDir + "lockfile";
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

}  // namespace crunchwatch
