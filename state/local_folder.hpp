#pragma once
// A data directory on this machine's file system: the only place the
// readers' calls reach the system (open, stat, read, list, lock, statvfs).
// The path-based readers of file_read.hpp and file_stat.hpp are this
// folder's too: LocalFolder() with no path takes names as paths.

#include <string>

#include "state/folder.hpp"

namespace crunchwatch {

class LocalFolder final : public Folder {
public:
    // `dir` ending in "/" or not; empty: names are paths, relative to the
    // working folder.
    explicit LocalFolder(std::string dir = {});

    const std::string& path() const noexcept override { return m_path; }
    std::optional<FileStat> stat(std::string_view name, ReadFailure& why, Links links) const override;
    std::optional<TailRead> readTail(std::string_view name, std::optional<FileIdentity> known, std::uint64_t from,
                                     std::uint64_t lastSize, ReadFailure& why) const override;
    std::string readStart(std::string_view name, std::size_t n) const override;
    std::optional<SmallFile> readSmall(std::string_view name, std::uint64_t limit, ReadFailure& why) const override;
    std::optional<std::vector<std::string>> names(std::string_view dir, ReadFailure& why) const override;
    ClientLock lock(std::string_view name) const override;
    DiskWalk walkDisk(const ProjectFolderList& projects, std::size_t mostEntries) const override;

private:
    std::string resolved(std::string_view name) const;
    std::string m_path;
};

// A client on this machine: whether the system's journal has files this
// user may not read (the journal then looks empty although it is not), and
// whether systemd has a unit file of that name.
bool systemJournalUnreadable();
bool unitInstalled(const std::string& unit);

}  // namespace crunchwatch
