#include "dump/json_writer.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace crunchwatch {
namespace {

constexpr std::string_view replacement = "\xEF\xBF\xBD";
constexpr std::size_t flushSize = 1 << 16;

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
        if (m_hasValue.back()) m_buffer += ',';
        m_hasValue.back() = true;
    }
}

void JsonWriter::afterValue() {
    if (m_hasValue.empty() || m_buffer.size() >= flushSize) flush();
}

void JsonWriter::flush() {
    m_out.write(m_buffer.data(), static_cast<std::streamsize>(m_buffer.size()));
    m_buffer.clear();
}

void JsonWriter::beginObject() {
    beforeValue();
    m_buffer += '{';
    m_hasValue.push_back(false);
}
void JsonWriter::endObject() {
    m_hasValue.pop_back();
    m_buffer += '}';
    afterValue();
}
void JsonWriter::beginArray() {
    beforeValue();
    m_buffer += '[';
    m_hasValue.push_back(false);
}
void JsonWriter::endArray() {
    m_hasValue.pop_back();
    m_buffer += ']';
    afterValue();
}

void JsonWriter::key(std::string_view k) {
    beforeValue();
    writeQuoted(k);
    m_buffer += ':';
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
    m_buffer += "null";
    afterValue();
}

void JsonWriter::boolean(bool v) {
    beforeValue();
    m_buffer += v ? "true" : "false";
    afterValue();
}

void JsonWriter::integer(long long v) {
    beforeValue();
    std::array<char, 24> buf;
    const auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), v);
    m_buffer.append(buf.data(), static_cast<std::size_t>(end - buf.data()));
    afterValue();
}

void JsonWriter::number(double v) {
    beforeValue();
    if (!std::isfinite(v)) {
        m_buffer += "null";
    } else {
        std::array<char, 32> buf;
        const auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), v);
        m_buffer.append(buf.data(), static_cast<std::size_t>(end - buf.data()));
    }
    afterValue();
}

void JsonWriter::wholeNumber(double v) {
    if (std::trunc(v) == v && std::fabs(v) < 0x1p53) integer(static_cast<long long>(v));
    else number(v);
}

void JsonWriter::writeQuoted(std::string_view raw) {
    static constexpr char hex[] = "0123456789abcdef";
    // Nearly every value is plain ASCII: checked as it is copied, and made
    // valid first only when it is not.
    std::string valid;
    if (!std::all_of(raw.begin(), raw.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        raw = valid = validUtf8(raw);
    m_buffer += '"';
    std::size_t plain = 0;  // where the run of characters copied as they are begins
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const char ch = raw[i];
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && ch != '"' && ch != '\\') continue;
        m_buffer.append(raw, plain, i - plain);
        plain = i + 1;
        switch (ch) {
            case '"': m_buffer += "\\\""; break;
            case '\\': m_buffer += "\\\\"; break;
            case '\n': m_buffer += "\\n"; break;
            case '\r': m_buffer += "\\r"; break;
            case '\t': m_buffer += "\\t"; break;
            case '\b': m_buffer += "\\b"; break;
            case '\f': m_buffer += "\\f"; break;
            default:
                m_buffer += "\\u00";
                m_buffer += hex[c >> 4];
                m_buffer += hex[c & 0xF];
        }
    }
    m_buffer.append(raw, plain, raw.size() - plain);
    m_buffer += '"';
}

}  // namespace crunchwatch
