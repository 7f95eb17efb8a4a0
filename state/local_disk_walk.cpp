// The disk walk on this machine's file system: LocalFolder's, with the
// guarantees disk_usage.hpp gives (no link followed, a file with several
// names counted once, no folder walked twice, a bounded number of open
// descriptors however deep the tree).
#include "state/disk_usage.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "state/file_descriptor.hpp"

namespace crunchwatch {

namespace {

constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr std::size_t mostProblemsKept = 8;
// A deep tree is walked with this many of its folders open at most; the
// ones above are closed and reached again through "..".
constexpr std::size_t mostOpenFolders = 64;

// A name that stays inside the folder it is looked up in: not empty, not
// "." or "..", no "/", and no NUL byte (which the system would stop at).
bool plainName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find_first_of(std::string_view("/\0", 2)) == name.npos;
}

std::string joined(const std::string& folder, std::string_view name) {
    return folder.empty() ? std::string(name) : folder + "/" + std::string(name);
}

// A file or folder, told apart from every other on every file system.
using Node = std::pair<dev_t, ino_t>;
struct NodeHash {
    std::size_t operator()(const Node& n) const noexcept {
        return std::hash<std::uint64_t>()(static_cast<std::uint64_t>(n.second) * 0x9E3779B97F4A7C15u ^
                                          static_cast<std::uint64_t>(n.first));
    }
};

class Walker final {
public:
    Walker(DiskWalk& walk, std::size_t mostEntries) : m_walk(walk), m_mostEntries(mostEntries) {}

    // The bytes of the entry `name` in the folder `at` (reached as `folder`):
    // a file's own, or everything under a folder.
    std::uint64_t entry(int at, const std::string& folder, const char* name);
    // The same for a name not listed from its folder but given: counted as
    // looked at, and nothing when it is no plain name.
    std::uint64_t given(int at, const std::string& folder, const std::string& name);
    // The bytes of the files at the top of the open folder `fd`, its folders not looked into.
    std::uint64_t topLevelFiles(int fd);
    // Opens the folder `name` in `at` when it is one to walk; -1 otherwise.
    int openFolder(int at, const char* name, const std::string& path);
    bool newFolder(int fd, Node& inode);
    void problem(const std::string& path, int error);
    // Says how many problems were left out of the list.
    void finish();

private:
    struct Folder {
        int fd;                            // -1 while closed to spare descriptors
        Node inode;                       // to know it again when reopened through ".."
        // Its own name; the tree's first folder's, its path from the data
        // folder. A path is made of the stack's names only for a problem,
        // so that a deep tree of long names costs its names once.
        std::string name;
        std::vector<std::string> folders;  // its folders not walked yet
    };

    bool looked();
    // A problem with `child` (nothing: the folder itself) of the folder at
    // the top of the walk's stack.
    void problemHere(std::string_view child, int error);
    std::uint64_t fileBytes(const struct stat& st);
    std::uint64_t notFolder(int at, const char* name, int& error);
    std::uint64_t list(Folder& folder, bool intoFolders);
    std::uint64_t tree(int fd, Node inode, std::string path);
    void closeFolder(std::vector<Folder>& stack, std::size_t& firstOpen);

