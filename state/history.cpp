#include "state/history.hpp"

#include <algorithm>
#include <memory>

#include <dirent.h>
#include <sys/stat.h>

namespace crunchwatch {
namespace {

bool hasPrefixAndSuffix(std::string_view name, std::string_view prefix, std::string_view suffix) {
    return name.size() > prefix.size() + suffix.size() && name.starts_with(prefix) && name.ends_with(suffix);
}

// Regular files only (links followed); a directory or FIFO by such a name is passed over.
std::optional<FileStamp> stampOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return FileStamp{static_cast<std::int64_t>(st.st_mtim.tv_sec), static_cast<std::int64_t>(st.st_mtim.tv_nsec),
                     {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)},
                     static_cast<std::uint64_t>(st.st_size)};
}

struct Listing {
    std::vector<std::string> statistics, jobLogs;
};

std::optional<Listing> list(const std::string& directory) {
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(directory.c_str()), ::closedir);
    if (!dir) return std::nullopt;
    Listing l;
    while (const dirent* e = ::readdir(dir.get())) {
        const std::string_view name = e->d_name;
        if (isStatisticsFileName(name)) l.statistics.emplace_back(name);
        else if (isJobLogFileName(name)) l.jobLogs.emplace_back(name);
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

}  // namespace

bool isStatisticsFileName(std::string_view name) noexcept { return hasPrefixAndSuffix(name, "statistics_", ".xml"); }
bool isJobLogFileName(std::string_view name) noexcept { return hasPrefixAndSuffix(name, "job_log_", ".txt"); }

bool History::refresh(const std::string& directory) {
    bool changed = false;
    if (directory != m_directory) {
        changed = !m_statistics.empty() || !m_jobLogs.empty();
        m_statistics.clear();
        m_jobLogs.clear();
        m_directory = directory;
    }
    const auto listing = list(directory);
    if (!listing) return changed;
    const std::string prefix = directory.empty() || directory.back() == '/' ? directory : directory + '/';

    changed |= keepListed(m_statistics, listing->statistics, [](const StatisticsFile& f) { return f.statistics.has_value(); });
    for (StatisticsFile& f : m_statistics) {
        const std::string path = prefix + f.name;
        const auto stamp = stampOf(path);
        if (!stamp || (f.stamp && *f.stamp == *stamp)) continue;
        auto read = readStatisticsFile(path);
        if (!read) continue;
        f.statistics = std::move(read);
        f.stamp = stamp;
        changed = true;
    }

    changed |= keepListed(m_jobLogs, listing->jobLogs, [](const JobLogFile& f) { return f.read; });
    for (JobLogFile& f : m_jobLogs) {
        const std::string path = prefix + f.name;
        const auto stamp = stampOf(path);
        if (!stamp || (f.stamp && *f.stamp == *stamp)) continue;
        if (!f.log.update(path)) continue;
        f.read = true;
        f.stamp = stamp;
        changed = true;
    }
    return changed;
}

}  // namespace crunchwatch
