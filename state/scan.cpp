#include "state/scan.hpp"

#include <cstdint>
#include <cstring>

#include "state/scan_variants.hpp"
#include "state/vector_level.hpp"

namespace crunchwatch {

std::size_t findFrom(std::string_view haystack, std::string_view needle, std::size_t from) noexcept {
    if (needle.empty() || from > haystack.size() || haystack.size() - from < needle.size())
        return std::string_view::npos;
    // Tags are searched for many times per refresh, most over a few hundred
    // bytes: a vectorised scan with no set-up per call.
    const char* const begin = haystack.data();
    const char* const last = begin + (haystack.size() - needle.size());
    using namespace scan_variants;
    const char* hit = nullptr;
    switch (vectorLevel()) {
#if defined(__x86_64__) && defined(__GNUC__)
        case VectorLevel::Avx512: hit = findInAvx512(begin + from, last, needle); break;
        case VectorLevel::Avx2: hit = findInAvx2(begin + from, last, needle); break;
#endif
#if defined(__SSE2__)
        case VectorLevel::Sse2: hit = findInSse2(begin + from, last, needle); break;
#endif
        default: hit = findInScalar(begin + from, last, needle); break;
    }
    return hit ? static_cast<std::size_t>(hit - begin) : std::string_view::npos;
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
