#include "state/redact.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <vector>

namespace crunchwatch {
namespace {

// The names a secret goes by, as an element or a URL parameter: the
// account's key, a password or its hash, and the proxy's passwords.
constexpr std::array<std::string_view, 9> secretNames{
    "authenticator", "account_key", "passwd_hash", "password", "passwd", "gui_rpc_password", "auth",
    "http_user_passwd", "socks5_user_passwd"};

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool isNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

bool isSecretName(std::string_view name) {
    if (name.empty() || name.size() > 20) return false;
    char folded[20];
    std::transform(name.begin(), name.end(), folded, lower);
    const std::string_view n(folded, name.size());
    return std::find(secretNames.begin(), secretNames.end(), n) != secretNames.end();
}

// A secret in `text` at `at` (the '<' of an element, or the '=' of a
// parameter): where its value begins and ends; nothing when there is none.
struct Span {
    std::size_t begin = 0, end = 0;
};

std::optional<Span> elementValue(std::string_view text, std::size_t lt) {
    std::size_t nameEnd = lt + 1;
    while (nameEnd < text.size() && isNameChar(text[nameEnd])) ++nameEnd;
    if (nameEnd >= text.size() || text[nameEnd] != '>' || !isSecretName(text.substr(lt + 1, nameEnd - lt - 1)))
        return std::nullopt;
    const std::size_t begin = nameEnd + 1;
    // Up to the next tag, or the line's end when the value runs to it.
    std::size_t end = text.find_first_of("<\n", begin);
    if (end == std::string_view::npos) end = text.size();
    return Span{begin, end};
}

std::optional<Span> parameterValue(std::string_view text, std::size_t eq) {
    std::size_t nameBegin = eq;
    while (nameBegin > 0 && isNameChar(text[nameBegin - 1])) --nameBegin;
    if (!isSecretName(text.substr(nameBegin, eq - nameBegin))) return std::nullopt;
    std::size_t begin = eq + 1;
    if (begin < text.size() && (text[begin] == '"' || text[begin] == '\'')) {
        const char quote = text[begin++];
        std::size_t end = begin;
        while (end < text.size() && text[end] != quote && text[end] != '\n') ++end;
        return Span{begin, end};
    }
    std::size_t end = begin;
    while (end < text.size() && !std::strchr("&;\"' \t\r\n<>", text[end])) ++end;
    return Span{begin, end};
}

// Every secret's value in `text`, in order; `firstOnly` stops at the first.
std::vector<Span> secretsIn(std::string_view text, bool firstOnly) {
    std::vector<Span> found;
    for (char mark : {'<', '='}) {
        for (const char* p = text.data(); (p = static_cast<const char*>(std::memchr(
                                               p, mark, static_cast<std::size_t>(text.data() + text.size() - p))));
             ++p) {
            const std::size_t at = static_cast<std::size_t>(p - text.data());
            const auto span = mark == '<' ? elementValue(text, at) : parameterValue(text, at);
            // A value already hidden is no secret: hiding twice changes nothing.
            if (span && span->end > span->begin && text.substr(span->begin, span->end - span->begin) != hiddenSecret) {
                found.push_back(*span);
                if (firstOnly) return found;
            }
        }
    }
    std::sort(found.begin(), found.end(), [](Span a, Span b) { return a.begin < b.begin; });
    return found;
}

}  // namespace

bool mayHoldSecret(std::string_view text) noexcept {
    try {
        return !secretsIn(text, true).empty();
    } catch (...) {
        return true;  // out of memory for one Span: hide to be safe
    }
}

std::string hideSecrets(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t copied = 0;
    for (const Span& s : secretsIn(text, false)) {
        if (s.begin < copied) continue;  // inside a value already hidden
        out.append(text.substr(copied, s.begin - copied));
        out.append(hiddenSecret);
        copied = s.end;
    }
    out.append(text.substr(copied));
    return out;
}

}  // namespace crunchwatch
