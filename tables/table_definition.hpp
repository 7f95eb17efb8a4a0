#pragma once
// What makes a table out of a refresh value: its columns, where its rows
// come from, which columns a filter reads, and what it says when it is
// empty. The window's one model and the dump's cell writers serve every
// table through these; a new view is one more TableDefinition.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tables/alerts_table.hpp"
#include "tables/client_words.hpp"
#include "tables/columns.hpp"
#include "tables/history_table.hpp"
#include "tables/refresh_value.hpp"
#include "tables/transfers_table.hpp"

namespace crunchwatch {

template <class Row>
struct TableDefinition {
    std::span<const TableColumn<Row>> columns;
    // What the rows are made from: a view shows a new value without a reset
    // when this is the same as before (a failed refresh keeps the rows).
    const void* (*source)(const RefreshValue& value);
    std::size_t (*size)(const RefreshValue& value);
    Row (*row)(const RefreshValue& value, std::size_t index);
    // The columns a filter reads: the project a row belongs to, and the name
    // a search looks in (their sort values' texts).
    std::size_t projectColumn;
    std::size_t searchColumn;
    // Every project a filter may choose, in byte order.
    std::vector<std::string> (*projects)(const RefreshValue& value);
    // Why there are no rows, in a sentence or two; empty before any read.
    std::string (*emptyText)(const RefreshValue& value);
    // How many of the first columns are shown unless the user chose
    // otherwise; the others are offered hidden.
    std::size_t shownByDefault = columns.size();
};

extern const TableDefinition<resultRow> resultsTable;
extern const TableDefinition<projectRecord> projectsTable;
extern const TableDefinition<HistoryTask> historyTable;
extern const TableDefinition<TransferRow> transfersTable;
// The event log's shown entries, oldest first; the notices, newest first.
extern const TableDefinition<EventRow> eventsTable;
extern const TableDefinition<NoticeRow> noticesTable;
// The Computer tab's lines and the Disk tab's projects (the client's own row last).
extern const TableDefinition<const ComputerLine*> computerTable;
extern const TableDefinition<DiskRow> diskTable;
// The alerts active now, newest first.
extern const TableDefinition<const Alert*> alertsTable;

// A row of the results (projects) table as the table shows it: with what
// the files beside the state file add (with the project's scheduling state).
resultRow resultRowOf(const RefreshValue& value, std::size_t index);
projectRecord projectRowOf(const RefreshValue& value, std::size_t index);
TransferRow transferRowOf(const RefreshValue& value, std::size_t index);
EventRow eventRowOf(const RefreshValue& value, std::size_t index);
NoticeRow noticeRowOf(const RefreshValue& value, std::size_t index);

// Why there are no credit statistics to draw (the folder or the files that
// could not be read, and why); empty when some were read.
std::string noStatisticsText(const RefreshValue& value);

// A filter of a table's rows: those of one project (all when none) whose
// name contains the search text (ASCII letters without regard to case).
struct RowFilter {
    std::optional<std::string> project;
    std::string search;

    bool empty() const noexcept { return !project && search.empty(); }
    bool operator==(const RowFilter&) const = default;
};

// Whether a row's project and name texts pass the filter.
bool passes(const RowFilter& filter, const SortValue& project, const SortValue& name);

}  // namespace crunchwatch
