#pragma once
// The extraction pass: from the sections of a loaded state file to the
// project records, each with its results joined to their workunits and merged
// with the active tasks working on them.
//
// Every value is a view into the state file's normalised text, cut verbatim
// (entities undecoded, numbers as text); the records are only valid while
// that text lives. ClientState keeps the two together.

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "state/client_status.hpp"
#include "state/host_info.hpp"
#include "state/record.hpp"
#include "state/sections.hpp"

namespace crunchwatch {

// One result: its own values ("name", "exit_status", "state", "wu_name",
// "report_deadline", "ready_to_report", "suspended_via_gui"), its workunit's "app_name" and
// "version_num", and the values of the active task working on it.
using resultRecord = Record;

// A project's results in file order (possibly none): views of the records
// its ProjectInfo stores.
class ResultList {
public:
    ResultList() = default;
    ResultList(const RecordStore& store, std::size_t first, std::size_t end) noexcept
        : m_store(&store), m_first(first), m_end(end) {}
    std::size_t size() const noexcept { return m_end - m_first; }
    bool empty() const noexcept { return m_end == m_first; }
    resultRecord operator[](std::size_t i) const noexcept { return {*m_store, m_first + i}; }
    resultRecord at(std::size_t i) const {
        if (i >= size()) throw std::out_of_range("no such result");
        return (*this)[i];
    }
    resultRecord front() const noexcept { return (*this)[0]; }
    resultRecord back() const noexcept { return (*this)[size() - 1]; }
    // The index of the first result's record in its store.
    std::size_t firstRecord() const noexcept { return m_first; }

    using iterator = IndexIterator<ResultList, resultRecord>;
    iterator begin() const noexcept { return {this, 0}; }
    iterator end() const noexcept { return {this, size()}; }

private:
    const RecordStore* m_store = nullptr;
    std::size_t m_first = 0, m_end = 0;
};

// One project block: its fourteen values, and under "result" its results in
// file order (always there, possibly empty). A view of what ProjectInfo stores.
struct projectRecord {
    Record values;
    ResultList result;
    // Its scheduling state, where the table that shows it has one (see
    // ClientStatus); null otherwise.
    std::optional<ProjectStatus> status = std::nullopt;
};

// The stored project records: each project's values are one record,
// followed by one for each of its results, so a project costs two 32-bit
// numbers and a result one, besides their values.
struct ProjectStore {
    RecordStore records;
    ChunkedArray<std::uint32_t> valuesRecord;  // the record of each project's values

    std::size_t size() const noexcept { return valuesRecord.size(); }
    projectRecord operator[](std::size_t i) const noexcept {
        const std::size_t record = valuesRecord[i];
        const std::size_t end = i + 1 < size() ? valuesRecord[i + 1] : records.recordCount();
        return {Record(records, record), ResultList(records, record + 1, end)};
    }
};

// projectInfo: the project records in file order. They live on the heap, so
// the views taken from a ProjectInfo stay good while it moves.
class ProjectInfo {
public:
    // Building (the extraction, and the benchmarks' other readers). Every
    // value must lie in the text that starts at `base`, within 4 GiB of it.
    explicit ProjectInfo(const char* base = nullptr);
    void addProject(const RecordDraft& values);
    void addResult(const RecordDraft& values);  // to the last project added
    // Sets an active task's values into a stored result (by its record, see
    // ResultList::firstRecord), as RecordDraft::set would: a key it has is
    // replaced, a new one follows the others.
    void mergeIntoRecord(std::size_t record, const RecordDraft& values);

    std::size_t size() const noexcept { return m_store ? m_store->size() : 0; }
    bool empty() const noexcept { return size() == 0; }
    projectRecord operator[](std::size_t i) const noexcept { return (*m_store)[i]; }
    projectRecord at(std::size_t i) const {
        if (i >= size()) throw std::out_of_range("no such project");
        return (*m_store)[i];
    }
    projectRecord front() const noexcept { return (*m_store)[0]; }
    projectRecord back() const noexcept { return (*m_store)[size() - 1]; }
    // Every project's results together, in file order.
    std::size_t resultCount() const noexcept { return m_store ? m_store->records.recordCount() - size() : 0; }
    const ProjectStore& store() const noexcept { return *m_store; }

    using iterator = IndexIterator<ProjectInfo, projectRecord>;
    iterator begin() const noexcept { return {this, 0}; }
    iterator end() const noexcept { return {this, size()}; }

private:
    void store(const RecordDraft& values);
    std::optional<StoredEntry> stored(Key key, std::string_view value) const noexcept;

    std::unique_ptr<ProjectStore> m_store;
};

// wyciagamyDane ("we extract the data"): the whole pass over the sections.
ProjectInfo wyciagamyDane(const Sections& sekcje);

// A successfully loaded state file and what was extracted from it: the
// records, and on the same pass each project's scheduling state, the file
// transfers and the client's own values.
struct ClientState {
    StateFile file;
    ProjectInfo projectInfo;
    ClientStatus clientStatus;
    HostReport host;  // <host_info>, <time_stats>, <net_stats>
};

// Reads, normalises, sections and extracts; nothing when unreadable.
std::optional<ClientState> loadClientState(const std::string& path);
// The same, and on failure `why` records what the reader saw.
std::optional<ClientState> loadClientState(const std::string& path, ReadFailure& why);
// The same of the file `name` in `folder`.
class Folder;
std::optional<ClientState> loadClientState(const Folder& folder, std::string_view name, ReadFailure& why);
// The same for contents already in memory (tests, fuzzing, benchmarks).
ClientState clientStateFromText(std::string_view contents);

}  // namespace crunchwatch
