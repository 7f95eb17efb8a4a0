#pragma once
// Which vector instructions this processor offers, asked once per process,
// for the scanning and normalising loops that have a version for each.

namespace crunchwatch {

enum class VectorLevel { Generic, Avx2, Avx512 };

inline VectorLevel vectorLevel() noexcept {
#if defined(__x86_64__) && defined(__GNUC__)
    static const VectorLevel best = __builtin_cpu_supports("avx512bw")
                                        ? VectorLevel::Avx512
                                        : (__builtin_cpu_supports("avx2") ? VectorLevel::Avx2 : VectorLevel::Generic);
    return best;
#else
    return VectorLevel::Generic;
#endif
}

}  // namespace crunchwatch
