#pragma once
// Snapshot: what one refresh built from the state file: its records, the
// rows of the results table and the counters. It is built in one place
// (takeSnapshot) and never changed afterwards; the next refresh builds a new
// one. A RefreshValue (tables/refresh_value.hpp) carries it to every view.
//
// A snapshot carries how reading went as a value, like a parser's result: it
// converts to true when the file was read, and otherwise says why it was not
// (and holds no records, no rows and counters of 0).

#include <cstddef>
#include <string>
#include <string_view>

#include "state/projects.hpp"
#include "state/read_failure.hpp"
#include "tables/rows.hpp"

namespace crunchwatch {

class Folder;

// How reading the state file went.
struct ReadStatus {
    ReadFailure failure = ReadFailure::none;

    explicit operator bool() const noexcept { return failure == ReadFailure::none; }
    // Why the file could not be read, as a clause that follows "could not read FILE: ".
    const char* description() const noexcept { return readFailureReason(failure); }
};

struct Snapshot {
    Snapshot() = default;
    Snapshot(Snapshot&&) = default;
    Snapshot& operator=(Snapshot&&) = default;
    // The rows read through to this snapshot's own records: a copy would
    // point into the original, so there is none.
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

    explicit operator bool() const noexcept { return static_cast<bool>(status); }

    ReadStatus status;
    // The loaded file: its sections (state.file.sekcje) and projectInfo.
    ClientState state;
    // main_result_table, grouped by project in file order, and the totals.
    // Built only when there are projects.
    ResultRows rows;
    // The two counters under the tables. A file without projects counts 0
    // projects and 0 credit, whatever was shown before it.
    std::size_t numberOfProjects = 0;
    double totalCredit = 0;
};

// One refresh of the state file at `path`: read, normalise and section it
// (przygotujPlik), extract the project records (wyciagamyDane), then the
// rows and the counters. On failure only the status is set.
Snapshot takeSnapshot(const std::string& path);
// The same of the file `name` in `folder`.
Snapshot takeSnapshot(const Folder& folder, std::string_view name);

// The same from contents already in memory (tests, fuzzing, benchmarks).
Snapshot snapshotOfText(std::string_view contents);

}  // namespace crunchwatch
