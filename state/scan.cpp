#include "state/scan.hpp"

#include <cstring>

namespace crunchwatch {

std::size_t findFrom(std::string_view haystack, std::string_view needle, std::size_t from) noexcept {
    if (needle.empty() || from > haystack.size() || haystack.size() - from < needle.size())
        return std::string_view::npos;
    // glibc's memmem is a vectorised two-way search: far faster than a
    // char-by-char find on multi-megabyte state files.
    const void* hit = ::memmem(haystack.data() + from, haystack.size() - from, needle.data(), needle.size());
    return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - haystack.data())
               : std::string_view::npos;
}

namespace {

// The stretch both primitives share: start marker position S, the position E
// just after it, and the end of the stretch.
struct Stretch {
    std::size_t start, afterMarker, end;
};

std::optional<Stretch> stretch(std::string_view text, std::string_view od, std::string_view do_) noexcept {
    const std::size_t s = findFrom(text, od);
    if (s == std::string_view::npos) return std::nullopt;
    const std::size_t e = s + od.size();
    // The end marker is only looked for after the start marker, never inside it.
    std::size_t end = findFrom(text, do_, e);
    if (end == std::string_view::npos) end = text.size();
    return Stretch{s, e, end};
}

}  // namespace

std::optional<std::string_view> sekcja(std::string_view text, std::string_view od,
                                       std::string_view do_) noexcept {
    const auto st = stretch(text, od, do_);
    if (!st) return std::nullopt;
    return text.substr(st->start, st->end - st->start);
}

std::optional<std::string_view> wytnij(std::string_view text, std::string_view od,
                                       std::string_view do_) noexcept {
    const auto st = stretch(text, od, do_);
    if (!st || st->end == st->afterMarker) return std::nullopt;
    return text.substr(st->afterMarker, st->end - st->afterMarker);
}

}  // namespace crunchwatch
