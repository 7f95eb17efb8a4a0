#include "app/file_date.hpp"

#include "state/file_stat.hpp"

namespace crunchwatch {

DateText podajDatePliku(const std::string& path) { return fileDateText(path); }

}  // namespace crunchwatch
