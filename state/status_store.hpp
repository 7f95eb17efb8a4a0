#pragma once
// Where ClientStatus keeps what it read: only the values present, each a
// 32-bit offset and length into the text with a one-byte key, so that a
// project holding one flag, or a transfer holding nothing, costs a few bytes
// rather than a struct of every value it might hold. ClientStatus makes its
// ProjectStatus and Transfer values from these when asked.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "state/chunked_array.hpp"
#include "state/index_iterator.hpp"

namespace crunchwatch {

// The values of a project's scheduling state, in the order they are listed
// (ProjectStatus's fields), then a backoff's three and an application.
enum class StatusKey : std::uint8_t {
    sched_rpc_pending, min_rpc_time, next_rpc_time, last_rpc_time, nrpc_failures, master_fetch_failures,
    njobs_success, njobs_error, disk_usage,
    backoff_name, backoff_time, backoff_interval,
    app,  // the whole "<app>" element, whose values are cut when asked for
};
inline constexpr std::size_t statusValueCount = 9;  // those before backoff_name

// A transfer's values, in the order of Transfer's fields.
enum class TransferKey : std::uint8_t {
    name, nbytes, status, is_upload, num_retries, first_request_time, next_request_time, time_so_far,
    last_bytes_xferred, error_msg, bytes_xferred,
};

// One value: where it lies, and which it is. A backoff keeps all three of
// its values, present or not, so that its place tells which backoff it is.
struct StatusEntry {
    std::uint32_t offset = 0, length = 0;
    std::uint8_t key = 0;
    bool present = false;
};

struct StatusStore {
    // A project that holds anything: its entries from `begin` are its
    // values, three per backoff, then its applications up to the next
    // project's `begin`.
    struct Project {
        std::uint32_t project = 0;  // its place in projectInfo
        std::uint16_t flags = 0;
        std::uint8_t values = 0, backoffs = 0;
        std::uint32_t begin = 0;
    };
    // A transfer: its entries run from `begin` up to the next one's.
    struct File {
        std::uint32_t project = 0;
        std::uint32_t begin = 0;
    };

    // Chunks of a few kilobytes: a real file holds a few projects and
    // transfers, and pays for no more than one chunk of each.
    template <class T>
    using Items = ChunkedArray<T, 8>;

    const char* base = nullptr;  // the text every offset counts from
    Items<Project> projects;
    Items<StatusEntry> projectEntries;
    Items<File> transfers;
    Items<StatusEntry> transferEntries;

    // A value as an entry; an absent one, or one beyond 4 GiB of `base`
    // (never so for the file's own text), as an absent entry.
    StatusEntry entryOf(std::uint8_t key, std::optional<std::string_view> value) const noexcept;
    std::optional<std::string_view> textOf(const StatusEntry& e) const noexcept {
        if (!e.present) return std::nullopt;
        return std::string_view(base + e.offset, e.length);
    }
};

// A project's backoffs or applications (Backoff, AppName), made from the
// store when asked for.
template <class Item>
class StatusItems {
public:
    StatusItems() = default;
    StatusItems(const StatusStore* store, std::size_t begin, std::size_t count) noexcept
        : m_store(store), m_begin(begin), m_count(count) {}
    std::size_t size() const noexcept { return m_count; }
    bool empty() const noexcept { return m_count == 0; }
    Item operator[](std::size_t i) const noexcept;

    using iterator = IndexIterator<StatusItems, Item>;
    iterator begin() const noexcept { return {this, 0}; }
    iterator end() const noexcept { return {this, m_count}; }

private:
    const StatusStore* m_store = nullptr;
    std::size_t m_begin = 0, m_count = 0;
};

// The stored projects' states (ProjectStatus) or transfers (Transfer), by
// index; client_status.hpp says how each is made.
template <class Item>
class StoredList {
public:
    explicit StoredList(const StatusStore* store) noexcept : m_store(store) {}
    std::size_t size() const noexcept;
    bool empty() const noexcept { return size() == 0; }
    Item operator[](std::size_t i) const noexcept;

    using iterator = IndexIterator<StoredList, Item>;
    iterator begin() const noexcept { return {this, 0}; }
    iterator end() const noexcept { return {this, size()}; }

private:
    const StatusStore* m_store;
};

}  // namespace crunchwatch
