#pragma once
// How much of the disk the client's files take, counted as the client counts
// them: the allocated size (st_blocks x 512) of every file under a project's
// folder (projects/<escaped master URL>/) and under the slot folders of the
// project's active tasks, folders themselves not counted; the client's own
// share is the allocated size of the data folder's top-level files and of
// everything under locale/. Counted so, the figures equal the client's own
// to the byte.
//
// The walk follows no symbolic link (a link counts as the link itself),
// counts a file with several names once (and a folder mounted inside counts
// whole, as the client counts it), walks no folder twice,
// and stops past a number of entries, saying so. It reads the file system
// only, never a file's contents.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace crunchwatch {

// One project's folders, as the walk is asked for them.
struct ProjectFolders {
    std::string dir;                 // the escaped master URL: the folder's name under projects/
    std::vector<std::string> slotDirs;  // the slot numbers of its active tasks (folders under slots/)
};

struct DiskWalk {
    std::vector<std::uint64_t> projectBytes;  // per project asked, in the order asked
    std::uint64_t clientBytes = 0;            // the data folder's own files and locale/
    // The data folder's file system (statvfs): bytes free to an ordinary user, and its size.
    std::optional<std::uint64_t> freeBytes, fileSystemBytes;
    std::size_t entries = 0;  // every file and folder looked at
    bool stopped = false;     // past the most entries: the figures count only what was reached
    // What could not be read, "projects/x/y: Permission denied", at most a few.
    std::vector<std::string> problems;
    double seconds = 0;  // how long the walk took
    double takenAt = 0;  // when it ran, in seconds since 1970

    std::uint64_t projectsBytes() const noexcept;  // every project's together
};

inline constexpr std::size_t mostWalkEntries = 1'000'000;

// Walks the data folder `dataDir` (ending in "/" or not) for `projects`.
DiskWalk walkDisk(const std::string& dataDir, const std::vector<ProjectFolders>& projects,
                  std::size_t mostEntries = mostWalkEntries);

}  // namespace crunchwatch
