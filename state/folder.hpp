#pragma once
// A client's data directory, as the readers reach it. Every question a
// reader asks of the client's files goes through here: the state of a name,
// a file whole or from an offset, a small file whole up to a limit, a
// folder's names, the lock on the lockfile, and the disk the client's files
// take. LocalFolder answers from this machine's file system, MemoryFolder
// from a table of files for tests; nothing else in the readers touches a
// file system, so a folder elsewhere (another machine) stands in for either.
//
// Names are relative to the folder, with "/" between folder names (an
// empty name names no file: only names() takes it, for the folder); an
// absolute name ("/var/log/boinc.log") names a file outside it, for the few
// files a client writes elsewhere; on this machine a name beginning with
// "./" is the working folder's. The folder itself is reached following
// links (Debian's /var/lib/boinc is one). What a method says of links below
// it is a promise every folder keeps.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "state/client_lock.hpp"
#include "state/file_read.hpp"
#include "state/file_stat.hpp"
#include "state/read_failure.hpp"

namespace crunchwatch {

class ProjectFolderList;
struct DiskWalk;

// Whether a name's own state is that of what it links to (stat) or of the
// link itself (lstat).
enum class Links : bool { followed, notFollowed };

struct SmallFile {
    std::string text;
    FileStat stat;  // of the file read, as opened
};

class Folder {
public:
    virtual ~Folder() = default;

    // The folder as the user names it, ending in "/" (empty for the working
    // folder): what a message shows before a name.
    virtual const std::string& path() const noexcept = 0;

    // The state of `name`, or nothing with `why` saying what went wrong.
    virtual std::optional<FileStat> stat(std::string_view name, ReadFailure& why,
                                         Links links = Links::followed) const = 0;

    // A regular file (links followed) read whole, or on from an offset: the
    // rules of readFileTail in state/file_read.hpp. A FIFO or device is
    // refused without waiting on it; the file's own position never moves.
    virtual std::optional<TailRead> readTail(std::string_view name, std::optional<FileIdentity> known,
                                             std::uint64_t from, std::uint64_t lastSize, ReadFailure& why) const = 0;

    // At most the first `n` bytes of the file (fewer when it is shorter,
    // none when it cannot be read).
    virtual std::string readStart(std::string_view name, std::size_t n) const = 0;

    // A regular file of at most `limit` bytes read whole, with no link
    // followed at any step below the folder: an application writes into its
    // own slot, and a link there could lead to one of the client's secrets.
    // One that grew past the limit while it was read is refused as too large.
    virtual std::optional<SmallFile> readSmall(std::string_view name, std::uint64_t limit, ReadFailure& why) const = 0;

    // The names in the folder `dir` ("" for the folder itself), "." and ".."
    // left out, in no particular order; no link followed below the folder.
    // Nothing when it cannot be listed to the end.
    virtual std::optional<std::vector<std::string>> names(std::string_view dir, ReadFailure& why) const = 0;

    // Whether a client holds the lock on the file `name` (see client_lock.hpp).
    virtual ClientLock lock(std::string_view name) const = 0;

    // The disk the client's files take (see disk_usage.hpp).
    virtual DiskWalk walkDisk(const ProjectFolderList& projects, std::size_t mostEntries) const = 0;

    // Conveniences over the above.
    std::optional<TextBuffer> readWhole(std::string_view name, ReadFailure& why) const;
    std::optional<TextBuffer> readWhole(std::string_view name) const;
    // The name's date text (see fileDateText in file_stat.hpp).
    std::optional<std::string> dateText(std::string_view name) const;
    // The name as a message shows it: the folder's path before it.
    std::string shown(std::string_view name) const;
};

}  // namespace crunchwatch
