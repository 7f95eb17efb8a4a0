#include "state/event_sources.hpp"

#include "state/file_stat.hpp"
#include "state/folder.hpp"
#include "state/journal.hpp"

namespace crunchwatch {
namespace {

bool isRegularFile(const std::string& path) {
    const auto st = statFile(path);
    return st && st->regular;
}

}  // namespace

std::string sourceName(const EventSource& source) {
    switch (source.kind) {
        case EventSourceKind::clientFile: return "stdoutdae.txt";
        case EventSourceKind::journal:
            return source.path.empty() ? std::string("journal (") + clientUnit + ")"
                                       : "journal file " + source.path + " (" + clientUnit + ")";
        case EventSourceKind::systemLog: return source.path;
    }
    return {};
}

std::string_view sourceId(EventSourceKind kind) noexcept {
    switch (kind) {
        case EventSourceKind::clientFile: return "file";
        case EventSourceKind::journal: return "journal";
        case EventSourceKind::systemLog: return "syslog";
    }
    return {};
}

std::optional<EventSourceKind> sourceOfId(std::string_view id) noexcept {
    for (EventSourceKind k : {EventSourceKind::clientFile, EventSourceKind::journal, EventSourceKind::systemLog})
        if (sourceId(k) == id) return k;
    return std::nullopt;
}

std::vector<EventSource> eventSources(const SourceSearch& where) {
    std::vector<EventSource> found;
    const std::string own = where.dataDir + "stdoutdae.txt";
    ReadFailure ignored{};
    const auto ownState = where.folder ? where.folder->stat("stdoutdae.txt", ignored) : statFile(own);
    if (ownState && ownState->regular) found.push_back({EventSourceKind::clientFile, own});
    JournalReader journal(where.journalFile);
    if (journal.hasEntries()) found.push_back({EventSourceKind::journal, where.journalFile.value_or("")});
    if (!where.systemLog.empty() && isRegularFile(where.systemLog))
        found.push_back({EventSourceKind::systemLog, where.systemLog});
    return found;
}

}  // namespace crunchwatch
