// Fuzzes one refresh cycle's whole data path on arbitrary bytes: reading the
// file, normalisation, sections, records, rows and totals, every cell of both
// tables with a fuzzed current moment and date format, and the dump's JSON,
// text and metrics reports.
//
// The parameters come from the end of the input (FuzzedDataProvider takes
// integers from there), the date format is the last bytes of what remains,
// and the rest is the state file; so a plain state file is a useful seed.

#include <algorithm>
#include <cctype>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>

#include "dump/json_writer.hpp"
#include "dump/metrics_report.hpp"
#include "dump/report.hpp"
#include "exposition_checker.hpp"
#include "fuzz_support.hpp"
#include "state/global_prefs.hpp"
#include "state/normalise.hpp"
#include "state/scan.hpp"
#include "state/vector_level.hpp"
#include "tables/columns.hpp"
#include "tables/date_value.hpp"
#include "tables/projects_cells.hpp"
#include "tables/results_cells.hpp"

using namespace crunchwatch;
using fuzz::require;

namespace {

struct Parameters {
    double now = 0;
    std::size_t width = 100;
    std::optional<std::string> dateFormat;
    std::string file;
};

Parameters split(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    Parameters p;
    switch (in.ConsumeIntegralInRange<int>(0, 2)) {
        case 0: p.now = 1.7e9 + in.ConsumeIntegral<std::int32_t>(); break;  // near today
        case 1: p.now = std::bit_cast<double>(in.ConsumeIntegral<std::uint64_t>()); break;  // NaN, inf, anything
        default: p.now = in.ConsumeFloatingPoint<double>(); break;
    }
    p.width = in.ConsumeIntegralInRange<std::size_t>(0, 400);
    const bool hasFormat = in.ConsumeBool();
    std::size_t formatLength = in.ConsumeIntegralInRange<std::size_t>(0, 2048);
    p.file = in.ConsumeRemainingBytesAsString();
    if (hasFormat) {
        formatLength = std::min(formatLength, p.file.size());
        p.dateFormat = p.file.substr(p.file.size() - formatLength);
        p.file.resize(p.file.size() - formatLength);
    }
    return p;
}

// Every value is cut from the file's text, except the ready-to-report flag,
// which holds its own name.
void requireRecord(const Record& r, std::string_view text) {
    for (const Entry& e : r.entries()) {
        require(!e.value.empty(), "a record holds an empty value");
        require(e.key == "ready_to_report" ? e.value == "ready_to_report" : fuzz::isWithin(e.value, text),
                "a record value lies outside the file's text");
    }
}

bool sameRecord(const Record& a, const Record& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a.entries()[i].key != b.entries()[i].key || a.entries()[i].value != b.entries()[i].value) return false;
    return true;
}

