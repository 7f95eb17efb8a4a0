#include "app/file_date.hpp"

#include <sys/stat.h>

namespace crunchwatch {

DateText podajDatePliku(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return std::nullopt;
    return std::to_string(st.st_mtim.tv_sec) + '.' + std::to_string(st.st_mtim.tv_nsec) + ' ' +
           std::to_string(st.st_dev) + ':' + std::to_string(st.st_ino) + ' ' + std::to_string(st.st_size);
}

}  // namespace crunchwatch
