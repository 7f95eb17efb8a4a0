#pragma once
// A record of values read from the client's files: tag name -> text, in the
// order the keys were first set. Values are views into the normalised file
// text, copied nowhere.
//
// An absent value has no entry: no entry ever holds an empty text.
//
// Records are stored compactly (see RecordStore): a value is a 32-bit offset
// and length into the text and a one-byte key, so a record costs what it
// holds and nothing for the keys it lacks. `Record` is a view of a stored
// record; `RecordDraft` is one being put together before it is stored.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "state/chunked_array.hpp"
#include "state/index_iterator.hpp"

namespace crunchwatch {

// Every key a record can hold: the project's values, a result's with its
// workunit's, and an active task's; last, "rsc_share", which only a row of
// the results table carries (the total of every project's share).
enum class Key : std::uint8_t {
    master_url, project_name, user_total_credit, user_expavg_credit, user_create_time, rpc_seqno,
    host_total_credit, host_expavg_credit, host_create_time, exp_avg_cpu, exp_avg_mod_time, min_rpc_time,
    resource_share, app_name,
    name, exit_status, state, wu_name, report_deadline, ready_to_report, suspended_via_gui, version_num,
    project_master_url, result_name, slot, scheduler_state, checkpoint_cpu_time, fraction_done,
    current_cpu_time, active_task_state, checkpoint_fraction_done,
    rsc_share,
};

inline constexpr std::array<std::string_view, 32> keyNames{
    "master_url", "project_name", "user_total_credit", "user_expavg_credit", "user_create_time", "rpc_seqno",
    "host_total_credit", "host_expavg_credit", "host_create_time", "exp_avg_cpu", "exp_avg_mod_time",
    "min_rpc_time", "resource_share", "app_name",
    "name", "exit_status", "state", "wu_name", "report_deadline", "ready_to_report", "suspended_via_gui",
    "version_num",
    "project_master_url", "result_name", "slot", "scheduler_state", "checkpoint_cpu_time", "fraction_done",
    "current_cpu_time", "active_task_state", "checkpoint_fraction_done",
    "rsc_share",
};

constexpr std::string_view keyName(Key k) noexcept { return keyNames[static_cast<std::size_t>(k)]; }
// The key of that name; nothing for a name no record holds.
constexpr std::optional<Key> keyNamed(std::string_view name) noexcept {
    for (std::size_t i = 0; i < keyNames.size(); ++i)
        if (keyNames[i] == name) return static_cast<Key>(i);
    return std::nullopt;
}

struct Entry {
    std::string_view key;
    std::string_view value;
    Key id{};  // the key itself, of which `key` is the name
};

// A stored value: where it lies in the text, and its key. Every entry is
// written whole before it is read, so there are no member initialisers: the
// entries' chunk (ChunkedArray, 4096 at a time) is then not zeroed first.
struct StoredEntry {
    std::uint32_t offset;
    std::uint32_t length;
    Key key;
};

// A record being put together: the values of one element, before it is
// stored. Every record kind has a fixed key set of at most `capacity` keys (a
// result with its workunit and active-task keys has eighteen), so the draft
// lives on the stack.
class RecordDraft {
public:
    static constexpr std::size_t capacity = 18;

    std::optional<std::string_view> get(Key key) const noexcept {
        for (std::size_t i = 0; i < m_size; ++i)
            if (m_keys[i] == key) return m_values[i];
        return std::nullopt;
    }
    // Replaces the value of an existing key, else appends the key.
    void set(Key key, std::string_view value) noexcept {
        for (std::size_t i = 0; i < m_size; ++i)
            if (m_keys[i] == key) {
                m_values[i] = value;
                return;
            }
        if (m_size < capacity) {
            m_keys[m_size] = key;
            m_values[m_size++] = value;
        }
    }
    // Sets the key only when there is a value: absent stays absent.
    void setIfPresent(Key key, std::optional<std::string_view> value) noexcept {
        if (value) set(key, *value);
    }

