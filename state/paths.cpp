#include "state/paths.hpp"

#include "state/file_stat.hpp"

namespace crunchwatch {

std::string deletingLastPathComponent(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    if (path == "/") return "/";
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return {};
    if (slash == 0) return "/";
    std::string_view dir = path.substr(0, slash);
    while (dir.size() > 1 && dir.back() == '/') dir.remove_suffix(1);
    return std::string(dir);
}

std::string stateFileOfArgument(const std::string& argument) {
    const auto st = statFile(argument);
    if (!st || !st->directory) return argument;
    return argument.back() == '/' ? argument + "client_state.xml" : argument + "/client_state.xml";
}

}  // namespace crunchwatch
