#pragma once
// Slow references for the readers of the client's words, written the obvious
// way, a character at a time, apart from the readers' own code.

#include <array>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "state/redact.hpp"

namespace crunchwatch::fuzz {

struct RefEntry {
    std::string moment, project, text;
};

inline bool refIsMoment(std::string_view line) {
    static constexpr std::string_view shape = "00-Aaa-0000 00:00:00";
    if (line.size() < shape.size()) return false;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        const char c = line[i];
        const bool ok = shape[i] == '0'   ? (c >= '0' && c <= '9')
                        : shape[i] == 'A' || shape[i] == 'a' ? ((c | 0x20) >= 'a' && (c | 0x20) <= 'z')
                                                               : c == shape[i];
        if (!ok) return false;
    }
    return line.size() == shape.size() || line[shape.size()] == ' ' || line[shape.size()] == '\r';
}

// Lines at LF (no empty last line after a final LF), secrets hidden in
// each; an entry per line that begins with a moment, or for the lines before
// the first one; the others join the entry before them.
inline std::vector<RefEntry> referenceEntries(std::string_view text) {
    std::vector<std::string> lines;
    std::string current;
    for (char c : text) {
        if (c == '\n') lines.push_back(hideSecrets(current)), current.clear();
        else current += c;
    }
    if (!current.empty()) lines.push_back(hideSecrets(current));
    std::vector<RefEntry> entries;
    bool lastHadCr = false;
    const auto finish = [&] {
        if (!entries.empty() && lastHadCr && !entries.back().text.empty() && entries.back().text.back() == '\r')
            entries.back().text.pop_back();
    };
    for (const std::string& raw : lines) {
        std::string_view line = raw;
        const bool cr = !line.empty() && line.back() == '\r';
        if (cr) line.remove_suffix(1);
        if (!refIsMoment(line) && !entries.empty()) {
            entries.back().text += '\n';
            entries.back().text += raw;
            lastHadCr = cr;
            continue;
        }
        finish();
        RefEntry e;
        std::size_t textStart = 0;
        if (refIsMoment(line)) {
            e.moment = std::string(line.substr(0, 20));
            std::size_t i = 20;
            if (i < line.size() && line[i] == ' ') ++i;
            if (i < line.size() && line[i] == '[') {
                std::size_t j = i + 1;
                while (j < line.size() && line[j] != ']') ++j;
                if (j < line.size()) {
                    e.project = std::string(line.substr(i + 1, j - i - 1));
                    if (e.project == "---") e.project.clear();
                    i = j + 1;
                    if (i < line.size() && line[i] == ' ') ++i;
                }
            }
            textStart = i;
        }
        e.text = raw.substr(std::min(textStart, raw.size()));
        entries.push_back(std::move(e));
        lastHadCr = cr;
    }
    finish();
    return entries;
}

inline bool at(std::string_view text, std::size_t i, std::string_view what) {
    return text.size() >= i && text.substr(i).starts_with(what);
}

// Where `close` first stands in `text` from `i`, CDATA sections skipped; npos.
inline std::size_t refFind(std::string_view text, std::size_t i, std::string_view close) {
    for (; i < text.size(); ++i) {
        if (at(text, i, "<![CDATA[")) {
            std::size_t j = i + 9;
            while (j < text.size() && !at(text, j, "]]>")) ++j;
            if (j >= text.size()) return std::string_view::npos;
            i = j + 2;
            continue;
        }
        if (at(text, i, close)) return i;
    }
    return std::string_view::npos;
}

inline std::vector<std::string_view> refBlocks(std::string_view text, std::string_view open, std::string_view close) {
    std::vector<std::string_view> blocks;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!at(text, i, open)) continue;
        const std::size_t after = i + open.size();
        if (after < text.size() && text[after] != '>' && text[after] != ' ') continue;
        std::size_t end = refFind(text, after, close);
        if (end == std::string_view::npos) end = text.size();
        blocks.push_back(text.substr(i, end - i));
        i = end == text.size() ? end : end - 1;
    }
    return blocks;
}

