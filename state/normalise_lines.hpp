#pragma once
// The rules of normalisation, line by line: which characters are trimmed,
// where a line ends (LF, CR, CRLF, U+2029), and copying what is left of a
// line. Every version of the normalising loop (normalise_variants.hpp) is
// built from these, so all of them trim and join alike.

#include <cstdint>
#include <cstring>

namespace crunchwatch::normalise_lines {

inline unsigned char byteAt(const char* p) noexcept { return static_cast<unsigned char>(*p); }

inline bool isAsciiSpace(unsigned char c) noexcept { return c == ' ' || (c >= 0x09 && c <= 0x0D); }

// Length of the trimmable character that starts at p (p < end), or 0.
inline std::size_t spaceAt(const char* p, const char* end) noexcept {
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
inline std::size_t spaceBefore(const char* begin, const char* end) noexcept {
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
inline const char* nextBreakCandidate(const char* p, const char* end) noexcept {
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
inline const char* endOfLine(const char* p, const char* end, const char*& lineEnd) noexcept {
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
inline const char* skipLeadingSpace(const char* p, const char* end) noexcept {
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
inline std::size_t trimmedLengthSlow(const char* line, std::size_t len) noexcept {
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

// The loop every line-at-a-time version shares: each line's leading blanks
// skipped, its text copied by `copyLine` (which returns the position after
// the line's terminator), its trailing blanks trimmed.
template <class CopyLine>
std::size_t normaliseEachLine(char* data, std::size_t size, CopyLine copyLine) noexcept {
    const char* const end = data + size;
    char* out = data;
    const char* p = data;
    while (p < end) {
#if defined(__GNUC__)
        __builtin_prefetch(p + 2048);
#endif
        const char* a = skipLeadingSpace(p, end);
        char* const lineOut = out;
        p = copyLine(a, end, out);
        out = lineOut + trimmedLength(lineOut, static_cast<std::size_t>(out - lineOut));
    }
    return static_cast<std::size_t>(out - data);
}

}  // namespace crunchwatch::normalise_lines
