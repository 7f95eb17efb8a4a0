#pragma once
// The rows of the results table and the two totals, built from the project
// records of one successful refresh.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "state/projects.hpp"

namespace crunchwatch {

// resultRow: a project's values overlaid with one result's (the result wins on
// a shared key) and "rsc_share", the total of all projects' shares. It reads
// through to the records it was built from, which must outlive it: they are
// never changed after a refresh, so this is the same as a copy of its own.
struct resultRow {
    const projectRecord* project = nullptr;
    const resultRecord* result = nullptr;
    std::string_view rsc_share;

    std::optional<std::string_view> get(std::string_view key) const noexcept;

    // Every entry the row holds, once each: the project's keys in order (with
    // the result's value where it has one), the result's other keys, then
    // "rsc_share".
    template <class F>
    void forEachEntry(F&& f) const {
        for (const Entry& e : project->values.entries())
            f(e.key, result->get(e.key).value_or(e.value));
        for (const Entry& e : result->entries())
            if (!project->values.has(e.key)) f(e.key, e.value);
        f(std::string_view("rsc_share"), rsc_share);
    }
};

// What one successful refresh builds for the tables and the counters.
struct ResultRows {
    std::vector<resultRow> main_result_table;
    double totalShare = 0;
    double totalCredit = 0;
    // The "%f" text of totalShare that every row carries; held on the heap so
    // the rows' views survive moves of this object.
    std::shared_ptr<const std::string> rscShareText;
};

// Totals first (every row carries the total share), then the rows, grouped
// by project in file order and within a project in result order.
ResultRows buildResultRows(const ProjectInfo& projectInfo);

}  // namespace crunchwatch
