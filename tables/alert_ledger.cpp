#include "tables/alert_ledger.hpp"

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <cstdlib>
#include <unordered_map>
#include <unordered_set>
#include <utility>


#include "state/atomic_file.hpp"
#include "state/file_read.hpp"

namespace crunchwatch {
namespace {

// A ledger larger than this is not ours: it is read as empty.
constexpr std::size_t mostLedgerBytes = std::size_t{4} << 20;

std::string oneLine(std::string_view text) {
    std::string s(text);
    std::replace_if(s.begin(), s.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
    return s;
}

// The rule, the project's URL and the task a key names.
Alert alertOfKey(std::string_view key, double since) {
    Alert a;
    a.since = since;
    const auto first = key.find('\t');
    const auto second = first == std::string_view::npos ? first : key.find('\t', first + 1);
    if (second == std::string_view::npos) return a;
    if (const auto rule = ruleNamed(key.substr(0, first))) a.rule = *rule;
    a.projectUrl = std::string(key.substr(first + 1, second - first - 1));
    a.task = std::string(key.substr(second + 1));
    return a;
}

}  // namespace

AlertLedger::Changes AlertLedger::update(const std::string& statePath, const std::vector<Alert>& active) {
    const std::string path = oneLine(statePath);
    Changes changes;
    std::unordered_map<std::string, std::size_t> activeKeys;  // key → its alert
    activeKeys.reserve(active.size());
    for (std::size_t i = 0; i < active.size(); ++i) activeKeys.emplace(active[i].key(), i);

    // Hashed, so that a file with thousands of alerts costs no more than
    // their number, however many were told before.
    std::unordered_set<std::string_view> told;
    std::vector<Line> kept;
    kept.reserve(m_lines.size() + active.size());
    for (Line& line : m_lines) {
        if (line.path == path && !activeKeys.count(line.key)) {
            changes.ended.push_back(alertOfKey(line.key, line.since));
            continue;
        }
        kept.push_back(std::move(line));
    }
    m_lines = std::move(kept);
    for (const Line& line : m_lines)
        if (line.path == path) told.insert(line.key);
    std::vector<std::pair<std::string, std::size_t>> begun;
    for (const auto& [key, i] : activeKeys)
        if (!told.count(key)) begun.emplace_back(key, i);
    // In the alerts' own order (newest first), not the hash's.
    std::sort(begun.begin(), begun.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
    for (auto& [key, i] : begun) {
        m_lines.push_back({path, std::move(key), active[i].since});
        changes.begun.push_back(active[i]);
    }
    // Other files' lines, oldest first, give way to this file's, so the
    // ledger stays small enough to be read whole at the next start.
    std::size_t bytes = 0;
    for (const Line& l : m_lines) bytes += l.path.size() + l.key.size() + 32;
    std::erase_if(m_lines, [&](const Line& l) {
        if (bytes <= mostLedgerBytes / 2 || l.path == path) return false;
        bytes -= l.path.size() + l.key.size() + 32;
        return true;
    });
    return changes;
}

std::string AlertLedger::text() const {
    std::string out;
    for (const Line& l : m_lines) {
        char number[32];
        const auto end = std::to_chars(number, number + sizeof number, l.since).ptr;
        out.append(l.path).append(1, '\t').append(l.key).append(1, '\t').append(number, end).append(1, '\n');
    }
    return out;
}

AlertLedger AlertLedger::fromText(std::string_view text) {
    AlertLedger ledger;
    while (!text.empty()) {
        const auto end = std::min(text.find('\n'), text.size());
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        // path TAB rule TAB url TAB task TAB since
        const auto last = line.rfind('\t');
        const auto first = line.find('\t');
        if (first == std::string_view::npos || last == first) continue;
        const std::string_view key = line.substr(first + 1, last - first - 1);
        if (std::count(key.begin(), key.end(), '\t') != 2 || !ruleNamed(key.substr(0, key.find('\t')))) continue;
        double since = 0;
        const std::string_view number = line.substr(last + 1);
        const auto [ptr, error] = std::from_chars(number.data(), number.data() + number.size(), since);
        if (error != std::errc() || ptr != number.data() + number.size()) continue;
        ledger.m_lines.push_back({std::string(line.substr(0, first)), std::string(key), since});
    }
    return ledger;
}

AlertLedger AlertLedger::load(const std::string& file) {
    const auto read = readWholeFile(file);
    if (!read) return {};
    // Written by us, so never this big; should it be, its whole lines up to
    // the limit still say what was told.
    std::string_view text = read->view();
    if (text.size() > mostLedgerBytes) text = text.substr(0, text.rfind('\n', mostLedgerBytes) + 1);
    return fromText(text);
}

bool AlertLedger::save(const std::string& file, std::string& why) const {
    if (!makeFolders(file)) {
        why = "cannot make the folder of " + file;
        return false;
    }
    if (const auto failed = replaceFileAtomically(file, text())) {
        why = *failed;
        return false;
    }
    return true;
}

std::optional<std::string> AlertLedger::defaultFile() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && *state == '/') return std::string(state) + "/crunchwatch/notified";
    const char* home = std::getenv("HOME");
    if (home && *home == '/') return std::string(home) + "/.local/state/crunchwatch/notified";
    return std::nullopt;
}

}  // namespace crunchwatch
