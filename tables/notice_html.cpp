// A notice's description is HTML written by a project, shown by a desktop
// program: it is taken apart here by a small scanner and put together again
// from what is known to be harmless, never handed on as it came.

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>

#include "state/redact.hpp"
#include "tables/client_words.hpp"

namespace crunchwatch {
namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool isAlnum(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

std::string lowered(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), lower);
    return out;
}

// Elements whose content is not text for a reader: dropped with it.
constexpr std::array<std::string_view, 12> droppedWithContent{"script", "style",    "iframe", "object",
                                                              "embed",  "template", "noscript", "svg",
                                                              "math",   "textarea", "title",  "head"};
// Elements that end a line of text.
constexpr std::array<std::string_view, 17> blockElements{"p",  "div", "br", "li", "tr", "h1", "h2", "h3", "h4",
                                                         "h5", "h6",  "ul", "ol", "blockquote", "pre", "table",
                                                         "hr"};
// Elements kept, without attributes, in the rebuilt HTML (and a, on its own terms).
constexpr std::array<std::string_view, 19> keptElements{"p",  "br", "b",  "strong", "i",  "em", "u",
                                                        "ul", "ol", "li", "pre",    "code", "h1", "h2",
                                                        "h3", "h4", "h5", "h6",     "blockquote"};

template <std::size_t N>
bool oneOf(const std::array<std::string_view, N>& names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

void appendUtf8(std::string& out, std::uint32_t c) {
    if (c == 0 || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Text with its character references replaced by what they stand for; an
// unknown or malformed one stays as written.
std::string decoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] != '&') {
            out += text[i++];
            continue;
        }
        // References are short: looking further would make a text of
        // ampersands cost the square of its length.
        const std::size_t semi = text.substr(0, std::min(text.size(), i + 12)).find(';', i);
        if (semi == std::string_view::npos) {
            out += text[i++];
            continue;
        }
        const std::string_view name = text.substr(i + 1, semi - i - 1);
        static constexpr std::pair<std::string_view, std::string_view> named[] = {
            {"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}, {"nbsp", "\xC2\xA0"}};
        bool done = false;
        for (const auto& [n, v] : named)
            if (name == n) out += v, done = true;
        if (!done && name.size() > 1 && name[0] == '#') {
            const bool hex = name[1] == 'x' || name[1] == 'X';
            std::uint32_t c = 0;
            const char* first = name.data() + (hex ? 2 : 1);
            const auto [end, ec] = std::from_chars(first, name.data() + name.size(), c, hex ? 16 : 10);
            if (ec == std::errc() && end == name.data() + name.size() && end != first) appendUtf8(out, c), done = true;
        }
        if (!done) out.append(text.substr(i, semi + 1 - i));
        i = semi + 1;
    }
    return out;
}

void escapeInto(std::string& out, std::string_view text) {
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
}

struct Tag {
    std::string name;  // lower case
    bool closing = false;
    std::string_view attributes;
    std::size_t end = 0;  // just after its '>'
};

// The tag at `at` (a '<' followed by a letter or '/'), or nothing: then the
// '<' is text.
std::optional<Tag> tagAt(std::string_view html, std::size_t at) {
    std::size_t p = at + 1;
    Tag tag;
    if (p < html.size() && html[p] == '/') tag.closing = true, ++p;
    const std::size_t nameBegin = p;
    while (p < html.size() && isAlnum(html[p])) ++p;
    if (p == nameBegin || !isAlnum(html[nameBegin]) || (html[nameBegin] >= '0' && html[nameBegin] <= '9'))
        return std::nullopt;
    tag.name = lowered(html.substr(nameBegin, p - nameBegin));
    const std::size_t attributesBegin = p;
    char quote = 0;
    for (; p < html.size(); ++p) {
        const char c = html[p];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            break;
        }
    }
    tag.attributes = html.substr(attributesBegin, p - attributesBegin);
    tag.end = p < html.size() ? p + 1 : html.size();
    return tag;
}

// The value of attribute `name` in a tag's attributes, decoded.
std::optional<std::string> attribute(std::string_view attributes, std::string_view name) {
    std::size_t p = 0;
    while (p < attributes.size()) {
        while (p < attributes.size() && (isBlank(attributes[p]) || attributes[p] == '/')) ++p;
        const std::size_t nameBegin = p;
        while (p < attributes.size() && !isBlank(attributes[p]) && attributes[p] != '=' && attributes[p] != '/') ++p;
        const std::string found = lowered(attributes.substr(nameBegin, p - nameBegin));
        while (p < attributes.size() && isBlank(attributes[p])) ++p;
        std::string_view value;
        if (p < attributes.size() && attributes[p] == '=') {
            ++p;
            while (p < attributes.size() && isBlank(attributes[p])) ++p;
            if (p < attributes.size() && (attributes[p] == '"' || attributes[p] == '\'')) {
                const char quote = attributes[p++];
                const std::size_t end = std::min(attributes.find(quote, p), attributes.size());
                value = attributes.substr(p, end - p);
                p = end + 1;
            } else {
                const std::size_t begin = p;
                while (p < attributes.size() && !isBlank(attributes[p])) ++p;
                value = attributes.substr(begin, p - begin);
            }
        }
        if (found == name) return decoded(value);
        if (p == nameBegin) ++p;
    }
    return std::nullopt;
}

