#include "state/normalise.hpp"

#include <cstdint>
#include <cstring>

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

}  // namespace

std::size_t normaliseInPlace(char* data, std::size_t size) noexcept {
    const char* const end = data + size;
    char* out = data;
    const char* p = data;
    while (p < end) {
        const char* lineEnd = end;
        const char* next = endOfLine(p, end, lineEnd);
        const char* a = p;
        const char* b = lineEnd;
        while (a < b) {
            const std::size_t n = spaceAt(a, b);
            if (n == 0) break;
            a += n;
        }
        while (b > a) {
            const std::size_t n = spaceBefore(a, b);
            if (n == 0) break;
            b -= n;
        }
        const std::size_t len = static_cast<std::size_t>(b - a);
        if (len != 0 && out != a) std::memmove(out, a, len);
        out += len;
        p = next;
    }
    return static_cast<std::size_t>(out - data);
}

std::string normalised(std::string_view text) {
    std::string s(text);
    s.resize(normaliseInPlace(s.data(), s.size()));
    return s;
}

}  // namespace crunchwatch
