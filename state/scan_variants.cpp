#include "state/scan_variants.hpp"

#include <cstdint>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace crunchwatch::scan_variants {

// clang 14 cannot compile the AVX-512 scan with a prefetch in it at -O1
// under AddressSanitizer and UndefinedBehaviorSanitizer together; sanitized
// builds go without the prefetch, which only ever saves time.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CRUNCHWATCH_SCAN_NO_PREFETCH 1
#endif
#endif

inline void prefetchAhead([[maybe_unused]] const char* p) noexcept {
#if !defined(CRUNCHWATCH_SCAN_NO_PREFETCH)
    __builtin_prefetch(p + 1024);
#endif
}

const char* findInScalar(const char* p, const char* last, std::string_view needle) noexcept {
    const std::size_t n = needle.size();
    for (; p <= last; ++p) {
        p = static_cast<const char*>(std::memchr(p, needle[0], static_cast<std::size_t>(last - p) + 1));
        if (!p) return nullptr;
        if (std::memcmp(p, needle.data(), n) == 0) return p;
    }
    return nullptr;
}

#if defined(__SSE2__)
const char* findInSse2(const char* p, const char* last, std::string_view needle) noexcept {
    const std::size_t n = needle.size();
    // Sixteen candidate positions at a time, each kept only when three of
    // the needle's bytes match: the first, the last, and the first one after
    // "<" or "</", so that a tag's candidates are nearly always true hits.
    // Every load stays inside the haystack.
    if (n >= 2) {
        const std::size_t probe = probeIndex(needle);
        const __m128i first = _mm_set1_epi8(needle[0]);
        const __m128i middle = _mm_set1_epi8(needle[probe]);
        const __m128i ending = _mm_set1_epi8(needle[n - 1]);
        while (last - p >= 15) {
            const auto load = [](const char* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); };
            const __m128i hits = _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(load(p), first),
                                                             _mm_cmpeq_epi8(load(p + probe), middle)),
                                               _mm_cmpeq_epi8(load(p + n - 1), ending));
            for (auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits)); mask != 0; mask &= mask - 1) {
                const char* at = p + __builtin_ctz(mask);
                if (std::memcmp(at, needle.data(), n) == 0) return at;
            }
            p += 16;
        }
    }
    return findInScalar(p, last, needle);
}
#endif

#if defined(__x86_64__) && defined(__GNUC__)
// The same scan over thirty-two positions at a time, for processors with
// AVX2 (nearly all that run this); the rest of the text goes to findInSse2.
__attribute__((target("avx2"))) const char* findInAvx2(const char* p, const char* last,
                                                        std::string_view needle) noexcept {
    const std::size_t n = needle.size();
    if (n >= 2) {
        const std::size_t probe = probeIndex(needle);
        const __m256i first = _mm256_set1_epi8(needle[0]);
        const __m256i middle = _mm256_set1_epi8(needle[probe]);
        const __m256i ending = _mm256_set1_epi8(needle[n - 1]);
        while (last - p >= 31) {
            const __m256i atFirst = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
            const __m256i atProbe = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + probe));
            const __m256i atLast = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + n - 1));
            const __m256i hits = _mm256_and_si256(
                _mm256_and_si256(_mm256_cmpeq_epi8(atFirst, first), _mm256_cmpeq_epi8(atProbe, middle)),
                _mm256_cmpeq_epi8(atLast, ending));
            for (auto mask = static_cast<unsigned>(_mm256_movemask_epi8(hits)); mask != 0; mask &= mask - 1) {
                const char* at = p + __builtin_ctz(mask);
                if (std::memcmp(at, needle.data(), n) == 0) return at;
            }
            p += 32;
        }
    }
    return findInSse2(p, last, needle);
}

// Sixty-four positions at a time with AVX-512: three compares into one mask,
// and the last stretch (most searches end within a few dozen bytes) in one
// masked step whose loads cannot fault on the bytes they leave out. A
// candidate is checked against the needle held in a register, so a needle of
// up to sixty-four bytes (every tag) needs no call to check.
__attribute__((target("avx512f,avx512bw,bmi"))) const char* findInAvx512(const char* p, const char* last,
                                                                        std::string_view needle) noexcept {
    const std::size_t n = needle.size();
    if (n < 2 || n > 64) return findInAvx2(p, last, needle);
    const std::size_t probe = probeIndex(needle);
    const __m512i first = _mm512_set1_epi8(needle[0]);
    const __m512i middle = _mm512_set1_epi8(needle[probe]);
    const __m512i ending = _mm512_set1_epi8(needle[n - 1]);
    const std::uint64_t needleBytes = n == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1;
    const __m512i whole = _mm512_maskz_loadu_epi8(needleBytes, needle.data());
    for (;;) {
        const std::ptrdiff_t left = last - p + 1;  // candidate positions still to look at
        if (left <= 0) return nullptr;
        const std::uint64_t in = left >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << left) - 1;
        // Long searches stream from memory: fetch ahead of the compares.
        prefetchAhead(p);
        std::uint64_t hits = _mm512_mask_cmpeq_epi8_mask(in, _mm512_maskz_loadu_epi8(in, p), first);
        hits = _mm512_mask_cmpeq_epi8_mask(hits, _mm512_maskz_loadu_epi8(in, p + probe), middle);
        hits = _mm512_mask_cmpeq_epi8_mask(hits, _mm512_maskz_loadu_epi8(in, p + n - 1), ending);
        for (; hits != 0; hits &= hits - 1) {
            const char* at = p + __builtin_ctzll(hits);
            if (_mm512_mask_cmpneq_epi8_mask(needleBytes, _mm512_maskz_loadu_epi8(needleBytes, at), whole) == 0)
                return at;
        }
        p += 64;
    }
}

#endif

}  // namespace crunchwatch::scan_variants
