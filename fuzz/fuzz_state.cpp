// Fuzzes one refresh cycle's data path on arbitrary bytes: reading the file
// at the vector level the input picks, normalisation (against its contract),
// sections, records, rows and totals, and every cell of both tables with a
// fuzzed current moment and date format. The dump's reports of the same
// refresh are fuzzed by fuzz_state_reports, whose inputs cost far more.
//
// The input's layout is refresh_input.hpp's: a plain state file is a useful seed.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "fuzz_support.hpp"
#include "refresh_input.hpp"
#include "state/projects.hpp"
#include "tables/alert_ledger.hpp"
#include "tables/columns.hpp"
#include "tables/date_value.hpp"
#include "tables/projects_cells.hpp"
#include "tables/results_cells.hpp"
#include "status_reference.hpp"
#include "tables/project_status.hpp"
#include "tables/table_definition.hpp"
#include "tables/task_details.hpp"
#include "text_references.hpp"

using namespace crunchwatch;
using fuzz::require;

namespace {

// Every value is cut from the file's text; a flag holds its own name.
CRUNCHWATCH_FUZZ_CHECK void requireRecord(const Record& r, std::string_view text) {
    for (const Entry& e : r.entries()) {
        require(!e.value.empty(), "a record holds an empty value");
        const bool flag = e.key == "ready_to_report" || e.key == "suspended_via_gui";
        require((!flag || e.value == e.key) && fuzz::isWithin(e.value, text),
                "a record value lies outside the file's text");
    }
}

CRUNCHWATCH_FUZZ_CHECK bool sameRecord(const Record& a, const Record& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a.entries()[i].key != b.entries()[i].key || a.entries()[i].value != b.entries()[i].value) return false;
    return true;
}

// The file read from disk gives exactly what the same bytes give in memory.
CRUNCHWATCH_FUZZ_CHECK void requireSameState(const ClientState& fromFile, const ClientState& inMemory) {
    require(fromFile.file.text.view() == inMemory.file.text.view(), "the file was read differently from memory");
    const ProjectInfo& a = fromFile.projectInfo;
    const ProjectInfo& b = inMemory.projectInfo;
    require(a.size() == b.size(), "the file gave another number of projects");
    for (std::size_t i = 0; i < a.size(); ++i) {
        require(sameRecord(a[i].values, b[i].values), "the file gave other project values");
        require(a[i].result.size() == b[i].result.size(), "the file gave another number of results");
        for (std::size_t k = 0; k < a[i].result.size(); ++k)
            require(sameRecord(a[i].result[k], b[i].result[k]), "the file gave other result values");
    }
}

CRUNCHWATCH_FUZZ_CHECK void requireCell(const Cell& cell, const std::optional<std::string>& format) {
    const auto text = cellText(cell, format);
    switch (cell.kind) {
        case Cell::Kind::Empty: require(!text, "an empty cell shows text"); break;
        case Cell::Kind::Text: require(text && *text == cell.text, "a text cell shows something else"); break;
        case Cell::Kind::Date:
            require(!text || text->size() <= maxDateTextLength, "a date text is longer than the limit");
            require(std::isfinite(cell.moment) || !text, "a moment that is not finite shows a date");
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::useFuzzingTimeZone();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzz::RefreshInput p = fuzz::splitRefreshInput(data, size);
    // The client's words are no part of the input: fuzz_words reads them.
    const RefreshValuePtr refreshed = fuzz::refresh(p, WordsOptions{.read = false});
    const Snapshot& report = *refreshed->snapshot;
    const ClientState inMemory = clientStateFromText(p.file);
    requireSameState(report.state, inMemory);

    const std::string_view text = report.state.file.text.view();
    fuzz::requireNormalised(text, p.file.size());
    require(text == fuzz::referenceNormalised(p.file), "normalisation differs from its contract");
    const Sections& s = report.state.file.sekcje;
    for (const auto& section : {s.host_info, s.project, s.active_task_set}) {
        if (!section) continue;
        require(!section->empty(), "a found section is empty");
        require(fuzz::isWithin(*section, text), "a section lies outside the file's text");
    }
    require(fuzz::isWithin(s.platform_name, text), "platform_name lies outside the file's text");

    std::size_t results = 0;
    for (const projectRecord& project : report.state.projectInfo) {
        requireRecord(project.values, text);
        for (const resultRecord& r : project.result) requireRecord(r, text);
        results += project.result.size();
    }
    const ResultRows& rows = report.rows;
    require(rows.main_result_table.size() == results, "the rows are not one per result");
    require(report.numberOfProjects == report.state.projectInfo.size(), "the counter is not the number of projects");
    require(report.numberOfProjects > 0 || report.totalCredit == 0.0, "a file without projects counts credit");

    fuzz::requireSameStatus(report.state.clientStatus, s);
    for (std::size_t i = 0; i < rows.main_result_table.size(); ++i) {
        // As the table shows the row: the extra columns and the details read
        // the elements around its values.
        const resultRow row = resultRowOf(*refreshed, i);
        (void)taskDetails(row, p.now, p.dateFormat);
        for (const auto& c : resultColumns) {
            requireCell(c.cell(row, p.now), p.dateFormat);
            (void)c.sortValue(row, p.now);
            if (c.explanation) (void)c.explanation(row, p.now);
            if (c.tone) (void)c.tone(row, p.now);
        }
        (void)stateText(row);
        (void)stateExplanation(row);
        (void)progressExplanation(row);
        if (const auto late = completionPastDeadline(row, p.now)) require(*late > 0.0, "a lateness is not positive");
        row.forEachEntry([&](std::string_view key, std::string_view value) {
            require(row.getNamed(key) == value, "a row's entry differs from its value");
        });
    }
    for (std::size_t i = 0; i < report.state.projectInfo.size(); ++i) {
        const projectRecord project = projectRowOf(*refreshed, i);
        for (const auto& c : projectColumns) requireCell(c.cell(project, p.now), p.dateFormat);
        (void)projectStatusTip(*project.status, p.now, p.dateFormat);
    }
    for (std::size_t i = 0; i < transfersTable.size(*refreshed); ++i) {
        const TransferRow t = transferRowOf(*refreshed, i);
        for (const auto& c : transferColumns) {
            requireCell(c.cell(t, p.now), p.dateFormat);
            (void)c.sortValue(t, p.now);
            if (c.explanation) (void)c.explanation(t, p.now);
            if (c.tone) (void)c.tone(t, p.now);
        }
    }
    // The alerts at the fuzzed moment, going on from the refresh's own: each
    // began at a moment, is named by one line of three fields, and the
    // ledger reads back what it wrote of them.
    RefreshValue at = *refreshed;
    at.takenAt = p.now;
    const AlertsValue alerts = evaluateAlerts(at, AlertThresholds{}, &refreshed->alerts->memory);
    for (const Alert& a : alerts.alerts) {
        require(std::isfinite(a.since), "an alert began at no moment");
        const std::string key = a.key();
        require(std::count(key.begin(), key.end(), '\t') == 2 && key.find('\n') == std::string::npos,
                "an alert's key is not one line of three fields");
    }
    AlertLedger ledger;
    require(ledger.update("/x/client_state.xml", alerts.alerts).begun.size() == alerts.alerts.size(),
            "an alert was not told");
    require(AlertLedger::fromText(ledger.text()).update("/x/client_state.xml", alerts.alerts).empty(),
            "the ledger does not read back what it told");
    return 0;
}
