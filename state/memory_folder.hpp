#pragma once
// A data directory held in memory: files, folders, links and the odd FIFO
// put there by a test, a fuzzer or a benchmark, and read back through the
// same folder interface as the real one, with the same rules (regular files
// only, links refused where the real folder refuses them, limits, reads
// from an offset). Each change gives the name a new modification time and
// identity, as a rewrite on disk does. Safe to change while another thread
// reads it.

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "state/folder.hpp"

namespace crunchwatch {

class MemoryFolder final : public Folder {
public:
    explicit MemoryFolder(std::string path = "/memory/");

    // A regular file of `contents`; the folders on its way are made.
    void put(std::string_view name, std::string_view contents);
    // `more` appended to the file, which keeps its identity, as a log grows.
    void append(std::string_view name, std::string_view more);
    void putFolder(std::string_view name);
    // A symbolic link to `target`, a name of this folder.
    void putLink(std::string_view name, std::string_view target);
    // Something that is neither file nor folder (a FIFO, a device).
    void putSpecial(std::string_view name);
    // A name whose reading fails as `why` says (permissionDenied, ioError, ...).
    void putUnreadable(std::string_view name, ReadFailure why);
    void remove(std::string_view name);  // and whatever lies below it
    // The name's modification time set, as a file copied with its dates.
    void setModified(std::string_view name, std::int64_t seconds, std::int64_t nanoseconds);
    void setLock(ClientLock lock);

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
    enum class Kind { file, folder, link, special, unreadable };
    struct Node {
        Kind kind = Kind::file;
        std::string text;  // a file's contents, a link's target
        FileStat stat;
        ReadFailure failure = ReadFailure::none;  // an unreadable name's
    };
    // How links are met on the way to a name: followed everywhere (stat and
    // reads), followed but for the name itself (lstat), or refused anywhere.
    enum class Follow { all, allButLast, none };
    std::optional<std::string> key(std::string_view name) const;  // the name as the table holds it
    void place(const std::string& key, Node node);
    const Node* find(std::string_view name, Follow follow, ReadFailure& why) const;
    const Node* findFile(std::string_view name, Follow follow, ReadFailure& why) const;  // a regular file only
    FileStat nextStat(std::uint64_t size, bool regular, bool directory);

    std::string m_path;
    mutable std::mutex m_mutex;
    std::map<std::string, Node> m_nodes;  // by name, "" the folder itself
    ClientLock m_lock;
    std::int64_t m_clock = 1'700'000'000;
    std::uint64_t m_nextInode = 1;
};

}  // namespace crunchwatch
