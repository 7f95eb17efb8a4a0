#include "state/memory_folder.hpp"

#include <chrono>
#include <set>
#include <vector>

#include "state/disk_usage.hpp"

namespace crunchwatch {
namespace {

std::vector<std::string> componentsOf(std::string_view key) {
    std::vector<std::string> parts;
    while (!key.empty()) {
        const std::size_t slash = key.find('/');
        parts.emplace_back(key.substr(0, slash));
        if (slash == std::string_view::npos) break;
        key.remove_prefix(slash + 1);
    }
    return parts;
}

bool isBelow(const std::string& key, const std::string& folder) {
    return folder.empty() ? !key.empty() : key.size() > folder.size() && key.starts_with(folder) && key[folder.size()] == '/';
}

}  // namespace

MemoryFolder::MemoryFolder(std::string path) : m_path(std::move(path)) {
    if (!m_path.empty() && m_path.back() != '/') m_path += '/';
    m_nodes[""] = Node{Kind::folder, {}, nextStat(0, false, true)};
}

FileStat MemoryFolder::nextStat(std::uint64_t size, bool regular, bool directory) {
    return FileStat{++m_clock, 0, {1, m_nextInode++}, size, regular, directory};
}

std::optional<std::string> MemoryFolder::key(std::string_view name) const {
    if (name.find('\0') != std::string_view::npos) return std::nullopt;
    if (name.starts_with("./")) name.remove_prefix(2);
    else if (name.starts_with('/')) {
        const std::string_view root = std::string_view(m_path).substr(0, m_path.size() - 1);
        if (name == root) return std::string();
        if (!name.starts_with(m_path)) return std::nullopt;
        name.remove_prefix(m_path.size());
    }
    std::string key;
    for (const std::string& part : componentsOf(name)) {
        if (part.empty()) continue;  // "a//b" is "a/b"
        if (part == "." || part == "..") return std::nullopt;
        if (!key.empty()) key += '/';
        key += part;
    }
    return key;
}

void MemoryFolder::place(const std::string& key, Node node) {
    std::string folder;
    const auto parts = componentsOf(key);
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        folder += (folder.empty() ? "" : "/") + parts[i];
        Node& f = m_nodes[folder];
        if (f.kind != Kind::folder || f.stat.identity.inode == 0) f = Node{Kind::folder, {}, nextStat(0, false, true)};
    }
    m_nodes[key] = std::move(node);
}

void MemoryFolder::put(std::string_view name, std::string_view contents) {
    const std::lock_guard lock(m_mutex);
    if (const auto k = key(name)) place(*k, Node{Kind::file, std::string(contents), nextStat(contents.size(), true, false)});
}

void MemoryFolder::append(std::string_view name, std::string_view more) {
    const std::lock_guard lock(m_mutex);
    const auto k = key(name);
    if (!k) return;
    const auto it = m_nodes.find(*k);
    if (it == m_nodes.end() || it->second.kind != Kind::file) {
        place(*k, Node{Kind::file, std::string(more), nextStat(more.size(), true, false)});
        return;
    }
    it->second.text += more;
    it->second.stat.size = it->second.text.size();
    it->second.stat.seconds = ++m_clock;
}

void MemoryFolder::putFolder(std::string_view name) {
    const std::lock_guard lock(m_mutex);
    if (const auto k = key(name)) place(*k, Node{Kind::folder, {}, nextStat(0, false, true)});
}

void MemoryFolder::putLink(std::string_view name, std::string_view target) {
    const std::lock_guard lock(m_mutex);
    if (const auto k = key(name)) place(*k, Node{Kind::link, std::string(target), nextStat(target.size(), false, false)});
}

void MemoryFolder::putSpecial(std::string_view name) {
    const std::lock_guard lock(m_mutex);
    if (const auto k = key(name)) place(*k, Node{Kind::special, {}, nextStat(0, false, false)});
}

void MemoryFolder::putUnreadable(std::string_view name, ReadFailure why) {
    const std::lock_guard lock(m_mutex);
    if (const auto k = key(name)) place(*k, Node{Kind::unreadable, {}, nextStat(0, true, false), why});
}

