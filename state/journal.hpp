#pragma once
// The client's event log in the systemd journal: when systemd starts the
// client without redirecting its output, each line it writes becomes a
// journal entry of its unit (boinc-client.service). Read through
// libsystemd's sd-journal, from the system's journal or from one journal
// file, matching the unit only, from a saved cursor: the first read takes
// every entry the journal keeps, each later one only the entries added
// since. An entry on the error stream (priority 3 or lower) is an error,
// one above it is not. A message that begins with the client's own moment
// keeps it; one without gets the journal's time, written as the client
// writes its moments. Reading the system's journal needs the
// systemd-journal or adm group: without it the reader says so instead of
// showing an empty log.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "state/event_log.hpp"

namespace crunchwatch {

inline constexpr const char* clientUnit = "boinc-client.service";

enum class JournalState {
    read,          // entries were read (or there were none new)
    noEntries,     // the journal holds no entry of the unit
    noPermission,  // the system journal is there, but this user may not read it
    unavailable,   // no journal, or the file cannot be opened (`detail` says why)
};

struct JournalOutcome {
    JournalState state = JournalState::unavailable;
    std::string detail;  // the system's words, for unavailable
};

class JournalReader final {
public:
    // `file`: one journal file to read instead of the system's journal.
    // `firstRead`: the newest entries the first read takes at most (0: as
    // many as one read takes), for a reader that shows only those.
    explicit JournalReader(std::optional<std::string> file = std::nullopt, std::string unit = clientUnit,
                           std::size_t firstRead = 0);
    ~JournalReader();
    JournalReader(const JournalReader&) = delete;
    JournalReader& operator=(const JournalReader&) = delete;

    // Appends the entries added since the last read to `log`, consecutive
    // entries of one severity in one piece. One read stops at 64 MiB of text
    // or 1,000,000 entries: the first read takes the newest ones within that,
    // a later one that reaches it leaves the rest to the next read.
    JournalOutcome readOn(EventLog& log);
    // Whether entries were added since the last read (cheap: no entry is read).
    bool changed();
    // Whether the journal holds any entry of the unit (opens it if needed and
    // keeps it open). Also true when the unit is installed and the system
    // journal has files this user may not read: readOn then says noPermission.
    bool hasEntries();

private:
    struct Handle;  // the open sd_journal and the cursor (journal.cpp)
    int open();  // 0, or the negative errno of the failure
    bool unreadable(int openFailure) const;  // for the system journal: noPermission
    std::unique_ptr<Handle> m_handle;
    std::optional<std::string> m_file;
    std::string m_unit;
    std::size_t m_firstRead = 0;
};

// What to tell a user who may not read the system journal.
inline constexpr const char* journalGroupAdvice =
    "The system journal holds the client's event log, but this user may not read it: "
    "join the systemd-journal group (sudo adduser $USER systemd-journal) and log in again.";

}  // namespace crunchwatch
