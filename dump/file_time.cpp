#include "dump/file_time.hpp"

#include "state/file_stat.hpp"

namespace crunchwatch {

std::optional<double> modificationTime(const std::string& path) {
    const auto st = statFile(path);
    if (!st) return std::nullopt;
    return static_cast<double>(st->seconds) + static_cast<double>(st->nanoseconds) * 1e-9;
}

}  // namespace crunchwatch
