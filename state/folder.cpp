#include "state/folder.hpp"

namespace crunchwatch {

std::optional<TextBuffer> Folder::readWhole(std::string_view name, ReadFailure& why) const {
    auto read = readTail(name, std::nullopt, 0, 0, why);
    if (!read) return std::nullopt;
    return std::move(read->bytes);
}

std::optional<TextBuffer> Folder::readWhole(std::string_view name) const {
    ReadFailure ignored{};
    return readWhole(name, ignored);
}

std::optional<std::string> Folder::dateText(std::string_view name) const {
    ReadFailure ignored{};
    const auto st = stat(name, ignored);
    if (!st) return std::nullopt;
    return dateTextOf(*st);
}

std::string Folder::shown(std::string_view name) const {
    if (name.starts_with('/')) return std::string(name);
    if (name.starts_with("./")) return std::string(name.substr(2));
    return path() + std::string(name);
}

}  // namespace crunchwatch
