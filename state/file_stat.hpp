#pragma once
// What one attribute query says about a file, links followed: when it was
// last modified, which file it is, how long it is and whether it is a regular
// file. Every question the program asks about a file's attributes goes
// through here, so a file's date text, a history file's stamp and a job
// log's identity all see a file the same way. Nothing here opens a file.

#include <cstdint>
#include <optional>
#include <string>

#include "state/read_failure.hpp"

namespace crunchwatch {

// Which file a path named: a file renamed into place, or deleted and created
// again, is another file.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

struct FileStat {
    std::int64_t seconds = 0, nanoseconds = 0;  // last modification, since 1970
    FileIdentity identity;
    std::uint64_t size = 0;
    bool regular = false;  // not a folder, FIFO, socket or device
    bool directory = false;
    bool operator==(const FileStat&) const = default;
};

// Why `path` names no file at all: it is empty (noPath), or it holds a NUL
// byte (invalidPath), which the system would read only up to, and so name
// some other file; none for any other path.
ReadFailure unusablePath(const std::string& path) noexcept;

// The attributes of the file at `path`, or nothing when they cannot be had;
// `why` then says what went wrong. An empty path names no file, and a path
// holding a NUL byte is refused: the system would read it only up to that
// byte, and so describe some other file than the one named.
std::optional<FileStat> statFile(const std::string& path);
std::optional<FileStat> statFile(const std::string& path, ReadFailure& why);
// The attributes of an open file.
std::optional<FileStat> statOpenFile(int fd);

// What a failed call on a path (open, stat, opendir) says about the file,
// from its errno.
ReadFailure failureOfErrno(int error) noexcept;

// A file's date text: its modification time to the nanosecond, identity and
// size, so that a rewrite within the same second, or a file renamed into
// place, gives another text while an unchanged file gives an equal one.
// Nothing when the attributes cannot be read. Texts are only compared.
std::optional<std::string> fileDateText(const std::string& path);
// The date text of attributes already had.
std::string dateTextOf(const FileStat& st);

}  // namespace crunchwatch
