#pragma once
// The client's event log: what it writes to stdoutdae.txt (when started with
// --redirectio or --daemon), to the system journal (when systemd starts it),
// or to /var/log/boinc.log (older packaging). One entry per message:
//   09-Dec-2026 14:05:31 [Project Name] text
// the moment in local time to the second, then the project in brackets
// ("---" for the client's own messages), then the text, kept verbatim (the
// preference lines' leading spaces included). A line that does not begin
// with a moment (a continuation, a crash dump) belongs to the entry before
// it; a line with a moment but no bracket (the client's plain "Initialization
// completed") is an entry of its own without a project. The file carries no
// priority: an entry from it is neither an error nor not one. Entries from
// the journal or from the error stream say which they are.
//
// A log is a value made of immutable pieces, as a job log is (job_log.hpp):
// a copy costs its pieces, never its entries or bytes, so a copy handed to a
// view stays as it is while the reader reads on into another. Views returned
// point into the pieces and live as long as the log they came from or any
// copy of it. Nothing throws but allocation.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "state/file_read.hpp"

namespace crunchwatch {

enum class EventSeverity : std::uint8_t { untold, info, error };

struct EventEntry {
    std::string_view moment;   // "09-Dec-2026 14:05:31", verbatim; empty for text before any moment
    std::string_view project;  // the name in brackets; empty for "---" and for entries without one
    std::string_view text;     // the rest, continuation lines joined by their line feeds, verbatim
    EventSeverity severity = EventSeverity::untold;
};

// The length of a moment, "DD-Mon-YYYY HH:MM:SS".
inline constexpr std::size_t eventMomentLength = 20;
// Whether `line` begins with a well-formed moment followed by a blank or its end.
bool startsWithMoment(std::string_view line) noexcept;
// A moment's seconds since 1970, read as local time (the client writes local
// time); nothing for a malformed one.
std::optional<double> momentSeconds(std::string_view moment) noexcept;
// The moment of `seconds` since 1970 in local time, as the client writes it.
std::string momentText(double seconds);

class EventLog final {
public:
    std::size_t size() const noexcept;
    EventEntry entry(std::size_t index) const noexcept;
    // The text and the entries held, shared pieces included.
    std::size_t memoryBytes() const noexcept;

    // Appends the entries of `text` (whole lines, the last one's line feed
    // optional), each with `severity`. A continuation line at its start
    // becomes an entry without a moment: what was appended before is final.
    void append(std::string_view text, EventSeverity severity);
    // Keeps the newest entries whose text adds up to at most `bytes`, whole
    // pieces at a time (so somewhat more may stay).
    void keepNewest(std::size_t bytes);

    static EventLog fromText(std::string_view text, EventSeverity severity = EventSeverity::untold);

private:
    friend class EventLogFile;
    struct Piece;  // the entries of one read or append (event_log.cpp)
    void push(std::shared_ptr<const Piece> piece);
    void dropOrigin(std::uint64_t origin);  // the entries of one file, read again
    void settleProvisional();               // no line will join the last entry any more

    std::vector<std::shared_ptr<const Piece>> m_pieces;
    std::vector<std::size_t> m_starts;             // the index of each piece's first entry
    std::shared_ptr<const Piece> m_provisional;    // the last entry of a file, while lines may still join it
};

// Reads the client's log file (stdoutdae.txt, or /var/log/boinc.log) into an
// EventLog: the first time, the rotated copy beside it (`<stem>.old`) and
// then the file; afterwards only what was appended (an appended line costs
// that line and the entry before it, which a continuation may join). When
// the client rotates the file (renames it to .old and starts a new one), the
// rest of the old one is read from .old and the new one from its start; when
// the file is shorter than where the last read stopped, what came from it is
// read again from its start. What was read before stays. Only regular files
// are read; `severity` is what its entries are marked as (untold for the
// client's output, error for its error stream). The error stream's entries
// are whole lines as they come: only one file of a log keeps its last entry
// open to continuation lines.
class Folder;

class EventLogFile final {
public:
    // The names are `folder`'s (this machine's paths when there is none).
    EventLogFile(std::string path, std::optional<std::string> rotatedPath, EventSeverity severity = EventSeverity::untold,
                 std::shared_ptr<const Folder> folder = nullptr);
    // False when the file cannot be read (`why` says why); the log keeps what it had.
    bool readOn(EventLog& log, ReadFailure& why);
    // Whether the file is other than it was at the last read (one attribute query).
    bool changed() const;
    const std::string& path() const noexcept { return m_path; }  // the name in its folder
    std::string shownPath() const;  // as a message shows it
    bool exists() const;            // whether the name names anything (one attribute query)

private:
    void take(EventLog& log, TextBuffer bytes, std::uint64_t offset, bool finished);
    bool followRotation(EventLog& log);
    void startOver();

    std::string m_path;
    std::optional<std::string> m_rotatedPath;
    EventSeverity m_severity;
    std::shared_ptr<const Folder> m_folder;
    std::optional<FileIdentity> m_identity;
    std::uint64_t m_consumed = 0;  // where the next read starts: the log's provisional entry, in the file
    std::uint64_t m_sizeRead = 0;
    std::pair<std::int64_t, std::int64_t> m_modified{};  // the file's modification at the last read
    const void* m_open = nullptr;  // the log's provisional entry as this file left it
    std::size_t m_openBytes = 0;   // its length in the file
    std::string m_head;            // the file's first bytes, to know its rotated copy by
    std::uint64_t m_origin = 0;    // marks the entries read from this file since it was last started over
    bool m_started = false;
};

}  // namespace crunchwatch
