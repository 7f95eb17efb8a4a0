#pragma once
// The tag search's loop, once per vector level (see vector_level.hpp). Each
// returns the first position in [p, last] where the needle (at least one
// byte) starts, or nullptr; the haystack holds at least needle.size() - 1
// bytes after `last`. Each gives exactly what the plain one gives.

#include <string_view>

namespace crunchwatch::scan_variants {

// Which byte of the needle, besides its first and last, a candidate position
// must match: the one after "<" or "</", the first that tells one tag from
// another, so that nearly every candidate is a true hit.
inline std::size_t probeIndex(std::string_view needle) noexcept {
    const std::size_t n = needle.size();
    return n < 3 ? n - 1 : (needle[1] == '/' ? 2 : 1);
}

const char* findInScalar(const char* p, const char* last, std::string_view needle) noexcept;
#if defined(__SSE2__)
// Sixteen candidate positions at a time, each kept only when three of the
// needle's bytes match: the first, the last, and the first one after "<" or
// "</", so that a tag's candidates are nearly always true hits.
const char* findInSse2(const char* p, const char* last, std::string_view needle) noexcept;
#endif
#if defined(__x86_64__) && defined(__GNUC__)
const char* findInAvx2(const char* p, const char* last, std::string_view needle) noexcept;
const char* findInAvx512(const char* p, const char* last, std::string_view needle) noexcept;
#endif

}  // namespace crunchwatch::scan_variants
