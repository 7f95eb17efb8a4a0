#pragma once
// A file's date text: how the monitor notices that a file has changed. Texts
// are only compared for equality, and "none" (a file whose attributes cannot
// be read) equals nothing, not even another none.

#include <optional>
#include <string>

namespace crunchwatch {

using DateText = std::optional<std::string>;

// podajDatePliku ("give the file's date"): one attribute query with links
// followed; the file is never opened. The text holds the modification time to
// the nanosecond and the file's identity (device, inode) and size, so that a
// rewrite within the same second, or a file renamed into place, is seen,
// while an unchanged file gives an equal text. The same text as
// fileDateText (state/file_stat.hpp), which a reader without Qt calls.
DateText podajDatePliku(const std::string& path);

// Equal date texts: both present and the same. None never equals anything.
inline bool sameDate(const DateText& a, const DateText& b) { return a && b && *a == *b; }

}  // namespace crunchwatch
