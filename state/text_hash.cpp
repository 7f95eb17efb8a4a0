#include "state/text_hash.hpp"

#include <cstring>

namespace crunchwatch {

// A hash of the whole text, sixteen bytes at a time in two independent lanes.
std::uint64_t hashOf(std::string_view s) noexcept {
    constexpr std::uint64_t k1 = 0x9E3779B97F4A7C15ULL, k2 = 0xBF58476D1CE4E5B9ULL;
    const auto rotate = [](std::uint64_t x, int r) { return (x << r) | (x >> (64 - r)); };
    std::uint64_t a = s.size() * k1, b = k2;
    const char* p = s.data();
    std::size_t n = s.size();
    for (; n >= 16; p += 16, n -= 16) {
        std::uint64_t w1, w2;
        std::memcpy(&w1, p, 8);
        std::memcpy(&w2, p + 8, 8);
        a = (rotate(a, 23) ^ w1) * k1;
        b = (rotate(b, 29) ^ w2) * k2;
    }
    if (n >= 8) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        a = (rotate(a, 23) ^ w) * k1;
        p += 8;
        n -= 8;
    }
    if (n != 0) {
        std::uint64_t w = 0;
        std::memcpy(&w, p, n);
        b = (rotate(b, 29) ^ w) * k2;
    }
    std::uint64_t h = (a ^ rotate(b, 31)) * 0x94D049BB133111EBULL;
    h ^= h >> 29;
    h *= 0xD6E8FEB86659FD93ULL;
    return h ^ (h >> 32);
}

}  // namespace crunchwatch