void MemoryFolder::remove(std::string_view name) {
    const std::lock_guard lock(m_mutex);
    const auto k = key(name);
    if (!k || k->empty()) return;
    std::erase_if(m_nodes, [&](const auto& n) { return n.first == *k || isBelow(n.first, *k); });
}

void MemoryFolder::setModified(std::string_view name, std::int64_t seconds, std::int64_t nanoseconds) {
    const std::lock_guard lock(m_mutex);
    const auto k = key(name);
    if (!k) return;
    if (const auto it = m_nodes.find(*k); it != m_nodes.end()) {
        it->second.stat.seconds = seconds;
        it->second.stat.nanoseconds = nanoseconds;
    }
}

void MemoryFolder::setLock(ClientLock lock) {
    const std::lock_guard guard(m_mutex);
    m_lock = lock;
}

// The node a name leads to, links on the way followed as `follow` says (a
// link's target is a name of this folder); nothing, with `why`, when there
// is none or the way is barred.
const MemoryFolder::Node* MemoryFolder::find(std::string_view name, Follow follow, ReadFailure& why) const {
    auto start = key(name);
    if (name.empty() && follow != Follow::none) {
        why = ReadFailure::noPath;  // only a listing takes the folder itself
        return nullptr;
    }
    if (!start) {
        why = name.find('\0') != std::string_view::npos ? ReadFailure::invalidPath : ReadFailure::notFound;
        return nullptr;
    }
    std::string at = std::move(*start);
    for (int hops = 0; hops < 40; ++hops) {
        const auto parts = componentsOf(at);
        std::string done;
        std::optional<std::string> again;
        for (std::size_t i = 0; i < parts.size() && !again; ++i) {
            const std::string next = done.empty() ? parts[i] : done + "/" + parts[i];
            const auto it = m_nodes.find(next);
            const bool last = i + 1 == parts.size();
            if (it == m_nodes.end()) {
                why = ReadFailure::notFound;
                return nullptr;
            }
            if (it->second.kind == Kind::link && (!last || follow == Follow::all)) {
                if (follow == Follow::none) {
                    why = ReadFailure::notRegularFile;
                    return nullptr;
                }
                again = key(it->second.text);
                if (!again) {
                    why = ReadFailure::notFound;
                    return nullptr;
                }
                for (std::size_t j = i + 1; j < parts.size(); ++j) *again += (again->empty() ? "" : "/") + parts[j];
            } else if (it->second.kind == Kind::link && follow == Follow::none) {
                why = ReadFailure::notRegularFile;
                return nullptr;
            } else if (!last && it->second.kind != Kind::folder) {
                why = ReadFailure::notFound;
                return nullptr;
            }
            done = next;
        }
        if (again) {
            at = std::move(*again);
            continue;
        }
        const Node& node = m_nodes.at(done);
        if (node.kind == Kind::unreadable) {
            why = node.failure;
            return nullptr;
        }
        why = ReadFailure::none;
        return &node;
    }
    why = ReadFailure::invalidPath;  // a loop of links
    return nullptr;
}

const MemoryFolder::Node* MemoryFolder::findFile(std::string_view name, Follow follow, ReadFailure& why) const {
    const Node* node = find(name, follow, why);
    if (node && node->kind != Kind::file) {
        why = ReadFailure::notRegularFile;
        return nullptr;
    }
    return node;
}

std::optional<FileStat> MemoryFolder::stat(std::string_view name, ReadFailure& why, Links links) const {
    const std::lock_guard lock(m_mutex);
    const Node* node = find(name, links == Links::followed ? Follow::all : Follow::allButLast, why);
    if (!node) return std::nullopt;
    return node->stat;
}

