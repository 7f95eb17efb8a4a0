#pragma once
// Whether a client runs on a data directory. A running client holds a POSIX
// write lock on the file "lockfile" there for as long as it lives; the file
// itself stays after it stops, so only the lock tells. The lock is asked
// about (F_GETLK) on a descriptor opened read-only: nothing is created,
// written or locked, and the client's start-up is never in the way.
//
// A client started with --allow_multiple_clients makes no lockfile and takes
// no lock, so a missing file means that nothing can be told. So does
// anything there that is not a regular file: a folder, a FIFO, a device or a
// symbolic link is not what a client makes, and is never opened.

#include <optional>
#include <string>

namespace crunchwatch {

enum class ClientRunning { yes, no, cannotTell };

struct ClientLock {
    ClientRunning running = ClientRunning::cannotTell;
    std::optional<long> pid;  // the lock's holder, when the system names one

    bool operator==(const ClientLock&) const = default;
};

inline constexpr const char* lockFileName = "lockfile";

// `rootDir` is the data directory, ending in "/", on this machine; a Folder
// asks its own with lock(lockFileName).
ClientLock clientLock(const std::string& rootDir);

}  // namespace crunchwatch
