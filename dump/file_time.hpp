#pragma once
// When a file was last written, as the metrics report it.

#include <optional>
#include <string>

namespace crunchwatch {

// The modification time of the file (links followed), in seconds since 1970
// with its fraction; nothing when it cannot be known.
std::optional<double> modificationTime(const std::string& path);

}  // namespace crunchwatch
