#include "dump/report.hpp"

#include <algorithm>
#include <array>
#include <memory>

#include "dump/alerts_report.hpp"
#include "dump/history_report.hpp"
#include "dump/host_report.hpp"
#include "dump/json_writer.hpp"
#include "dump/status_report.hpp"
#include "dump/text_table.hpp"
#include "dump/words_report.hpp"
#include "tables/format.hpp"
#include "tables/refresher.hpp"
#include "tables/table_definition.hpp"

namespace crunchwatch {
namespace {

std::optional<std::string_view> viewOf(const std::optional<std::string>& s) {
    return s ? std::optional<std::string_view>(*s) : std::nullopt;
}

void beginRecordObject(JsonWriter& json, const Record& record) {
    json.beginObject();
    for (const Entry& e : record.entries()) {
        json.key(e.key);
        json.string(e.value);
    }
}

// Cell texts, a date's kept for the next cells of the same moment: a column
// of one date (an absent time reads as the start of 1970) is formatted once,
// not once per row. The moments' texts cannot change during one run.
class CellTexts final {
public:
    explicit CellTexts(const std::optional<std::string>& format) : m_format(format) {}

    // The cell's text, good while the cell lasts and until the next call;
    // nothing for an empty cell.
    std::optional<std::string_view> of(const Cell& cell) {
        if (cell.kind == Cell::Kind::Text) return cell.text;
        if (cell.kind != Cell::Kind::Date) return std::nullopt;
        for (const Known& k : m_known)
            if (k.text && k.moment == cell.moment) return *k.text;
        // A moment with no text (beyond any year) is looked at again: rare.
        Known& next = m_known[m_next++ % m_known.size()];
        next = {cell.moment, cellText(cell, m_format)};
        return next.text ? std::optional<std::string_view>(*next.text) : std::nullopt;
    }

private:
    struct Known {
        double moment = 0;
        std::optional<std::string> text;
    };
    const std::optional<std::string>& m_format;
    std::array<Known, 4> m_known{};  // a table's date columns, one each
    std::size_t m_next = 0;
};

// The columns a table shows unless the user chose others.
template <class Row>
std::span<const TableColumn<Row>> shownColumns(const TableDefinition<Row>& table) {
    return table.columns.first(table.shownByDefault);
}

// One table's cells as the window shows them: per row an object keyed by
// column identifier, null for an empty cell.
template <class Row>
void writeCells(JsonWriter& json, const TableDefinition<Row>& table, const Report& report, const ReportOptions& o) {
    CellTexts texts(o.dateFormat);
    json.beginArray();
    for (std::size_t i = 0; i < table.size(report); ++i) {
        const Row row = table.row(report, i);
        json.beginObject();
        for (const auto& c : shownColumns(table)) {
            json.key(c.id);
            const Cell cell = c.cell(row, o.now);
            json.optionalString(texts.of(cell));
        }
        json.endObject();
    }
    json.endArray();
}

// The cell's text into `into`, valid UTF-8; its capacity is used again
// from row to row.
template <class Row>
void cellTextOf(const TableColumn<Row>& column, const Row& row, const ReportOptions& o, CellTexts& texts,
                std::string& into) {
    const Cell cell = column.cell(row, o.now);
    const std::optional<std::string_view> text = texts.of(cell);
    if (!text) into.clear();
    else if (std::all_of(text->begin(), text->end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        into.assign(*text);
    else into = validUtf8(*text);
}

// A table's cells as text, made as they are printed.
template <class Row>
TextTableSource textTableOf(const TableDefinition<Row>& table, const Report& report, const ReportOptions& o) {
    const auto columns = shownColumns(table);
    TextTableSource text;
    for (const auto& c : columns) text.titles.emplace_back(c.title);
    text.rows = table.size(report);
    auto texts = std::make_shared<CellTexts>(o.dateFormat);
    text.fill = [&table, &report, &o, columns, texts](std::size_t i, std::span<const std::size_t> wanted,
                                                       std::vector<std::string>& cells) {
        const Row row = table.row(report, i);
        for (const std::size_t c : wanted) cellTextOf(columns[c], row, o, *texts, cells[c]);
    };
    return text;
}

// The same, held whole: for a table of a few lines that is printed otherwise.
template <class Row>
TextTable wholeTextTableOf(const TableDefinition<Row>& table, const Report& report, const ReportOptions& o) {
    TextTable text;
    CellTexts texts(o.dateFormat);
    for (const auto& c : shownColumns(table)) text.titles.emplace_back(c.title);
    for (std::size_t i = 0; i < table.size(report); ++i) {
        const Row row = table.row(report, i);
        auto& cells = text.rows.emplace_back();
        for (const auto& c : shownColumns(table)) cellTextOf(c, row, o, texts, cells.emplace_back());
    }
    return text;
}

// The Computer and Disk tabs as two sections: the host's lines, then per
// project the bytes counted beside the client's record, and the totals.
void writeComputerText(std::ostream& out, const Report& report, const ReportOptions& o) {
    out << "\nComputer\n\n";
    if (computerTable.size(report) == 0) out << computerTable.emptyText(report) << '\n';
    else printGroupedLines(out, wholeTextTableOf(computerTable, report, o), o.width);
    if (report.computer && report.computer->files && !report.computer->files->problem.empty())
        out << validUtf8(report.computer->files->problem) << '\n';
    out << "\nDisk\n\n";
    if (diskTable.size(report) == 0) out << diskTable.emptyText(report) << '\n';
    else printTextTable(out, textTableOf(diskTable, report, o), o.width);
    for (const std::string& line : diskSummaryLines(report)) out << validUtf8(line) << '\n';
}

}  // namespace

RefreshValuePtr readReport(const std::string& absolutePath, const WordsOptions& words) {
    Refresher refresher(std::nullopt, TaskRows::skipped);
    refresher.setWords(words);
    return refresher.refresh(StatePath(absolutePath));
}

void writeJsonReport(std::ostream& out, const Report& report, const ReportOptions& o) {
    const Snapshot& s = *report.snapshot;
    JsonWriter json(out);
    json.beginObject();
    json.key("state_file");
    json.string(o.stateFileAsGiven);

    json.key("records");
    json.beginArray();
    for (const projectRecord& p : s.state.projectInfo) {
        beginRecordObject(json, p.values);
        json.key("result");
        json.beginArray();
        for (const resultRecord& r : p.result) {
            beginRecordObject(json, r);
            json.endObject();
        }
        json.endArray();
        json.endObject();
    }
    json.endArray();

    json.key("rows");
    json.beginArray();
    for (const resultRow& row : s.rows.main_result_table) {
        json.beginObject();
        row.forEachEntry([&](std::string_view k, std::string_view v) {
            json.key(k);
            json.string(v);
        });
        json.endObject();
    }
    json.endArray();

    json.key("results");
    writeCells(json, resultsTable, report, o);
    json.key("projects");
    writeCells(json, projectsTable, report, o);

    json.key("number_of_projects");
    json.integer(static_cast<long long>(s.numberOfProjects));
    json.key("total_credit");
    json.number(s.totalCredit);

    json.key("global_prefs");
    json.beginObject();
    json.key("cpu_scheduling_period_minutes");
    json.optionalString(viewOf(report.prefs->values.cpu_scheduling_period_minutes));
    json.key("disk_interval");
    json.optionalString(viewOf(report.prefs->values.disk_interval));
    json.endObject();
    writeHistoryJson(json, report);
    writeStatusJson(json, report, o);
    writeHostJson(json, report, o.hostKey);
    writeWordsJson(json, report, o);
    writeAlertsJson(json, report);
    json.endObject();
    out << '\n';
}

void writeTextReport(std::ostream& out, const Report& report, const ReportOptions& o) {
    const Snapshot& s = *report.snapshot;
    const GlobalPrefsValues& prefs = report.prefs->values;

    // What needs the user comes first, beneath what tells whether the client runs.
    out << "State file: " << validUtf8(o.stateFileAsGiven) << '\n' << clientLine(report) << '\n';
    writeAlertsText(out, report, o);
    out << "\nResults\n\n";
    printTextTable(out, textTableOf(resultsTable, report, o), o.width);
    out << "\nProjects\n\n";
    printTextTable(out, textTableOf(projectsTable, report, o), o.width);
    out << "\nTransfers\n\n";
    if (transfersTable.size(report) == 0) out << transfersTable.emptyText(report) << '\n';
    else printTextTable(out, textTableOf(transfersTable, report, o), o.width);
    out << "\nNumber of projects: " << s.numberOfProjects << '\n'
        << "Total credit: " << formatFixed(s.totalCredit, 2) << '\n'
        << validUtf8(preferenceLine(report, "CPU scheduling period (minutes)", "cpu_scheduling_period_minutes",
                                    prefs.cpu_scheduling_period_minutes))
        << '\n'
        << validUtf8(preferenceLine(report, "Disk interval", "disk_interval", prefs.disk_interval)) << '\n';
    writeHistoryText(out, report, o);
    writeComputerText(out, report, o);
    writeWordsText(out, report, o);
}

}  // namespace crunchwatch
