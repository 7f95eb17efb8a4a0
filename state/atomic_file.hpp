#pragma once
// Replacing a file so that a reader sees the old contents or the new, never
// a part: the text goes to a temporary file in the same directory, is
// flushed to the disk, and is renamed over the target.

#include <optional>
#include <string>
#include <string_view>

namespace crunchwatch {

// Nothing on success; otherwise why it failed, with the target untouched and
// no temporary file left behind. The temporary file's name starts with a dot
// and ends in neither ".prom" nor the target's extension, so a directory
// reader that picks files by their ending never serves it. The new file gets
// the permissions of a newly created one (0666 less the umask).
std::optional<std::string> replaceFileAtomically(const std::string& path, std::string_view contents);

}  // namespace crunchwatch
