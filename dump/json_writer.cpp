#include "dump/json_writer.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace crunchwatch {
namespace {

constexpr std::string_view replacement = "\xEF\xBF\xBD";
// What a byte of a string needs in JSON.
enum class Byte : unsigned char { plain, escaped, notAscii };
constexpr std::array<Byte, 256> byteKinds = [] {
    std::array<Byte, 256> kinds{};
    for (std::size_t c = 0; c < 0x20; ++c) kinds[c] = Byte::escaped;
    kinds['"'] = Byte::escaped;
    kinds['\\'] = Byte::escaped;
    for (std::size_t c = 0x80; c < 0x100; ++c) kinds[c] = Byte::notAscii;
    return kinds;
}();

// How many bytes at the start of `s` are plain, eight at a time: whether a
// word holds a byte above 0x7F, below 0x20, a quote or a backslash is a few
// operations on the word.
std::size_t plainPrefix(std::string_view s) {
    constexpr std::uint64_t ones = 0x0101010101010101, highs = 0x8080808080808080;
    const auto anyZero = [](std::uint64_t v) { return (v - ones) & ~v & highs; };
    std::size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
        std::uint64_t w;
        std::memcpy(&w, s.data() + i, sizeof w);
        if ((w & highs) | ((w - ones * 0x20) & ~w & highs) | anyZero(w ^ (ones * '"')) | anyZero(w ^ (ones * '\\')))
            break;
    }
    while (i < s.size() && byteKinds[static_cast<unsigned char>(s[i])] == Byte::plain) ++i;
    return i;
}

// Length of the well-formed sequence at s[i], or, negated, the length of the
// maximal ill-formed subpart there (at least 1).
int sequenceAt(std::string_view s, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = byte(i);
    if (c < 0x80) return 1;
    int length;
    unsigned char lo = 0x80, hi = 0xBF;  // the allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) length = 2;
    else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;  // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
    } else
        return -1;
    int valid = 1;
    for (int k = 1; k < length; ++k) {
        const std::size_t at = i + static_cast<std::size_t>(k);
        if (at >= s.size()) break;
        const unsigned char b = byte(at);
        const unsigned char min = k == 1 ? lo : 0x80, max = k == 1 ? hi : 0xBF;
        if (b < min || b > max) break;
        ++valid;
    }
    return valid == length ? length : -valid;
}

}  // namespace

std::string validUtf8(std::string_view s) {
    // Nearly every value is plain ASCII: nothing to check byte by byte.
    if (std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return std::string(s);
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const int n = sequenceAt(s, i);
        if (n > 0) {
            out.append(s.substr(i, static_cast<std::size_t>(n)));
            i += static_cast<std::size_t>(n);
        } else {
            out.append(replacement);
            i += static_cast<std::size_t>(-n);
        }
    }
    return out;
}

void JsonWriter::beforeValue() {
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (!m_hasValue.empty()) {
        if (m_hasValue.back()) put(',');
        m_hasValue.back() = true;
    }
}

void JsonWriter::afterValue() {
    if (m_hasValue.empty()) flush();
}

void JsonWriter::flush() {
    m_out.write(m_buffer.data(), static_cast<std::streamsize>(m_used));
    m_used = 0;
}

void JsonWriter::put(std::string_view s) {
    if (s.size() > m_buffer.size() - m_used) {
        flush();
        if (s.size() > m_buffer.size()) {
            m_out.write(s.data(), static_cast<std::streamsize>(s.size()));
            return;
        }
    }
    std::memcpy(m_buffer.data() + m_used, s.data(), s.size());
    m_used += s.size();
}

void JsonWriter::beginObject() {
    beforeValue();
    put('{');
    m_hasValue.push_back(false);
}
void JsonWriter::endObject() {
    m_hasValue.pop_back();
    put('}');
    afterValue();
}
void JsonWriter::beginArray() {
    beforeValue();
    put('[');
    m_hasValue.push_back(false);
}
void JsonWriter::endArray() {
    m_hasValue.pop_back();
    put(']');
    afterValue();
}

void JsonWriter::key(std::string_view k) {
    beforeValue();
    writeQuoted(k);
    put(':');
    m_afterKey = true;
}

void JsonWriter::string(std::string_view s) {
    beforeValue();
    writeQuoted(s);
    afterValue();
}

void JsonWriter::optionalString(const std::optional<std::string_view>& s) {
    if (s) string(*s);
    else null();
}

void JsonWriter::null() {
    beforeValue();
    put("null");
    afterValue();
}

void JsonWriter::boolean(bool v) {
    beforeValue();
    put(v ? "true" : "false");
    afterValue();
}

void JsonWriter::integer(long long v) {
    beforeValue();
    std::array<char, 24> buf;
    const auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), v);
    put(std::string_view(buf.data(), static_cast<std::size_t>(end - buf.data())));
    afterValue();
}

void JsonWriter::number(double v) {
    beforeValue();
    if (!std::isfinite(v)) {
        put("null");
    } else {
        std::array<char, 32> buf;
        const auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), v);
        put(std::string_view(buf.data(), static_cast<std::size_t>(end - buf.data())));
    }
    afterValue();
}

void JsonWriter::wholeNumber(double v) {
    if (std::trunc(v) == v && std::fabs(v) < 0x1p53) integer(static_cast<long long>(v));
    else number(v);
}

void JsonWriter::writeQuoted(std::string_view raw) {
    static constexpr char hex[] = "0123456789abcdef";
    const auto kind = [](char c) { return byteKinds[static_cast<unsigned char>(c)]; };
    // Nearly every text is plain ASCII with nothing to escape: copied whole.
    std::size_t i = plainPrefix(raw);
    if (i == raw.size() && raw.size() + 2 <= m_buffer.size() - m_used) {
        char* at = m_buffer.data() + m_used;
        *at = '"';
        std::memcpy(at + 1, raw.data(), raw.size());
        at[raw.size() + 1] = '"';
        m_used += raw.size() + 2;
        return;
    }
    put('"');
    if (i == raw.size()) {
        put(raw);
        put('"');
        return;
    }
    // Made valid UTF-8 first when it is not ASCII; the plain ASCII before
    // `i` stays as it was.
    std::string valid;
    if (std::any_of(raw.begin() + static_cast<std::ptrdiff_t>(i), raw.end(),
                    [&](char c) { return kind(c) == Byte::notAscii; }))
        raw = valid = validUtf8(raw);
    std::size_t plain = 0;  // where the run of bytes copied as they are begins
    for (; i < raw.size(); ++i) {
        const char ch = raw[i];
        if (kind(ch) != Byte::escaped) continue;
        put(raw.substr(plain, i - plain));
        plain = i + 1;
        switch (ch) {
            case '"': put("\\\""); break;
            case '\\': put("\\\\"); break;
            case '\n': put("\\n"); break;
            case '\r': put("\\r"); break;
            case '\t': put("\\t"); break;
            case '\b': put("\\b"); break;
            case '\f': put("\\f"); break;
            default: {
                const auto c = static_cast<unsigned char>(ch);
                put("\\u00");
                put(hex[c >> 4]);
                put(hex[c & 0xF]);
            }
        }
    }
    put(raw.substr(plain));
    put('"');
}

}  // namespace crunchwatch
