#pragma once
// Reading what was appended to a file since the last read. The client only
// ever appends to its job logs, so a log that grew, and is still the same
// file, is read from where the last read stopped: an appended line costs
// that line, not the whole history again.
//
// The same rules as readWholeFile: only regular files (links followed),
// opening a FIFO never waits, nothing is ever written.

#include <cstdint>
#include <optional>
#include <string>

#include "state/file_read.hpp"

namespace crunchwatch {

// Which file a path named when it was read: a file renamed into place, or
// deleted and created again, is another file.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

struct TailRead {
    FileIdentity identity;
    // True when the bytes are the whole file (from offset 0): the file was
    // not the one read before, it did not grow, or the byte before `from` is
    // no longer the line feed the last read ended on.
    bool fromStart = false;
    std::uint64_t offset = 0;  // where `bytes` begin in the file
    TextBuffer bytes;
    std::uint64_t size() const noexcept { return offset + bytes.size(); }  // the file's, as read
};

// Reads `path` from `from` when it is still `known`, longer than
// `lastSize` (its size at the last read: a file rewritten in place to the
// same length is read again whole) and the byte at `from - 1` is a line feed
// (`from` 0 reads the whole file); otherwise the whole file. Nothing when it
// cannot be read.
std::optional<TailRead> readFileTail(const std::string& path, std::optional<FileIdentity> known, std::uint64_t from,
                                     std::uint64_t lastSize);

}  // namespace crunchwatch
