#include "state/normalise.hpp"

#include "state/normalise_lines.hpp"
#include "state/normalise_variants.hpp"
#include "state/vector_level.hpp"

namespace crunchwatch {
namespace {

using namespace normalise_lines;

// The plain loop, a byte (or a word) at a time: every other version gives
// exactly what this one gives.
std::size_t normaliseGeneric(char* data, std::size_t size) noexcept {
    const char* const end = data + size;
    char* out = data;
    const char* p = data;
    while (p < end) {
#if defined(__GNUC__)
        __builtin_prefetch(p + 2048);
#endif
        const char* a = skipLeadingSpace(p, end);
        char* const lineOut = out;
        p = copyRestOfLine(a, end, out);
        out = lineOut + trimmedLength(lineOut, static_cast<std::size_t>(out - lineOut));
    }
    return static_cast<std::size_t>(out - data);
}

}  // namespace

std::size_t normaliseInPlace(char* data, std::size_t size) noexcept {
    using namespace normalise_variants;
    switch (vectorLevel()) {
#if defined(__x86_64__) && defined(__GNUC__)
        case VectorLevel::Avx512: return normaliseAvx512(data, size);
        case VectorLevel::Avx2: return normaliseAvx2(data, size);
#endif
#if defined(__SSE2__)
        case VectorLevel::Sse2: return normaliseSse2(data, size);
#endif
        default: return normaliseGeneric(data, size);
    }
}

std::string normalised(std::string_view text) {
    std::string s(text);
    s.resize(normaliseInPlace(s.data(), s.size()));
    return s;
}

}  // namespace crunchwatch