    DiskWalk& m_walk;
    const std::size_t m_mostEntries;
    std::size_t m_problems = 0;
    // Counted already: folders, and files with more than one name.
    std::unordered_set<Node, NodeHash> m_seen;
    const std::vector<Folder>* m_stack = nullptr;  // the folders being walked, outermost first
};

// Counts one more entry looked at; false once past the most.
bool Walker::looked() {
    if (m_walk.stopped) return false;
    if (++m_walk.entries <= m_mostEntries) return true;
    --m_walk.entries;
    m_walk.stopped = true;
    return false;
}

void Walker::problem(const std::string& path, int error) {
    if (m_problems++ < mostProblemsKept) m_walk.problems.push_back(path + ": " + std::strerror(error));
}

void Walker::problemHere(std::string_view child, int error) {
    if (m_problems >= mostProblemsKept || !m_stack) {
        ++m_problems;
        return;
    }
    std::string path;
    for (const Folder& f : *m_stack) path = joined(path, f.name);
    if (!child.empty()) path = joined(path, child);
    problem(path.empty() ? "." : path, error);
}

// What a file occupies, as the client counts it: its blocks, once however
// many names it has. A folder mounted from another file system counts as
// the client counts it, whole.
std::uint64_t Walker::fileBytes(const struct stat& st) {
    if (st.st_nlink > 1 && !m_seen.insert({st.st_dev, st.st_ino}).second) return 0;
    return static_cast<std::uint64_t>(st.st_blocks) * 512;
}

// Whether the open folder `fd` is one to walk: not walked already (a slot
// listed twice, a bind mount of a folder inside itself).
bool Walker::newFolder(int fd, Node& inode) {
    struct stat st{};
    if (::fstat(fd, &st) != 0) return false;
    inode = {st.st_dev, st.st_ino};
    return m_seen.insert(inode).second;
}

// A name that could not be opened as a folder: gone (skipped, as the
// client skips it), a link or a file (counted as itself), or unreadable:
// `error` is then left for the caller to report, else set to 0.
std::uint64_t Walker::notFolder(int at, const char* name, int& error) {
    if (error == ELOOP || error == ENOTDIR) {
        struct stat st{};
        if (::fstatat(at, name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
            error = 0;
            return S_ISDIR(st.st_mode) ? 0 : fileBytes(st);
        }
        error = errno;
    }
    if (error == ENOENT) error = 0;
    return 0;
}

std::uint64_t Walker::entry(int at, const std::string& folder, const char* name) {
    const std::string path = joined(folder, name);
    const int fd = ::openat(at, name, folderFlags);
    if (fd < 0) {
        int error = errno;
        const std::uint64_t bytes = notFolder(at, name, error);
        if (error != 0) problem(path, error);
        return bytes;
    }
    Node inode{};
    if (newFolder(fd, inode)) return tree(fd, inode, path);
    ::close(fd);
    return 0;
}

std::uint64_t Walker::given(int at, const std::string& folder, const std::string& name) {
    return plainName(name) && looked() ? entry(at, folder, name.c_str()) : 0;
}

int Walker::openFolder(int at, const char* name, const std::string& path) {
    const int fd = ::openat(at, name, folderFlags);
    if (fd < 0) {
        if (errno != ENOENT) problem(path, errno);
        return -1;
    }
    Node inode{};
    if (newFolder(fd, inode)) return fd;
    ::close(fd);
    return -1;
}

std::uint64_t Walker::topLevelFiles(int fd) {
    std::vector<Folder> top{{fd, {}, {}, {}}};
    m_stack = &top;
    const std::uint64_t bytes = list(top.front(), false);
    m_stack = nullptr;
    return bytes;
}

void Walker::finish() {
    if (m_problems > mostProblemsKept)
        m_walk.problems.push_back("… and " + std::to_string(m_problems - mostProblemsKept) + " more");
}

// Reads the open folder's names once: counts its files, and keeps its
// folders' names in `folder.folders` (when `intoFolders`) to walk after.
std::uint64_t Walker::list(Folder& folder, bool intoFolders) {
    const int copy = ::dup(folder.fd);  // the folder stays open for openat after its listing
    DIR* dir = copy >= 0 ? ::fdopendir(copy) : nullptr;
    if (!dir) {
        problemHere({}, errno);
        if (copy >= 0) ::close(copy);
        return 0;
    }
    std::uint64_t bytes = 0;
    for (;;) {
        errno = 0;
        const dirent* e = ::readdir(dir);
        if (!e) {
            // A folder removed while it is read ends as if empty.
            if (errno != 0 && errno != ENOENT) problemHere({}, errno);
            break;
        }
        const char* name = e->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
        if (!looked()) break;
        if (e->d_type == DT_DIR) {
            if (intoFolders) folder.folders.emplace_back(name);
            continue;
        }
        struct stat st{};
        if (::fstatat(folder.fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT) problemHere(name, errno);
        } else if (!S_ISDIR(st.st_mode)) {
            bytes += fileBytes(st);
        } else if (intoFolders) {
            folder.folders.emplace_back(name);
        }
    }
    ::closedir(dir);
    return bytes;
}

// Walks a folder tree depth first with a stack of its own, so that no depth
// can overflow the program's stack. Each folder is listed once, as soon as it
// is opened; it stays open only to open its subfolders by name (openat, no
// path rebuilt, no link followed on the way). Past `mostOpenFolders` levels
// the highest open folder is closed, and reached again through its child's
// ".." when the walk climbs back: a 10,000-deep chain never holds more than
// that many descriptors.
std::uint64_t Walker::tree(int fd, Node inode, std::string path) {
    std::vector<Folder> stack;
    std::size_t firstOpen = 0;  // the folders below this index are closed
    stack.push_back({fd, inode, std::move(path), {}});
    m_stack = &stack;
    std::uint64_t bytes = list(stack.back(), true);
    while (!stack.empty() && !m_walk.stopped) {
        Folder& top = stack.back();
        if (top.folders.empty()) {
            closeFolder(stack, firstOpen);
            continue;
        }
        const std::string name = std::move(top.folders.back());
        top.folders.pop_back();
        const int child = ::openat(top.fd, name.c_str(), folderFlags);
        if (child < 0) {
            int error = errno;
            bytes += notFolder(top.fd, name.c_str(), error);
            if (error != 0) problemHere(name, error);
            continue;
        }
        Node childInode{};
        if (!newFolder(child, childInode)) {
            ::close(child);
            continue;
        }
        if (stack.size() - firstOpen >= mostOpenFolders) {
            ::close(stack[firstOpen].fd);
            stack[firstOpen++].fd = -1;
        }
        stack.push_back({child, childInode, name, {}});
        bytes += list(stack.back(), true);
    }
    for (const Folder& f : stack)
        if (f.fd >= 0) ::close(f.fd);
    m_stack = nullptr;
    return bytes;
}

// Closes the folder at the top of the stack, done with. When its parent was
// closed to spare descriptors, the parent is opened again through "..", and
// only if it is still the same folder: one moved meanwhile leaves the rest
// of the tree out, as if it had vanished, rather than walk somewhere else.
void Walker::closeFolder(std::vector<Folder>& stack, std::size_t& firstOpen) {
    const int done = stack.back().fd;
    if (stack.size() >= 2 && firstOpen == stack.size() - 1) {
        Folder& parent = stack[stack.size() - 2];
        const int fd = ::openat(done, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat st{};
        if (fd >= 0 && ::fstat(fd, &st) == 0 && Node{st.st_dev, st.st_ino} == parent.inode) {
            parent.fd = fd;
            --firstOpen;
        } else {
            if (fd >= 0) ::close(fd);
            stack.resize(1);  // every folder below is closed already
        }
    }
    ::close(done);
    stack.pop_back();
}

// Projects first, in the order asked (each its folder, then its slots), then
// the client's own files: a file with several names counts where it is
// reached first.
void walkFrom(int root, const ProjectFolderList& projects, std::size_t mostEntries, DiskWalk& walk) {
    Walker walker(walk, mostEntries);
    Node rootInode{};
    walker.newFolder(root, rootInode);
    FileDescriptor projectsFolder(walker.openFolder(root, "projects", "projects"));
    FileDescriptor slotsFolder(walker.openFolder(root, "slots", "slots"));
    std::unordered_set<std::string> slotsWalked;
    projects.forEach([&](std::size_t i, std::string_view dir, const std::vector<std::string_view>& slotNames) {
        if (projectsFolder.get() >= 0 && !dir.empty())
            walk.projectBytes.add(i, walker.given(projectsFolder.get(), "projects", std::string(dir)));
        for (const std::string_view slot : slotNames)
            if (slotsFolder.get() >= 0 && slotsWalked.emplace(slot).second)
                walk.projectBytes.add(i, walker.given(slotsFolder.get(), "slots", std::string(slot)));
    });
    // The top level's files include a locale that is no folder.
    walk.clientBytes = walker.topLevelFiles(root);
    struct stat locale{};
    if (!walk.stopped && ::fstatat(root, "locale", &locale, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(locale.st_mode))
        walk.clientBytes += walker.entry(root, "", "locale");
    walker.finish();
}

}  // namespace

DiskWalk walkDisk(const std::string& dataDir, const ProjectFolderList& projects, std::size_t mostEntries) {
    const auto start = std::chrono::steady_clock::now();
    DiskWalk walk;
    walk.takenAt = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    walk.projectBytes = ProjectBytes(projects.size());
    // The data folder itself may be reached through a link (Debian's
    // /var/lib/boinc is one), so it alone is opened following links. A path
    // holding a NUL byte would name another folder: refused.
    const bool usable = dataDir.find('\0') == std::string::npos;
    FileDescriptor root(usable ? ::open(dataDir.empty() ? "." : dataDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                               : -1);
    struct stat st{};
    if (root.get() < 0 || ::fstat(root.get(), &st) != 0) {
        walk.problems.push_back(dataDir.substr(0, dataDir.find('\0')) + ": " + std::strerror(usable ? errno : EINVAL));
    } else {
        struct statvfs fs{};
        if (::fstatvfs(root.get(), &fs) == 0) {
            walk.freeBytes = static_cast<std::uint64_t>(fs.f_bavail) * fs.f_frsize;
            walk.fileSystemBytes = static_cast<std::uint64_t>(fs.f_blocks) * fs.f_frsize;
        }
        walkFrom(root.get(), projects, mostEntries, walk);
    }
    walk.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return walk;
}

}  // namespace crunchwatch
