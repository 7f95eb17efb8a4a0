#pragma once
// The rows of the results table and the two totals, built from the project
// records of one successful refresh.

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "state/projects.hpp"
#include "state/slot_checkpoint.hpp"

namespace crunchwatch {

// resultRow: a project's values overlaid with one result's (the result wins on
// a shared key) and "rsc_share", the total of all projects' shares. It reads
// through to the records it was built from, which must outlive it: they are
// never changed after a refresh, so this is the same as a copy of its own.
struct resultRow {
    projectRecord project;
    resultRecord result;
    std::string_view rsc_share;
    std::size_t projectIndex = 0;  // where `project` stands in projectInfo
    // What the files beside the state file add, where the table that shows
    // the row has them: the task's checkpoint in its slot, newer than the
    // state file; and whether the client is known to have stopped.
    const SlotCheckpoint* checkpoint = nullptr;
    bool clientStopped = false;
    // The whole normalised text the records lie in, where the table has it:
    // the elements around the row's values are found in it.
    std::string_view text;

    std::optional<std::string_view> get(Key key) const noexcept;
    bool has(Key key) const noexcept { return get(key).has_value(); }
    // By the key's name, for a name that comes from outside.
    std::optional<std::string_view> getNamed(std::string_view name) const noexcept {
        const auto key = keyNamed(name);
        return key ? get(*key) : std::nullopt;
    }

    // Every entry the row holds, once each: the project's keys in order (with
    // the result's value where it has one), the result's other keys, then
    // "rsc_share".
    template <class F>
    void forEachEntry(F&& f) const {
        for (const Entry& e : project.values.entries()) f(e.key, result.get(e.id).value_or(e.value));
        for (const Entry& e : result.entries())
            if (!project.values.has(e.id)) f(e.key, e.value);
        f(std::string_view("rsc_share"), rsc_share);
    }
};

// main_result_table: one row per result, grouped by project in file order
// and within a project in result order. A row is made when asked for, from
// the stored records and the one number per row the table keeps (its
// project), so the table costs four bytes a row.
class ResultTable {
public:
    ResultTable() = default;
    ResultTable(const ProjectInfo& projectInfo, std::string_view rscShare);

    std::size_t size() const noexcept { return m_projectOfRow.size(); }
    bool empty() const noexcept { return m_projectOfRow.empty(); }
    resultRow operator[](std::size_t i) const noexcept {
        const std::size_t p = m_projectOfRow[i];
        const projectRecord project = (*m_store)[p];
        // A project's results are the records after its own, so the records
        // before row i's are its own project's and one for each project
        // before and including it.
        return {project, Record(m_store->records, i + p + 1), m_rscShare, p, nullptr, false, {}};
    }

    resultRow at(std::size_t i) const {
        if (i >= size()) throw std::out_of_range("no such row");
        return (*this)[i];
    }
    resultRow front() const noexcept { return (*this)[0]; }
    resultRow back() const noexcept { return (*this)[size() - 1]; }

    using iterator = IndexIterator<ResultTable, resultRow>;
    iterator begin() const noexcept { return {this, 0}; }
    iterator end() const noexcept { return {this, size()}; }

private:
    const ProjectStore* m_store = nullptr;
    std::vector<std::uint32_t> m_projectOfRow;
    std::string_view m_rscShare;
};

// What one successful refresh builds for the tables and the counters.
struct ResultRows {
    ResultTable main_result_table;
    double totalShare = 0;
    double totalCredit = 0;
    // The "%f" text of totalShare that every row carries; held on the heap so
    // the rows' views survive moves of this object.
    std::shared_ptr<const std::string> rscShareText;
};

// Totals first (every row carries the total share), then the rows.
ResultRows buildResultRows(const ProjectInfo& projectInfo);

}  // namespace crunchwatch