    std::size_t size() const noexcept { return m_size; }
    Key keyAt(std::size_t i) const noexcept { return m_keys[i]; }
    std::string_view valueAt(std::size_t i) const noexcept { return m_values[i]; }

private:
    std::array<Key, capacity> m_keys{};
    std::array<std::string_view, capacity> m_values{};
    std::size_t m_size = 0;
};

// Where the stored records live: one text, the entries of every record in
// order, and for each record where its entries begin. A record may carry a
// second run of entries (an active task's, added after every record was
// stored), through `extraOf`.
struct RecordStore {
    struct Run {
        std::uint32_t begin = 0, end = 0;
    };
    const char* base = nullptr;  // the text every offset counts from
    ChunkedArray<StoredEntry> entries;
    ChunkedArray<std::uint32_t> recordBegin;  // one per record
    ChunkedArray<std::uint32_t> extraOf;      // per record, 0 or its run's index + 1; empty while none has one
    ChunkedArray<Run> extraRuns;
    std::uint32_t ownEnd = 0;  // where the records' own entries end, and added runs begin

    std::string_view valueOf(const StoredEntry& e) const noexcept { return {base + e.offset, e.length}; }
    std::size_t recordCount() const noexcept { return recordBegin.size(); }
    Run ownRun(std::size_t record) const noexcept {
        const std::uint32_t end = record + 1 < recordBegin.size() ? recordBegin[record + 1] : ownEnd;
        return {recordBegin[record], end};
    }
    Run extraRun(std::size_t record) const noexcept {
        if (record >= extraOf.size() || extraOf[record] == 0) return {};
        return extraRuns[extraOf[record] - 1];
    }
};

// A stored record, read only: its own values, then any added later.
class Record {
public:
    Record() = default;
    Record(const RecordStore& store, std::size_t record) noexcept
        : m_store(&store), m_own(store.ownRun(record)), m_extra(store.extraRun(record)) {}

    std::optional<std::string_view> get(Key key) const noexcept {
        if (auto v = find(m_own, key)) return v;
        return find(m_extra, key);
    }
    bool has(Key key) const noexcept { return get(key).has_value(); }
    // By the key's name, for a name that comes from outside (a column's
    // identifier, an entry's key); nothing for a name no record holds.
    std::optional<std::string_view> getNamed(std::string_view name) const noexcept {
        const auto key = keyNamed(name);
        return key ? get(*key) : std::nullopt;
    }

    std::size_t size() const noexcept { return (m_own.end - m_own.begin) + (m_extra.end - m_extra.begin); }
    Entry entry(std::size_t i) const noexcept {
        const StoredEntry& e = stored(i);
        return {keyName(e.key), m_store->valueOf(e), e.key};
    }

    // The entries in order, as {key, value} pairs.
    class Entries;
    Entries entries() const noexcept;

private:
    std::optional<std::string_view> find(RecordStore::Run run, Key key) const noexcept {
        for (std::uint32_t i = run.begin; i < run.end; ++i) {
            const StoredEntry& e = m_store->entries[i];
            if (e.key == key) return m_store->valueOf(e);
        }
        return std::nullopt;
    }
    const StoredEntry& stored(std::size_t i) const noexcept {
        const std::size_t own = m_own.end - m_own.begin;
        return m_store->entries[i < own ? m_own.begin + i : m_extra.begin + (i - own)];
    }

    const RecordStore* m_store = nullptr;
    RecordStore::Run m_own, m_extra;
};

class Record::Entries {
public:
    using iterator = IndexIterator<Entries, Entry>;
    explicit Entries(const Record& r) : m_record(r) {}
    iterator begin() const noexcept { return {this, 0}; }
    iterator end() const noexcept { return {this, size()}; }
    std::size_t size() const noexcept { return m_record.size(); }
    Entry operator[](std::size_t i) const noexcept { return m_record.entry(i); }

private:
    Record m_record;
};

inline Record::Entries Record::entries() const noexcept { return Entries(*this); }

}  // namespace crunchwatch
