#pragma once
// A strict reader of one JSON document (RFC 8259), enough to tell whether the
// dump's JSON report is one. Depth is bounded by the report's own shape.

#include <cctype>
#include <string_view>

namespace crunchwatch::fuzz {

class JsonChecker final {
public:
    explicit JsonChecker(std::string_view text) : m_s(text) {}
    bool document() {
        if (!value(0)) return false;
        blanks();
        return m_i == m_s.size();
    }

private:
    bool value(int depth) {
        blanks();
        if (depth > 16 || m_i >= m_s.size()) return false;
        switch (m_s[m_i]) {
            case '{': return container(depth, '}', true);
            case '[': return container(depth, ']', false);
            case '"': return string();
            case 't': return word("true");
            case 'f': return word("false");
            case 'n': return word("null");
            default: return number();
        }
    }
    bool container(int depth, char close, bool isObject) {
        ++m_i;
        blanks();
        if (m_i < m_s.size() && m_s[m_i] == close) return ++m_i, true;
        for (;;) {
            if (isObject) {
                blanks();
                if (m_i >= m_s.size() || m_s[m_i] != '"' || !string()) return false;
                blanks();
                if (m_i >= m_s.size() || m_s[m_i++] != ':') return false;
            }
            if (!value(depth + 1)) return false;
            blanks();
            if (m_i >= m_s.size()) return false;
            const char c = m_s[m_i++];
            if (c == close) return true;
            if (c != ',') return false;
        }
    }
    bool string() {
        ++m_i;
        while (m_i < m_s.size()) {
            const auto c = static_cast<unsigned char>(m_s[m_i++]);
            if (c == '"') return true;
            if (c < 0x20) return false;
            if (c != '\\') continue;
            if (m_i >= m_s.size()) return false;
            const char e = m_s[m_i++];
            if (e == 'u') {
                for (int k = 0; k < 4; ++k, ++m_i)
                    if (m_i >= m_s.size() || !std::isxdigit(static_cast<unsigned char>(m_s[m_i]))) return false;
            } else if (std::string_view("\"\\/bfnrt").find(e) == std::string_view::npos) {
                return false;
            }
        }
        return false;
    }
    bool number() {
        const std::size_t start = m_i;
        if (m_i < m_s.size() && m_s[m_i] == '-') ++m_i;
        const auto digits = [&] {
            const std::size_t from = m_i;
            while (m_i < m_s.size() && m_s[m_i] >= '0' && m_s[m_i] <= '9') ++m_i;
            return m_i - from;
        };
        const std::size_t intStart = m_i;
        const std::size_t intDigits = digits();
        if (intDigits == 0 || (intDigits > 1 && m_s[intStart] == '0')) return false;
        if (m_i < m_s.size() && m_s[m_i] == '.' && (++m_i, digits() == 0)) return false;
        if (m_i < m_s.size() && (m_s[m_i] == 'e' || m_s[m_i] == 'E')) {
            ++m_i;
            if (m_i < m_s.size() && (m_s[m_i] == '+' || m_s[m_i] == '-')) ++m_i;
            if (digits() == 0) return false;
        }
        return m_i > start;
    }
    bool word(std::string_view w) {
        if (m_s.substr(m_i, w.size()) != w) return false;
        m_i += w.size();
        return true;
    }
    void blanks() {
        while (m_i < m_s.size() && (m_s[m_i] == ' ' || m_s[m_i] == '\t' || m_s[m_i] == '\n' || m_s[m_i] == '\r')) ++m_i;
    }

    std::string_view m_s;
    std::size_t m_i = 0;
};

}  // namespace crunchwatch::fuzz
