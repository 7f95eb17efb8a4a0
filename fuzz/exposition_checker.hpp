#pragma once
// A strict reader of the Prometheus text format (0.0.4), enough to tell
// whether the metrics report is one that a scrape takes whole: every family
// declared once with its help and type before its samples, names and labels
// well formed, label values escaped, values that parse, no series twice.

#include <charconv>
#include <string_view>
#include <unordered_set>

namespace crunchwatch::fuzz {

class ExpositionChecker final {
public:
    // Whether `text` is such a document; `why` names the first fault.
    bool document(std::string_view text, std::string_view& why) {
        if (!text.empty() && text.back() != '\n') return fail(why, "the text does not end a line");
        while (!text.empty()) {
            const std::size_t end = text.find('\n');
            if (!line(text.substr(0, end), why)) return false;
            text.remove_prefix(end + 1);
        }
        return true;
    }

private:
    static bool fail(std::string_view& why, std::string_view what) {
        why = what;
        return false;
    }
    static bool nameChar(char c, bool first) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || (!first && c >= '0' && c <= '9');
    }
    // A name at the start of `s`, taken off it; empty when there is none.
    static std::string_view name(std::string_view& s) {
        std::size_t n = 0;
        while (n < s.size() && nameChar(s[n], n == 0)) ++n;
        const std::string_view got = s.substr(0, n);
        s.remove_prefix(n);
        return got;
    }

    bool line(std::string_view l, std::string_view& why) {
        if (l.starts_with("# HELP ")) {
            l.remove_prefix(7);
            m_helped = name(l);
            if (m_helped.empty() || !l.starts_with(' ')) return fail(why, "a HELP line without a name");
            return true;
        }
        if (l.starts_with("# TYPE ")) {
            l.remove_prefix(7);
            const std::string_view family = name(l);
            if (family.empty() || family != m_helped) return fail(why, "a TYPE line not after its HELP line");
            if (l != " gauge" && l != " counter") return fail(why, "an unknown type");
            if (!m_families.insert(family).second) return fail(why, "a family declared twice");
            m_family = family;
            return true;
        }
        std::string_view rest = l;
        if (name(rest) != m_family || m_family.empty()) return fail(why, "a sample outside its family");
        if (rest.starts_with('{')) {
            rest.remove_prefix(1);
            while (!rest.starts_with('}')) {
                if (name(rest).empty() || !rest.starts_with("=\"")) return fail(why, "a label without a name");
                rest.remove_prefix(2);
                for (;;) {
                    if (rest.empty() || rest[0] == '\n') return fail(why, "a label value not closed");
                    if (rest[0] == '"') break;
                    if (rest[0] == '\\') {
                        if (rest.size() < 2 || (rest[1] != '\\' && rest[1] != '"' && rest[1] != 'n'))
                            return fail(why, "an unknown escape in a label value");
                        rest.remove_prefix(1);
                    }
                    rest.remove_prefix(1);
                }
                rest.remove_prefix(1);
                if (rest.starts_with(',')) rest.remove_prefix(1);
                else if (!rest.starts_with('}')) return fail(why, "labels not separated");
            }
            rest.remove_prefix(1);
        }
        if (!rest.starts_with(' ')) return fail(why, "a sample without a value");
        if (!m_series.insert(l.substr(0, l.size() - rest.size())).second) return fail(why, "a series twice");
        rest.remove_prefix(1);
        if (rest == "+Inf" || rest == "-Inf" || rest == "NaN") return true;
        double v = 0;
        const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), v);
        if (ec != std::errc{} || end != rest.data() + rest.size() || rest.empty()) return fail(why, "a value that does not parse");
        return true;
    }

    std::string_view m_helped, m_family;
    std::unordered_set<std::string_view> m_families, m_series;
};

}  // namespace crunchwatch::fuzz