inline std::string refUnwrap(std::string_view value) {
    std::string out;
    for (std::size_t i = 0; i < value.size();) {
        if (at(value, i, "<![CDATA[")) {
            std::size_t j = i + 9;
            while (j < value.size() && !at(value, j, "]]>")) out += value[j++];
            i = j + 3;
        } else {
            out += value[i++];
        }
    }
    return hideSecrets(out);
}

inline std::string refChild(std::string_view block, const std::string& name) {
    const std::string open = "<" + name + ">", close = "</" + name + ">";
    const std::size_t begin = refFind(block, 0, open);
    if (begin == std::string_view::npos) return {};
    const std::size_t from = begin + open.size();
    std::size_t end = refFind(block, from, close);
    if (end == std::string_view::npos) end = block.size();
    return refUnwrap(block.substr(from, end - from));
}

// title, description, create_time, project_name, guid of each notice.
inline std::vector<std::array<std::string, 5>> referenceNotices(std::string_view text) {
    std::vector<std::array<std::string, 5>> out;
    for (std::string_view b : refBlocks(text, "<notice", "</notice>"))
        out.push_back({refChild(b, "title"), refChild(b, "description"), refChild(b, "create_time"),
                       refChild(b, "project_name"), refChild(b, "guid")});
    return out;
}

inline std::vector<std::pair<std::string, std::string>> referenceMessages(std::string_view text) {
    std::vector<std::pair<std::string, std::string>> out;
    for (std::string_view b : refBlocks(text, "<message", "</message>")) {
        std::size_t gt = 0;
        while (gt < b.size() && b[gt] != '>') ++gt;
        if (gt == b.size()) continue;
        const std::string_view tag = b.substr(0, gt);
        std::string priority;
        for (std::size_t i = 0; i < tag.size(); ++i)
            if (at(tag, i, "priority=\"")) {
                std::size_t j = i + 10;
                std::string v;
                while (j < tag.size() && tag[j] != '"') v += tag[j++];
                if (j < tag.size()) priority = v;
                break;
            }
        std::string_view value = b.substr(gt + 1);
        std::string body;
        if (at(value, 0, "<![CDATA[")) {
            for (std::size_t j = 9; j < value.size() && !at(value, j, "]]>"); ++j) body += value[j];
        } else {
            body = std::string(value);
        }
        out.emplace_back(priority, hideSecrets(body));
    }
    return out;
}

// Rebuilt HTML is harmless: every tag is a kept one without attributes, or a
// link to an http, https or mailto address; no '>' stands outside a tag.
inline bool harmlessHtml(std::string_view html) {
    static const char* kept[] = {"p", "br", "b", "strong", "i", "em", "u", "ul", "ol", "li", "pre", "code",
                                 "h1", "h2", "h3", "h4", "h5", "h6", "blockquote", "a"};
    for (std::size_t i = 0; i < html.size(); ++i) {
        if (html[i] == '>') return false;
        if (html[i] != '<') continue;
        std::size_t j = i + 1;
        while (j < html.size() && html[j] != '>') ++j;
        if (j == html.size()) return false;
        std::string_view tag = html.substr(i + 1, j - i - 1);
        i = j;
        if (tag.starts_with("a href=\"")) {
            std::string_view href = tag.substr(8);
            if (href.empty() || href.back() != '"') return false;
            href.remove_suffix(1);
            if (href.find_first_of("\"<>") != std::string_view::npos) return false;
            std::string lower(href.substr(0, 8));
            for (char& c : lower) c = static_cast<char>((c >= 'A' && c <= 'Z') ? c + 32 : c);
            if (!(lower.starts_with("http://") || lower.starts_with("https://") || lower.starts_with("mailto:")))
                return false;
            continue;
        }
        if (tag.starts_with("/")) tag.remove_prefix(1);
        bool known = false;
        for (const char* k : kept) known = known || tag == k;
        if (!known) return false;
    }
    return true;
}

}  // namespace crunchwatch::fuzz
