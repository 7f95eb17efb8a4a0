#pragma once
// References the fuzz targets check the real text handling against, each
// written from its rule the plain way rather than from the implementation:
// normalisation, the tag search, and well-formed UTF-8.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_support.hpp"

namespace crunchwatch::fuzz {

// Normalisation as its contract states it: split at LF, CR and U+2029, strip
// the trim set from both ends of each line, join.
CRUNCHWATCH_FUZZ_CHECK inline std::string referenceNormalised(std::string_view text) {
    static constexpr std::string_view trimSet[] = {
        "\t", "\n", "\v", "\f", "\r", " ", "\xC2\x85", "\xC2\xA0", "\xE1\x9A\x80", "\xE2\x80\x80", "\xE2\x80\x81",
        "\xE2\x80\x82", "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88",
        "\xE2\x80\x89", "\xE2\x80\x8A", "\xE2\x80\xA8", "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE2\x81\x9F", "\xE3\x80\x80",
    };
    static constexpr std::string_view paragraphSeparator = "\xE2\x80\xA9";
    static_assert(
        [] {
            const auto blankOrHigh = [](char c) { return static_cast<unsigned char>(c) <= ' ' || c & 0x80; };
            for (std::string_view t : trimSet)
                if (!blankOrHigh(t.front()) || !blankOrHigh(t.back())) return false;
            return true;
        }(),
        "every member begins and ends with a byte below '!' or above 0x7F");
    // The length of the member of the trim set that `line` starts or ends
    // with, or 0: none when the line begins (or ends) with a byte that no
    // member begins (or ends) with, and of the others only members whose
    // first byte matches are compared whole.
    const auto memberAt = [](std::string_view line, bool atEnd) CRUNCHWATCH_FUZZ_CHECK -> std::size_t {
        if (line.empty()) return 0;
        if (const auto c = static_cast<unsigned char>(atEnd ? line.back() : line.front()); c > ' ' && c < 0x80)
            return 0;
        for (std::string_view t : trimSet) {
            if (line.size() < t.size()) continue;
            const std::size_t at = atEnd ? line.size() - t.size() : 0;
            if (line[at] == t[0] && line.substr(at, t.size()) == t) return t.size();
        }
        return 0;
    };
    const auto trim = [&](std::string_view line) CRUNCHWATCH_FUZZ_CHECK {
        while (const std::size_t n = memberAt(line, false)) line.remove_prefix(n);
        while (const std::size_t n = memberAt(line, true)) line.remove_suffix(n);
        return line;
    };
    std::string out;
    out.reserve(text.size());
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size();) {
        std::size_t terminator = 0;
        if (i == text.size() || text[i] == '\n' || text[i] == '\r') terminator = 1;
        else if (text[i] == paragraphSeparator[0] && text.substr(i, 3) == paragraphSeparator) terminator = 3;
        if (terminator == 0) {
            ++i;
            continue;
        }
        out += trim(text.substr(start, i - start));
        i += terminator;
        start = i;
    }
    return out;
}

// findFrom against std::string_view::find: from the first occurrence through
// every next one (up to a bound), and from the positions near the end.
CRUNCHWATCH_FUZZ_CHECK inline void requireFindsLikeTheReference(
    std::string_view haystack, std::string_view needle,
    std::size_t (*findFrom)(std::string_view, std::string_view, std::size_t)) {
    const auto reference = [&](std::size_t from) CRUNCHWATCH_FUZZ_CHECK {
        return needle.empty() || from > haystack.size() ? std::string_view::npos : haystack.find(needle, from);
    };
    std::size_t from = 0;
    for (int hits = 0; hits < 100; ++hits) {
        const std::size_t at = findFrom(haystack, needle, from);
        require(at == reference(from), "findFrom differs from find");
        if (at == std::string_view::npos) break;
        from = at + 1;
    }
    const std::size_t tail = std::min(haystack.size(), needle.size() + 33);
    for (std::size_t f = haystack.size() - tail; f <= haystack.size() + 1; ++f)
        require(findFrom(haystack, needle, f) == reference(f), "findFrom differs from find near the end");
}

// Well-formed UTF-8, by decoding: each sequence's lead byte gives its length,
// the rest are continuation bytes, and the code point it spells needs that
// length (no overlong form), is no surrogate and is at most U+10FFFF.
CRUNCHWATCH_FUZZ_CHECK inline bool isWellFormedUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        // Reports are nearly all ASCII: eight bytes at a time while no byte
        // has its high bit set.
        std::uint64_t eight = 0;
        if (s.size() - i >= 8 && (std::memcpy(&eight, s.data() + i, 8), (eight & 0x8080808080808080u) == 0)) {
            i += 8;
            continue;
        }
        const auto lead = static_cast<unsigned char>(s[i]);
        std::size_t length = 1;
        char32_t point = lead, least = 0;
        if (lead >= 0xF0 && lead < 0xF8) length = 4, point = lead & 0x07u, least = 0x10000;
        else if (lead >= 0xE0 && lead < 0xF0) length = 3, point = lead & 0x0Fu, least = 0x800;
        else if (lead >= 0xC0 && lead < 0xE0) length = 2, point = lead & 0x1Fu, least = 0x80;
        else if (lead >= 0x80) return false;  // a continuation byte, or no lead byte at all
        if (s.size() - i < length) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(s[i + k]);
            if ((next & 0xC0u) != 0x80u) return false;
            point = (point << 6) | (next & 0x3Fu);
        }
        if (point < least || (point >= 0xD800 && point <= 0xDFFF) || point > 0x10FFFF) return false;
        i += length;
    }
    return true;
}

}  // namespace crunchwatch::fuzz
