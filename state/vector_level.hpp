#pragma once
// Which vector instructions the scanning and normalising loops use. Each loop
// has a version per level; the best the processor offers is used unless the
// environment variable CRUNCHWATCH_VECTOR_LEVEL (generic, sse2, avx2, avx512)
// asks for a lower one, so that every version can be run and tested on any
// machine that has it. A level the processor lacks falls back to its best,
// with a warning on stderr.

#include <atomic>
#include <optional>
#include <string_view>
#include <vector>

namespace crunchwatch {

// In the order of what they need: each level's processors have the ones before.
enum class VectorLevel { Generic, Sse2, Avx2, Avx512 };

namespace detail {
inline std::atomic<int> vectorLevelInUse{-1};  // -1 until first asked
VectorLevel initialVectorLevel() noexcept;
}  // namespace detail

// The level the loops use now.
inline VectorLevel vectorLevel() noexcept {
    const int level = detail::vectorLevelInUse.load(std::memory_order_relaxed);
    return level >= 0 ? static_cast<VectorLevel>(level) : detail::initialVectorLevel();
}

// The best level this processor offers.
VectorLevel bestVectorLevel() noexcept;
// Every level this processor offers, lowest first.
std::vector<VectorLevel> supportedVectorLevels();
// Uses `level`, or the best one when the processor lacks it; returns the one used.
VectorLevel useVectorLevel(VectorLevel level) noexcept;

std::string_view vectorLevelName(VectorLevel level) noexcept;
std::optional<VectorLevel> vectorLevelNamed(std::string_view name) noexcept;

}  // namespace crunchwatch
