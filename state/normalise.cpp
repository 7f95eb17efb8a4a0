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
    return normaliseEachLine(data, size, copyRestOfLine);
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