std::optional<TailRead> MemoryFolder::readTail(std::string_view name, std::optional<FileIdentity> known,
                                               std::uint64_t from, std::uint64_t lastSize, ReadFailure& why) const {
    const std::lock_guard lock(m_mutex);
    const Node* node = findFile(name, Follow::all, why);
    if (!node) return std::nullopt;
    const std::string& text = node->text;
    const FileStat& st = node->stat;
    if (from > 0 && known && *known == st.identity && st.size > lastSize && lastSize >= from && text[from - 1] == '\n')
        return TailRead{st.identity, false, from, TextBuffer::copyOf(std::string_view(text).substr(from))};
    return TailRead{st.identity, true, 0, TextBuffer::copyOf(text)};
}

std::string MemoryFolder::readStart(std::string_view name, std::size_t n) const {
    const std::lock_guard lock(m_mutex);
    ReadFailure why{};
    const Node* node = findFile(name, Follow::all, why);
    return node ? node->text.substr(0, n) : std::string();
}

std::optional<SmallFile> MemoryFolder::readSmall(std::string_view name, std::uint64_t limit, ReadFailure& why) const {
    const std::lock_guard lock(m_mutex);
    const Node* node = findFile(name, Follow::none, why);
    if (!node) return std::nullopt;
    if (node->text.size() > limit) {
        why = ReadFailure::tooLarge;
        return std::nullopt;
    }
    return SmallFile{node->text, node->stat};
}

std::optional<std::vector<std::string>> MemoryFolder::names(std::string_view dir, ReadFailure& why) const {
    const std::lock_guard lock(m_mutex);
    const Node* node = find(dir, Follow::none, why);
    if (!node) return std::nullopt;
    if (node->kind != Kind::folder) {
        why = ReadFailure::notFound;
        return std::nullopt;
    }
    const std::string folder = *key(dir);
    std::vector<std::string> names;
    for (const auto& [k, n] : m_nodes) {
        if (!isBelow(k, folder)) continue;
        const std::string_view rest = std::string_view(k).substr(folder.empty() ? 0 : folder.size() + 1);
        if (rest.find('/') == std::string_view::npos) names.emplace_back(rest);
    }
    return names;
}

ClientLock MemoryFolder::lock(std::string_view name) const {
    const std::lock_guard guard(m_mutex);
    ReadFailure why{};
    const Node* node = find(name, Follow::allButLast, why);
    if (!node || node->kind != Kind::file) return {};
    return m_lock;
}

// Counted as the real walk counts: each file's bytes once (here its size),
// under each project's folder and its slots, then the folder's own files
// and locale/.
DiskWalk MemoryFolder::walkDisk(const ProjectFolderList& projects, std::size_t mostEntries) const {
    const std::lock_guard lock(m_mutex);
    DiskWalk walk;
    walk.takenAt = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    walk.projectBytes = ProjectBytes(projects.size());
    std::set<std::string> counted;
    const auto under = [&](const std::string& top) {
        std::uint64_t bytes = 0;
        const auto it = m_nodes.find(top);
        if (it == m_nodes.end() || it->second.kind != Kind::folder) return bytes;
        for (auto n = m_nodes.lower_bound(top); n != m_nodes.end() && (n->first == top || isBelow(n->first, top)); ++n) {
            if (walk.entries >= mostEntries) {
                walk.stopped = true;
                break;
            }
            ++walk.entries;
            if (n->second.kind != Kind::folder && counted.insert(n->first).second) bytes += n->second.stat.size;
        }
        return bytes;
    };
    const auto plain = [](std::string_view name) {
        return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
    };
    std::set<std::string> slotsWalked;
    projects.forEach([&](std::size_t i, std::string_view dir, const std::vector<std::string_view>& slotNames) {
        if (plain(dir)) walk.projectBytes.add(i, under("projects/" + std::string(dir)));
        for (const std::string_view slot : slotNames)
            if (plain(slot) && slotsWalked.emplace(slot).second) walk.projectBytes.add(i, under("slots/" + std::string(slot)));
    });
    for (const auto& [k, n] : m_nodes)
        if (!k.empty() && k.find('/') == std::string::npos && n.kind != Kind::folder && counted.insert(k).second)
            walk.clientBytes += n.stat.size, ++walk.entries;
    walk.clientBytes += under("locale");
    return walk;
}

}  // namespace crunchwatch