// The file read from disk gives exactly what the same bytes give in memory.
void requireSameState(const ClientState& fromFile, const ClientState& inMemory) {
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

void requireCell(const Cell& cell, const std::optional<std::string>& format) {
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

bool isValidUtf8(const std::string& s) { return validUtf8(s) == s; }

// A strict reader of one JSON document (RFC 8259), enough to tell whether the
// report is one. Depth is bounded by the report's own shape.
class JsonChecker final {
public:
    explicit JsonChecker(std::string_view text) : m_s(text) {}
    bool document() {
        if (!value(0)) return false;
        blanks();
        return m_i == m_s.size();
    }

private:
    bool value(int depth) {
        blanks();
        if (depth > 16 || m_i >= m_s.size()) return false;
        switch (m_s[m_i]) {
            case '{': return container(depth, '}', true);
            case '[': return container(depth, ']', false);
            case '"': return string();
            case 't': return word("true");
            case 'f': return word("false");
            case 'n': return word("null");
            default: return number();
        }
    }
    bool container(int depth, char close, bool isObject) {
        ++m_i;
        blanks();
        if (m_i < m_s.size() && m_s[m_i] == close) return ++m_i, true;
        for (;;) {
            if (isObject) {
                blanks();
                if (m_i >= m_s.size() || m_s[m_i] != '"' || !string()) return false;
                blanks();
                if (m_i >= m_s.size() || m_s[m_i++] != ':') return false;
            }
            if (!value(depth + 1)) return false;
            blanks();
            if (m_i >= m_s.size()) return false;
            const char c = m_s[m_i++];
            if (c == close) return true;
            if (c != ',') return false;
        }
    }
    bool string() {
        ++m_i;
        while (m_i < m_s.size()) {
            const auto c = static_cast<unsigned char>(m_s[m_i++]);
            if (c == '"') return true;
            if (c < 0x20) return false;
            if (c != '\\') continue;
            if (m_i >= m_s.size()) return false;
            const char e = m_s[m_i++];
            if (e == 'u') {
                for (int k = 0; k < 4; ++k, ++m_i)
                    if (m_i >= m_s.size() || !std::isxdigit(static_cast<unsigned char>(m_s[m_i]))) return false;
            } else if (std::string_view("\"\\/bfnrt").find(e) == std::string_view::npos) {
                return false;
            }
        }
        return false;
    }
    bool number() {
        const std::size_t start = m_i;
        if (m_i < m_s.size() && m_s[m_i] == '-') ++m_i;
        const auto digits = [&] {
            const std::size_t from = m_i;
            while (m_i < m_s.size() && m_s[m_i] >= '0' && m_s[m_i] <= '9') ++m_i;
            return m_i - from;
        };
        const std::size_t intStart = m_i;
        const std::size_t intDigits = digits();
        if (intDigits == 0 || (intDigits > 1 && m_s[intStart] == '0')) return false;
        if (m_i < m_s.size() && m_s[m_i] == '.' && (++m_i, digits() == 0)) return false;
        if (m_i < m_s.size() && (m_s[m_i] == 'e' || m_s[m_i] == 'E')) {
            ++m_i;
            if (m_i < m_s.size() && (m_s[m_i] == '+' || m_s[m_i] == '-')) ++m_i;
            if (digits() == 0) return false;
        }
        return m_i > start;
    }
    bool word(std::string_view w) {
        if (m_s.substr(m_i, w.size()) != w) return false;
        m_i += w.size();
        return true;
    }
    void blanks() {
        while (m_i < m_s.size() && (m_s[m_i] == ' ' || m_s[m_i] == '\t' || m_s[m_i] == '\n' || m_s[m_i] == '\r')) ++m_i;
    }

    std::string_view m_s;
    std::size_t m_i = 0;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // A zone with summer time, spelled out so no time zone database is needed.
    ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::MemoryFile stateFile("client_state.xml");
    const Parameters p = split(data, size);
    stateFile.write(p.file);

    // The refresh as the window and the dump run it, from the file.
    Report report = readReport(stateFile.path());
    require(static_cast<bool>(report.status), "a readable regular file was refused");
    const ClientState inMemory = clientStateFromText(p.file);
    requireSameState(report.state, inMemory);

    const std::string_view text = report.state.file.text.view();
    fuzz::requireNormalised(text, p.file.size());
    // Every vector level normalises the file to the same text.
    for (const VectorLevel level : supportedVectorLevels()) {
        useVectorLevel(level);
        require(normalised(p.file) == text, "a vector level normalises differently");
    }
    useVectorLevel(bestVectorLevel());
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

    // The preferences' values, cut from this same text, so the report shows some.
    const auto prefsBody = wytnij(text, "<global_preferences>", "</global_preferences>");
    report.prefs = wyciagamyDaneGlobalPrefs(prefsBody ? std::optional<std::string>(*prefsBody) : std::nullopt);

    for (const resultRow& row : rows.main_result_table) {
        for (const auto& c : resultColumns) requireCell(c.cell(row, p.now), p.dateFormat);
        (void)stateText(row);
        (void)stateExplanation(row);
        (void)progressExplanation(row);
        if (const auto late = completionPastDeadline(row, p.now)) require(*late > 0.0, "a lateness is not positive");
        row.forEachEntry([&](std::string_view key, std::string_view value) {
            require(row.get(key) == value, "a row's entry differs from its value");
        });
    }
    for (const projectRecord& project : report.state.projectInfo)
        for (const auto& c : projectColumns) requireCell(c.cell(project, 0), p.dateFormat);

    const ReportOptions options{"/proc/self/fd/client_state.xml", p.now, p.dateFormat, p.width};
    std::ostringstream json, table;
    writeJsonReport(json, report, options);
    writeTextReport(table, report, options);
    require(isValidUtf8(json.str()), "the JSON report is not valid UTF-8");
    require(JsonChecker(json.str()).document(), "the JSON report is not one JSON document");
    require(isValidUtf8(table.str()), "the text report is not valid UTF-8");

    std::ostringstream metrics;
    writePrometheusReport(metrics, &report, MetricsOptions{options.stateFileAsGiven, p.now, p.now, true});
    std::string_view why;
    require(isValidUtf8(metrics.str()), "the metrics report is not valid UTF-8");
    require(fuzz::ExpositionChecker().document(metrics.str(), why), why.data());
    return 0;
}
