#include "dump/file_time.hpp"

#include <sys/stat.h>

namespace crunchwatch {

std::optional<double> modificationTime(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return std::nullopt;
    return static_cast<double>(st.st_mtim.tv_sec) + static_cast<double>(st.st_mtim.tv_nsec) * 1e-9;
}

}  // namespace crunchwatch
