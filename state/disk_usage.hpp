#pragma once
// How much of the disk the client's files take, counted as the client counts
// them: the allocated size (st_blocks x 512) of every file under a project's
// folder (projects/<escaped master URL>/) and under the slot folders of the
// project's active tasks, folders themselves not counted; the client's own
// share is the allocated size of the data folder's top-level files and of
// everything under locale/. Counted so, the figures equal the client's own
// to the byte.
//
// The walk follows no symbolic link (a link counts as the link itself),
// counts a file with several names once (and a folder mounted inside counts
// whole, as the client counts it), walks no folder twice,
// and stops past a number of entries, saying so. It reads the file system
// only, never a file's contents.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace crunchwatch {

// One project's folders, as the walk is asked for them.
struct ProjectFolders {
    std::string dir;                 // the escaped master URL: the folder's name under projects/
    std::vector<std::string> slotDirs;  // the slot numbers of its active tasks (folders under slots/)
};

// Every project's folders, in the projects' order, held as one text of the
// folders' names and a list of the slots: a million projects cost their
// names and a byte each.
class ProjectFolderList final {
public:
    ProjectFolderList() = default;
    ProjectFolderList(const std::vector<ProjectFolders>& projects);
    ProjectFolderList(std::initializer_list<ProjectFolders> projects)
        : ProjectFolderList(std::vector<ProjectFolders>(projects)) {}

    void add(std::string_view dir);       // the next project's folder
    void addSlot(std::string_view slot);  // a slot of the project added last
    std::size_t size() const noexcept { return m_count; }
    ProjectFolders at(std::size_t project) const;  // found from the start: for a few
    bool operator==(const ProjectFolderList&) const = default;
    // A hash of the whole list, for telling a change where the list itself
    // is not kept (not for anything that must resist chosen inputs).
    std::uint64_t digest() const noexcept;

    // f(project, dir, slotNames) for each project in order; the names are views.
    template <class F>
    void forEach(F&& f) const;

private:
    std::string m_dirs;  // each name followed by a NUL byte, which no folder's name holds
    std::size_t m_count = 0;
    std::vector<std::pair<std::size_t, std::string>> m_slots;  // by project, in order
};

// Bytes per project asked, in the order asked; a project that has none
// costs nothing.
class ProjectBytes final {
public:
    ProjectBytes() = default;
    explicit ProjectBytes(std::size_t count) : m_count(count) {}
    ProjectBytes(std::initializer_list<std::uint64_t> each);

    std::size_t size() const noexcept { return m_count; }
    std::uint64_t operator[](std::size_t project) const noexcept;
    std::uint64_t at(std::size_t project) const;  // throws std::out_of_range past the end
    void add(std::size_t project, std::uint64_t bytes);  // the projects in ascending order
    std::uint64_t sum() const noexcept;
    bool operator==(const ProjectBytes&) const = default;
    bool operator==(const std::vector<std::uint64_t>& each) const;

private:
    std::size_t m_count = 0;
    std::vector<std::pair<std::size_t, std::uint64_t>> m_counted;  // by project, ascending, never 0 bytes
};

struct DiskWalk {
    ProjectBytes projectBytes;  // per project asked, in the order asked
    std::uint64_t clientBytes = 0;            // the data folder's own files and locale/
    // The data folder's file system (statvfs): bytes free to an ordinary user, and its size.
    std::optional<std::uint64_t> freeBytes, fileSystemBytes;
    std::size_t entries = 0;  // every file and folder looked at
    bool stopped = false;     // past the most entries: the figures count only what was reached
    // What could not be read, "projects/x/y: Permission denied", at most a few.
    std::vector<std::string> problems;
    double seconds = 0;  // how long the walk took
    double takenAt = 0;  // when it ran, in seconds since 1970

    std::uint64_t projectsBytes() const noexcept;  // every project's together
};

inline constexpr std::size_t mostWalkEntries = 1'000'000;

// Walks the data folder `dataDir` (ending in "/" or not) of this machine for
// `projects` (LocalFolder's walk; a Folder walks its own with walkDisk).
DiskWalk walkDisk(const std::string& dataDir, const ProjectFolderList& projects,
                  std::size_t mostEntries = mostWalkEntries);

template <class F>
void ProjectFolderList::forEach(F&& f) const {
    std::vector<std::string_view> slotNames;
    std::size_t from = 0, slot = 0;
    for (std::size_t i = 0; i < m_count; ++i) {
        const std::size_t end = m_dirs.find('\0', from);
        slotNames.clear();
        for (; slot < m_slots.size() && m_slots[slot].first == i; ++slot) slotNames.push_back(m_slots[slot].second);
        f(i, std::string_view(m_dirs).substr(from, end - from), slotNames);
        from = end + 1;
    }
}

}  // namespace crunchwatch