// A link a click may open: http, https or mailto, nothing else (javascript:,
// data:, file: and the rest are dropped). Blanks and controls inside the
// scheme would let a browser read it otherwise: none are allowed.
bool safeLink(const std::string& href) {
    const std::string l = lowered(href);
    if (std::any_of(l.begin(), l.end(), [](char c) { return static_cast<unsigned char>(c) < 0x21; })) return false;
    return l.starts_with("http://") || l.starts_with("https://") || l.starts_with("mailto:");
}

// Where the content of a dropped element ends: after its closing tag, or the end.
std::size_t skipElement(std::string_view html, std::size_t from, const std::string& name) {
    const std::string close = "</" + name;
    for (std::size_t p = from; (p = html.find("</", p)) != std::string_view::npos; p += 2)
        if (lowered(html.substr(p, close.size())) == close) {
            const std::size_t gt = html.find('>', p);
            return gt == std::string_view::npos ? html.size() : gt + 1;
        }
    return html.size();
}

enum class Output { plain, html };

// One walk serves both outputs: text decoded (and escaped again for HTML),
// tags dropped or rebuilt.
std::string rebuilt(std::string_view html, Output output) {
    std::string out;
    int openLinks = 0;
    std::size_t i = 0;
    // A secret the project quoted with its markup escaped (&lt;authenticator&gt;)
    // is one once decoded: it is hidden then.
    const auto text = [&](std::string_view t) {
        std::string d = decoded(t);
        if (mayHoldSecret(d)) d = hideSecrets(d);
        if (output == Output::html) escapeInto(out, d);
        else out += d;
    };
    while (i < html.size()) {
        const std::size_t lt = html.find('<', i);
        text(html.substr(i, (lt == std::string_view::npos ? html.size() : lt) - i));
        if (lt == std::string_view::npos) break;
        if (html.compare(lt, 4, "<!--") == 0) {
            const std::size_t end = html.find("-->", lt + 4);
            i = end == std::string_view::npos ? html.size() : end + 3;
            continue;
        }
        if (html.compare(lt, 2, "<!") == 0 || html.compare(lt, 2, "<?") == 0) {
            const std::size_t end = html.find('>', lt);
            i = end == std::string_view::npos ? html.size() : end + 1;
            continue;
        }
        const auto tag = tagAt(html, lt);
        if (!tag) {
            text("<");
            i = lt + 1;
            continue;
        }
        i = tag->end;
        if (!tag->closing && oneOf(droppedWithContent, tag->name)) {
            i = skipElement(html, i, tag->name);
            continue;
        }
        if (output == Output::plain) {
            if (oneOf(blockElements, tag->name)) out += '\n';
            continue;
        }
        if (tag->name == "a") {
            if (tag->closing && openLinks > 0) {
                out += "</a>";
                --openLinks;
            } else if (!tag->closing) {
                const auto href = attribute(tag->attributes, "href");
                if (href && safeLink(*href)) {
                    out += "<a href=\"";
                    escapeInto(out, *href);
                    out += "\">";
                    ++openLinks;
                }
            }
        } else if (oneOf(keptElements, tag->name)) {
            out += tag->closing ? "</" : "<";
            out += tag->name;
            out += '>';
        } else if (oneOf(blockElements, tag->name) && !tag->closing) {
            out += "<br>";
        }
    }
    while (openLinks-- > 0) out += "</a>";
    return out;
}

// Plain text with blanks folded: runs of blanks to one space, at most one
// empty line in a row, no blanks at a line's ends.
std::string folded(const std::string& text) {
    std::string out;
    int feeds = 0;
    bool blank = false;
    for (char c : text) {
        if (c == '\n') {
            while (!out.empty() && out.back() == ' ') out.pop_back();
            if (!out.empty()) ++feeds;
            blank = false;
            continue;
        }
        if (isBlank(c)) {
            blank = true;
            continue;
        }
        if (feeds > 0) out.append(static_cast<std::size_t>(std::min(feeds, 2)), '\n');
        else if (blank && !out.empty()) out += ' ';
        feeds = 0;
        blank = false;
        out += c;
    }
    return out;
}

}  // namespace

std::string plainTextOfHtml(std::string_view html) {
    std::string text = folded(rebuilt(html, Output::plain));
    return mayHoldSecret(text) ? hideSecrets(text) : text;  // one quoted across tags
}

std::string safeHtml(std::string_view html) { return rebuilt(html, Output::html); }

}  // namespace crunchwatch
