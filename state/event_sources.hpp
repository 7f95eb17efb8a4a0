#pragma once
// Where the client's event log is. The first that exists is the one shown:
// stdoutdae.txt in the data directory (with stdoutdae.old, its rotated
// copy; the client writes it when started with --redirectio or --daemon),
// the journal's entries of boinc-client.service (systemd's default start),
// /var/log/boinc.log (older packaging). The user may choose another one
// that exists. Errors the client wrote to stderrdae.txt are read with its
// output, marked as errors.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace crunchwatch {

enum class EventSourceKind { clientFile, journal, systemLog };

struct EventSource {
    EventSourceKind kind = EventSourceKind::clientFile;
    std::string path;  // the file; for the journal, the journal file given, or empty for the system's
    bool operator==(const EventSource&) const = default;
};

// "stdoutdae.txt", "journal (boinc-client.service)", "/var/log/boinc.log".
std::string sourceName(const EventSource& source);
// The identifier kept in the settings and given to the dump: "file", "journal", "syslog".
std::string_view sourceId(EventSourceKind kind) noexcept;
std::optional<EventSourceKind> sourceOfId(std::string_view id) noexcept;

class Folder;

struct SourceSearch {
    std::string dataDir;
    std::optional<std::string> journalFile;  // --journal-file
    std::string systemLog = "/var/log/boinc.log";
    const Folder* folder = nullptr;  // the data directory's, when not this machine's dataDir
};
// The sources that exist, in the order of preference.
std::vector<EventSource> eventSources(const SourceSearch& where);

}  // namespace crunchwatch
