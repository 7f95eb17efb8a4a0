#pragma once
// AlertLedger: which alerts the user has been told of, so that each is told
// once when it begins and never again while it lasts, also across restarts.
// It is kept per state file (alerts of another file never end this file's),
// in a text file of its own: one line per told alert, "state file path TAB
// key TAB since", the key being Alert::key(). Writing replaces the file
// whole (a new file renamed over the old), so a crash leaves one or the
// other. A line that does not parse is dropped; a missing file is empty.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tables/alerts.hpp"

namespace crunchwatch {

class AlertLedger final {
public:
    // What one update found.
    struct Changes {
        std::vector<Alert> begun;  // active alerts not told before: to tell now
        std::vector<Alert> ended;  // told alerts no longer active (rule, project, task and since as told)
        bool empty() const noexcept { return begun.empty() && ended.empty(); }
    };

    // Records `active` as the alerts of `statePath` now: every one not yet
    // recorded is begun, every recorded one of that path not active is
    // ended and forgotten (so that it is told again should it come back).
    Changes update(const std::string& statePath, const std::vector<Alert>& active);

    std::size_t size() const noexcept { return m_lines.size(); }
    std::string text() const;
    static AlertLedger fromText(std::string_view text);

    // Reads `file` (a missing or unreadable one gives an empty ledger) and
    // writes it whole; false with `why` when it could not be written.
    static AlertLedger load(const std::string& file);
    bool save(const std::string& file, std::string& why) const;

    // $XDG_STATE_HOME/crunchwatch/notified, or ~/.local/state/... without it;
    // none without either.
    static std::optional<std::string> defaultFile();

private:
    struct Line {
        std::string path, key;
        double since = 0;
    };
    std::vector<Line> m_lines;
};

}  // namespace crunchwatch
