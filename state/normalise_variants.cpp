#include "state/normalise_variants.hpp"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "state/normalise_lines.hpp"

namespace crunchwatch::normalise_variants {

using namespace normalise_lines;

// The vector paths copy a line to `out` while they look for its terminator in
// the same bytes, a whole vector at a time. A store may run past the line's
// end; that is safe once `out` lies at least one vector's width before the
// line (within the first lines of an indented file, as every line gives up
// its terminator and indentation), since a store then only lands on bytes
// already read. Near the end of the text the rest goes the scalar way.

#if defined(__SSE2__)
const char* copyLine16(const char* a, const char* end, char*& out) noexcept {
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i e2 = _mm_set1_epi8(static_cast<char>(0xE2));
    const char* const start = a;
    char* const lineOut = out;
    while (end - a >= 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), chunk);
        const __m128i candidates =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chunk, lf), _mm_cmpeq_epi8(chunk, cr)), _mm_cmpeq_epi8(chunk, e2));
        for (auto mask = static_cast<unsigned>(_mm_movemask_epi8(candidates)); mask != 0; mask &= mask - 1) {
            const char* q = a + __builtin_ctz(mask);
            if (const char* next = afterTerminator(q, end)) {
                out = lineOut + (q - start);
                return next;
            }
        }
        a += 16;
        out += 16;
    }
    return copyRestOfLine(a, end, out);
}

std::size_t normaliseSse2(char* data, std::size_t size) noexcept {
    return normaliseEachLine(data, size, [](const char* a, const char* end, char*& out) {
        return a - out >= 16 ? copyLine16(a, end, out) : copyRestOfLine(a, end, out);
    });
}
#endif

#if defined(__x86_64__) && defined(__GNUC__)
// One line with thirty-two bytes at a time and the indentation measured in
// one comparison, for processors with AVX2: copies the line's text to `out`
// and returns the start of the next line.
__attribute__((target("avx2"))) inline const char* lineAvx2(const char* p, const char* end, char*& out) noexcept {
    const __m256i space = _mm256_set1_epi8(' ');
    const __m256i lf = _mm256_set1_epi8('\n');
    const __m256i cr = _mm256_set1_epi8('\r');
    const __m256i e2 = _mm256_set1_epi8(static_cast<char>(0xE2));
    const char* a = p;
    if (end - p >= 32) {
        const __m256i head = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const auto spaces = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(head, space)));
        a = p + (spaces == ~0u ? 32 : __builtin_ctz(~spaces));
    }
    // Anything but a visible ASCII character may be more to trim, or the
    // terminator of a blank line: the general rule decides.
    if (a == end || byteAt(a) <= ' ' || byteAt(a) >= 0x80) a = skipLeadingSpace(a, end);
    char* const lineOut = out;
    const char* next = nullptr;
    if (a - out >= 32) {
        const char* const start = a;
        while (!next && end - a >= 32) {
            const __m256i chunk = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), chunk);
            const __m256i candidates = _mm256_or_si256(
                _mm256_or_si256(_mm256_cmpeq_epi8(chunk, lf), _mm256_cmpeq_epi8(chunk, cr)), _mm256_cmpeq_epi8(chunk, e2));
            for (auto mask = static_cast<unsigned>(_mm256_movemask_epi8(candidates)); mask != 0; mask &= mask - 1) {
                const char* q = a + __builtin_ctz(mask);
                if ((next = afterTerminator(q, end))) {
                    out = lineOut + (q - start);
                    break;
                }
            }
            if (!next) {
                a += 32;
                out += 32;
            }
        }
        if (!next) next = copyRestOfLine(a, end, out);
    } else {
        next = copyRestOfLine(a, end, out);
    }
    out = lineOut + trimmedLength(lineOut, static_cast<std::size_t>(out - lineOut));
    return next;
}

__attribute__((target("avx2"))) std::size_t normaliseAvx2(char* data, std::size_t size) noexcept {
    const char* const end = data + size;
    char* out = data;
    for (const char* p = data; p < end;) {
        // The text streams in from memory: fetching ahead keeps the line loop,
        // whose next address depends on this line's end, from waiting on it.
        __builtin_prefetch(p + 2048);
        p = lineAvx2(p, end, out);
    }
    return static_cast<std::size_t>(out - data);
}

// With AVX-512 the usual line of an indented file, shorter than sixty-four
// bytes, is done in one step: its indentation, its end and whether its last
// character is visible are read off masks of the same sixty-four bytes, and
// its text is moved with one store. Every other line goes the AVX2 way.
__attribute__((target("avx2,avx512f,avx512bw,bmi"))) std::size_t normaliseAvx512(char* data, std::size_t size) noexcept {
    const char* const end = data + size;
    char* out = data;
    const __m512i space = _mm512_set1_epi8(' ');
    const __m512i lf = _mm512_set1_epi8('\n');
    const __m512i cr = _mm512_set1_epi8('\r');
    const __m512i e2 = _mm512_set1_epi8(static_cast<char>(0xE2));
    const __m512i blank = _mm512_set1_epi8(' ');  // as signed bytes, only 0x21..0x7F are greater
    for (const char* p = data; p < end;) {
        __builtin_prefetch(p + 2048);
        if (end - p >= 128) {
            const __m512i v = _mm512_loadu_si512(p);
            const __mmask64 spaces = _mm512_cmpeq_epi8_mask(v, space);
            const __mmask64 visible = _mm512_cmpgt_epi8_mask(v, blank);
            const __mmask64 breaks =
                _mm512_cmpeq_epi8_mask(v, lf) | _mm512_cmpeq_epi8_mask(v, cr) | _mm512_cmpeq_epi8_mask(v, e2);
            const auto lead = static_cast<unsigned>(__builtin_ctzll(~spaces | (std::uint64_t{1} << 63)));
            const __mmask64 ahead = breaks & (~std::uint64_t{0} << lead);
            if (((visible >> lead) & 1) != 0 && ahead != 0) {
                // The text starts with a visible character at `lead`; the
                // first break candidate after it is at `t` (t > lead).
                const auto t = static_cast<unsigned>(__builtin_ctzll(ahead));
                const char* a = p + lead;
                if (p[t] == '\n' && ((visible >> (t - 1)) & 1) != 0 && a - out >= 64) {
                    _mm512_storeu_si512(out, _mm512_loadu_si512(a));
                    out += t - lead;
                    p += t + 1;
                    continue;
                }
            }
        }
        p = lineAvx2(p, end, out);
    }
    return static_cast<std::size_t>(out - data);
}

#endif

}  // namespace crunchwatch::normalise_variants
