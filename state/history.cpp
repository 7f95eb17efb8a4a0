#include "state/history.hpp"

#include <algorithm>
#include <memory>

#include "state/local_folder.hpp"

namespace crunchwatch {
namespace {

bool hasPrefixAndSuffix(std::string_view name, std::string_view prefix, std::string_view suffix) {
    return name.size() > prefix.size() + suffix.size() && name.starts_with(prefix) && name.ends_with(suffix);
}

struct Listing {
    std::vector<std::string> statistics, jobLogs;
};

// The history files' names in the folder, sorted; nothing when it cannot be
// listed to the end (a partial listing would drop files that are there), and
// `why` says why.
std::optional<Listing> list(const Folder& folder, ReadFailure& why) {
    why = ReadFailure::none;
    const auto names = folder.names("", why);
    if (!names) return std::nullopt;
    Listing l;
    for (const std::string& name : *names) {
        if (isStatisticsFileName(name)) l.statistics.push_back(name);
        else if (isJobLogFileName(name)) l.jobLogs.push_back(name);
    }
    std::sort(l.statistics.begin(), l.statistics.end());
    std::sort(l.jobLogs.begin(), l.jobLogs.end());
    return l;
}

// Brings `entries` to the names listed, in their order, keeping what was
// read from the names that stay. Returns whether a shown entry went away.
template <class Entry, class Shown>
bool keepListed(std::vector<Entry>& entries, const std::vector<std::string>& names, Shown shown) {
    std::vector<Entry> kept;
    kept.reserve(names.size());
    bool dropped = false;
    auto old = entries.begin();
    for (const std::string& name : names) {
        while (old != entries.end() && old->name < name) dropped |= shown(*old++);
        if (old != entries.end() && old->name == name) kept.push_back(std::move(*old++));
        else kept.emplace_back().name = name;
    }
    for (; old != entries.end(); ++old) dropped |= shown(*old);
    entries = std::move(kept);
    return dropped;
}

// Reads one file again when its stamp changed, with `read(entry, name, why)`
// (true when read), and records why it could not be read. Only regular files
// are read (links followed): a folder or FIFO by such a name is passed over.
// True when what the entry shows changed.
template <class Entry, class Read>
bool refreshFile(const Folder& folder, Entry& f, Read read) {
    ReadFailure why = ReadFailure::none;
    const auto st = folder.stat(f.name, why);
    if (st && !st->regular) why = ReadFailure::notRegularFile;
    if (st && st->regular) {
        const FileStamp stamp{st->seconds, st->nanoseconds, st->identity, st->size};
        // The same stamp: what is shown is this very file, read before.
        if ((!f.stamp || *f.stamp != stamp) && read(folder, f, why)) {
            f.stamp = stamp;
            f.failure = ReadFailure::none;
            return true;
        }
    }
    const bool changed = f.failure != why;
    f.failure = why;
    return changed;
}

bool readInto(const Folder& folder, StatisticsFile& f, ReadFailure& why) {
    auto read = readStatisticsFile(folder, f.name, why);
    if (!read) return false;
    f.statistics = std::make_shared<const ProjectStatistics>(std::move(*read));
    return true;
}

bool readInto(const Folder& folder, JobLogFile& f, ReadFailure& why) {
    if (!f.log.update(folder, f.name, why)) return false;
    f.read = true;
    return true;
}

}  // namespace

bool isStatisticsFileName(std::string_view name) noexcept { return hasPrefixAndSuffix(name, "statistics_", ".xml"); }
bool isJobLogFileName(std::string_view name) noexcept { return hasPrefixAndSuffix(name, "job_log_", ".txt"); }

bool History::refresh(const std::string& directory) {
    if (directory.empty() || directory.find('\0') != std::string::npos) {
        const ReadFailure why = directory.empty() ? ReadFailure::noPath : ReadFailure::invalidPath;
        bool changed = directory != m_directory;
        if (directory != m_directory) {
            m_statistics.clear();
            m_jobLogs.clear();
            m_directory = directory;
        }
        changed |= why != m_listFailure;
        m_listFailure = why;
        return changed;
    }
    return refresh(LocalFolder(directory));
}

bool History::refresh(const Folder& folder) {
    bool changed = false;
    if (folder.path() != m_directory) {
        // The folder is shown too (where no job log was found): another one
        // is a change even when neither holds a file.
        changed = true;
        m_statistics.clear();
        m_jobLogs.clear();
        m_directory = folder.path();
        m_listFailure = ReadFailure::none;
    }
    ReadFailure why = ReadFailure::none;
    const auto listing = list(folder, why);
    changed |= why != m_listFailure;
    m_listFailure = why;
    if (!listing) return changed;

    const auto readEntry = [](const Folder& in, auto& f, ReadFailure& w) { return readInto(in, f, w); };
    changed |= keepListed(m_statistics, listing->statistics,
                          [](const StatisticsFile& f) { return f.statistics || f.failure != ReadFailure::none; });
    for (StatisticsFile& f : m_statistics) changed |= refreshFile(folder, f, readEntry);
    changed |= keepListed(m_jobLogs, listing->jobLogs,
                          [](const JobLogFile& f) { return f.read || f.failure != ReadFailure::none; });
    for (JobLogFile& f : m_jobLogs) changed |= refreshFile(folder, f, readEntry);
    return changed;
}

}  // namespace crunchwatch
