#include "state/vector_level.hpp"

#include <cstdio>
#include <cstdlib>

namespace crunchwatch {

VectorLevel bestVectorLevel() noexcept {
#if defined(__x86_64__) && defined(__GNUC__)
    static const VectorLevel best = __builtin_cpu_supports("avx512bw") ? VectorLevel::Avx512
                                    : __builtin_cpu_supports("avx2")   ? VectorLevel::Avx2
                                                                       : VectorLevel::Sse2;
    return best;
#elif defined(__SSE2__)
    return VectorLevel::Sse2;
#else
    return VectorLevel::Generic;
#endif
}

std::vector<VectorLevel> supportedVectorLevels() {
    std::vector<VectorLevel> levels;
    for (int l = 0; l <= static_cast<int>(bestVectorLevel()); ++l) levels.push_back(static_cast<VectorLevel>(l));
    return levels;
}

VectorLevel useVectorLevel(VectorLevel level) noexcept {
    if (level > bestVectorLevel()) level = bestVectorLevel();
    detail::vectorLevelInUse.store(static_cast<int>(level), std::memory_order_relaxed);
    return level;
}

std::string_view vectorLevelName(VectorLevel level) noexcept {
    switch (level) {
        case VectorLevel::Generic: return "generic";
        case VectorLevel::Sse2: return "sse2";
        case VectorLevel::Avx2: return "avx2";
        case VectorLevel::Avx512: return "avx512";
    }
    return "generic";
}

std::optional<VectorLevel> vectorLevelNamed(std::string_view name) noexcept {
    for (const VectorLevel l : {VectorLevel::Generic, VectorLevel::Sse2, VectorLevel::Avx2, VectorLevel::Avx512})
        if (vectorLevelName(l) == name) return l;
    return std::nullopt;
}

namespace detail {

VectorLevel initialVectorLevel() noexcept {
    VectorLevel level = bestVectorLevel();
    if (const char* asked = std::getenv("CRUNCHWATCH_VECTOR_LEVEL"); asked && *asked) {
        const auto named = vectorLevelNamed(asked);
        if (!named)
            std::fprintf(stderr, "crunchwatch: CRUNCHWATCH_VECTOR_LEVEL=%s is none of generic, sse2, avx2, avx512; "
                                 "using %s\n", asked, vectorLevelName(level).data());
        else if (*named > level)
            std::fprintf(stderr, "crunchwatch: this processor lacks %s; using %s\n", asked,
                         vectorLevelName(level).data());
        else
            level = *named;
    }
    // Two threads that both get here store the same level.
    int expected = -1;
    vectorLevelInUse.compare_exchange_strong(expected, static_cast<int>(level), std::memory_order_relaxed);
    return static_cast<VectorLevel>(vectorLevelInUse.load(std::memory_order_relaxed));
}

}  // namespace detail
}  // namespace crunchwatch
