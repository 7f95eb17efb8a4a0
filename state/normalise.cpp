#include "state/normalise.hpp"

#include <cstdint>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "state/vector_level.hpp"

namespace crunchwatch {
namespace {

inline unsigned char byteAt(const char* p) noexcept { return static_cast<unsigned char>(*p); }

bool isAsciiSpace(unsigned char c) noexcept { return c == ' ' || (c >= 0x09 && c <= 0x0D); }

// Length of the trimmable character that starts at p (p < end), or 0.
std::size_t spaceAt(const char* p, const char* end) noexcept {
    const unsigned char c = byteAt(p);
    if (isAsciiSpace(c)) return 1;
    const std::size_t left = static_cast<std::size_t>(end - p);
    if (c == 0xC2 && left >= 2) {
        const unsigned char c1 = byteAt(p + 1);
        return (c1 == 0x85 || c1 == 0xA0) ? 2 : 0;
    }
    if (left < 3) return 0;
    const unsigned char c1 = byteAt(p + 1), c2 = byteAt(p + 2);
    if (c == 0xE1) return (c1 == 0x9A && c2 == 0x80) ? 3 : 0;                       // U+1680
    if (c == 0xE2 && c1 == 0x80)                                                     // U+2000..U+200A,
        return ((c2 >= 0x80 && c2 <= 0x8A) || c2 == 0xA8 || c2 == 0xA9 || c2 == 0xAF) ? 3 : 0;  // 2028, 2029, 202F
    if (c == 0xE2) return (c1 == 0x81 && c2 == 0x9F) ? 3 : 0;                       // U+205F
    if (c == 0xE3) return (c1 == 0x80 && c2 == 0x80) ? 3 : 0;                       // U+3000
    return 0;
}

// Length of the trimmable character that ends just before `end` (begin < end), or 0.
std::size_t spaceBefore(const char* begin, const char* end) noexcept {
    if (isAsciiSpace(byteAt(end - 1))) return 1;
    const std::size_t avail = static_cast<std::size_t>(end - begin);
    if (avail >= 2 && spaceAt(end - 2, end) == 2) return 2;
    if (avail >= 3 && spaceAt(end - 3, end) == 3) return 3;
    return 0;
}

// True when the 8-byte word holds a byte equal to `b` (the classic SWAR test).
inline bool wordHasByte(std::uint64_t word, unsigned char b) noexcept {
    constexpr std::uint64_t ones = 0x0101010101010101ULL, highs = 0x8080808080808080ULL;
    const std::uint64_t x = word ^ (ones * b);
    return ((x - ones) & ~x & highs) != 0;
}

// Position of the next byte that may start a line terminator: LF, CR, or the
// 0xE2 lead byte of U+2029. Checks eight bytes at a time; most lines of a
// state file hold none of the three until their end.
const char* nextBreakCandidate(const char* p, const char* end) noexcept {
    while (end - p >= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        if (wordHasByte(word, '\n') || wordHasByte(word, '\r') || wordHasByte(word, 0xE2)) break;
        p += 8;
    }
    for (; p < end; ++p) {
        const unsigned char c = byteAt(p);
        if (c == '\n' || c == '\r' || c == 0xE2) return p;
    }
    return end;
}

// Finds the end of the line that starts at p: sets lineEnd to the terminator's
// first byte (or end) and returns the position after the terminator.
const char* endOfLine(const char* p, const char* end, const char*& lineEnd) noexcept {
    for (;;) {
        const char* q = nextBreakCandidate(p, end);
        if (q == end) {
            lineEnd = end;
            return end;
        }
        const unsigned char c = byteAt(q);
        if (c == '\n') {
            lineEnd = q;
            return q + 1;
        }
        if (c == '\r') {
            lineEnd = q;
            return (q + 1 < end && q[1] == '\n') ? q + 2 : q + 1;
        }
        // 0xE2: a paragraph separator ends the line; any other character goes on.
        if (end - q >= 3 && byteAt(q + 1) == 0x80 && byteAt(q + 2) == 0xA9) {
            lineEnd = q;
            return q + 3;
        }
        p = q + 1;
    }
}

// Skips the trimmable characters at the start of a line; stops at the line's
// terminator (LF, CR, U+2029), which is never part of the line. No blank
// character's continuation bytes can be a terminator's first byte, so looking
// past the line's end for them changes nothing.
const char* skipLeadingSpace(const char* p, const char* end) noexcept {
    while (p < end) {
        const unsigned char c = byteAt(p);
        if (c == ' ' || c == '\t') {  // indentation: by far the most common
            ++p;
            continue;
        }
        if (c == '\n' || c == '\r' || (c < 0x80 && !isAsciiSpace(c))) return p;
        if (c == 0xE2 && end - p >= 3 && byteAt(p + 1) == 0x80 && byteAt(p + 2) == 0xA9) return p;
        const std::size_t n = spaceAt(p, end);
        if (n == 0) return p;
        p += n;
    }
    return p;
}

// The length of line[0, len) without its trailing trimmable characters.
std::size_t trimmedLengthSlow(const char* line, std::size_t len) noexcept {
    const char* b = line + len;
    while (b > line) {
        const unsigned char c = byteAt(b - 1);
        if (c < 0x80 && !isAsciiSpace(c)) break;
        const std::size_t n = spaceBefore(line, b);
        if (n == 0) break;
        b -= n;
    }
    return static_cast<std::size_t>(b - line);
}

// Most lines end in ">", which ends the trimming at once.
inline std::size_t trimmedLength(const char* line, std::size_t len) noexcept {
    if (len != 0) {
        const unsigned char c = byteAt(line + len - 1);
        if (c > ' ' && c < 0x80) return len;
    }
    return trimmedLengthSlow(line, len);
}

// The position after the line terminator that starts at q, or nullptr when
// q starts none (0xE2 begins many other characters).
inline const char* afterTerminator(const char* q, const char* end) noexcept {
    const unsigned char c = byteAt(q);
    if (c == '\n') return q + 1;
    if (c == '\r') return (q + 1 < end && q[1] == '\n') ? q + 2 : q + 1;
    if (c == 0xE2 && end - q >= 3 && byteAt(q + 1) == 0x80 && byteAt(q + 2) == 0xA9) return q + 3;
    return nullptr;
}

// What is left of the line from `a` on goes to `out`; returns the position
// after the line's terminator.
inline const char* copyRestOfLine(const char* a, const char* end, char*& out) noexcept {
    const char* lineEnd = end;
    const char* next = endOfLine(a, end, lineEnd);
    const std::size_t rest = static_cast<std::size_t>(lineEnd - a);
    if (rest != 0 && out != a) std::memmove(out, a, rest);
    out += rest;
    return next;
}

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
#endif

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
#if defined(__SSE2__)
        p = a - out >= 16 ? copyLine16(a, end, out) : copyRestOfLine(a, end, out);
#else
        p = copyRestOfLine(a, end, out);
#endif
        out = lineOut + trimmedLength(lineOut, static_cast<std::size_t>(out - lineOut));
    }
    return static_cast<std::size_t>(out - data);
}

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

}  // namespace

std::size_t normaliseInPlace(char* data, std::size_t size) noexcept {
#if defined(__x86_64__) && defined(__GNUC__)
    switch (vectorLevel()) {
        case VectorLevel::Avx512: return normaliseAvx512(data, size);
        case VectorLevel::Avx2: return normaliseAvx2(data, size);
        case VectorLevel::Generic: break;
    }
#endif
    return normaliseGeneric(data, size);
}

std::string normalised(std::string_view text) {
    std::string s(text);
    s.resize(normaliseInPlace(s.data(), s.size()));
    return s;
}

}  // namespace crunchwatch
