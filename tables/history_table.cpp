#include "tables/history_table.hpp"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <map>

#include "state/numbers.hpp"
#include "tables/duration.hpp"

namespace crunchwatch {
namespace {

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool containsIgnoringAsciiCase(std::string_view text, std::string_view needle) {
    if (needle.empty()) return true;
    const auto it = std::search(text.begin(), text.end(), needle.begin(), needle.end(),
                                [](char a, char b) { return lowerAscii(a) == lowerAscii(b); });
    return it != text.end();
}

std::optional<JobField> fieldOf(std::string_view columnId) {
    for (std::size_t i = 0; i < jobFieldCount; ++i)
        if (jobFieldNames[i] == columnId) return static_cast<JobField>(i);
    return std::nullopt;
}

bool isDuration(std::string_view id) { return id == "ct" || id == "et" || id == "ue"; }

// The few exit codes the client itself sets when it ends a task.
constexpr std::pair<int, const char*> clientExitCodes[] = {
    {193, "the application was stopped by a signal"},
    {194, "aborted by the client"},
    {196, "the task used more disk space than allowed"},
    {197, "the task ran longer than allowed"},
    {198, "the task used more memory than allowed"},
    {202, "aborted by the project"},
    {203, "aborted by the user"},
};

}  // namespace

bool isFailedExit(std::optional<std::string_view> exitStatus) { return exitStatus && readNumber(exitStatus) != 0; }

std::string exitStatusExplanation(std::optional<std::string_view> exitStatus) {
    if (!isFailedExit(exitStatus)) return {};
    std::string text = "Failed: exit status " + std::string(*exitStatus);
    const double code = readNumber(exitStatus);
    for (const auto& [value, meaning] : clientExitCodes)
        if (code == value) return text + " (" + meaning + ")";
    return text + " (the application's own error code)";
}

void HistoryTable::rebuild(const History& history, std::vector<std::string> labels) {
    m_history = &history;
    m_labels = std::move(labels);
    m_labels.resize(history.jobLogFiles().size());
    m_rows.clear();
    std::size_t total = 0;
    for (const JobLogFile& f : history.jobLogFiles()) total += f.read ? f.log.size() : 0;
    m_rows.reserve(total);
    for (std::size_t l = 0; l < history.jobLogFiles().size(); ++l) {
        const JobLogFile& f = history.jobLogFiles()[l];
        if (!f.read) continue;
        for (std::size_t t = f.log.size(); t-- > 0;)
            m_rows.push_back({static_cast<std::uint32_t>(l), static_cast<std::uint32_t>(t),
                              readNumber(f.log.field(t, JobField::time))});
    }
    // Later lines first among equal moments: the reverse walk above, kept stable.
    std::stable_sort(m_rows.begin(), m_rows.end(), [](const HistoryRow& a, const HistoryRow& b) { return a.time > b.time; });
}

std::optional<std::string_view> HistoryTable::value(const HistoryRow& r, JobField f) const {
    return m_history->jobLogFiles()[r.log].log.field(r.task, f);
}

std::vector<std::string> HistoryTable::projectLabels() const {
    std::vector<std::string> labels;
    for (std::size_t l = 0; l < m_labels.size(); ++l)
        if (m_history->jobLogFiles()[l].read) labels.push_back(m_labels[l]);
    std::sort(labels.begin(), labels.end());
    labels.erase(std::unique(labels.begin(), labels.end()), labels.end());
    return labels;
}

Cell HistoryTable::cell(const HistoryRow& r, std::string_view id) const {
    if (id == "project") return Cell::ofText(std::string(labelOf(r)));
    const auto field = fieldOf(id);
    if (!field) return Cell::empty();
    const auto text = value(r, *field);
    if (!text) return Cell::empty();
    if (id == "time") return Cell::ofDate(r.time);
    if (isDuration(id)) {
        const double seconds = readNumber(text);
        const auto shown = czasHMSzSekund(seconds);
        return shown ? Cell::ofText(*shown, seconds) : Cell::empty();
    }
    if (id == "es") return Cell::ofText(std::string(*text), readNumber(text));
    return Cell::ofText(std::string(*text));
}

std::vector<std::uint32_t> HistoryTable::filtered(const std::optional<std::string>& project, std::string_view search) const {
    std::vector<bool> logShown(m_labels.size(), true);
    if (project)
        for (std::size_t l = 0; l < m_labels.size(); ++l) logShown[l] = m_labels[l] == *project;
    std::vector<std::uint32_t> out;
    out.reserve(m_rows.size());
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        const HistoryRow& r = m_rows[i];
        if (logShown[r.log] && containsIgnoringAsciiCase(value(r, JobField::nm).value_or(""), search))
            out.push_back(static_cast<std::uint32_t>(i));
    }
    return out;
}

void HistoryTable::sortRows(std::vector<std::uint32_t>& rows, std::string_view id, bool descending) const {
    const auto field = fieldOf(id);
    if (id == "project" || id == "nm") {
        std::vector<std::string_view> keys(m_rows.size());
        for (std::uint32_t i : rows)
            keys[i] = id == "project" ? labelOf(m_rows[i]) : value(m_rows[i], JobField::nm).value_or("");
        std::stable_sort(rows.begin(), rows.end(), [&](std::uint32_t a, std::uint32_t b) {
            return descending ? keys[b] < keys[a] : keys[a] < keys[b];
        });
        return;
    }
    if (!field) return;
    // Numbers: an empty cell sorts below every number.
    std::vector<double> keys(m_rows.size());
    for (std::uint32_t i : rows) {
        const auto text = value(m_rows[i], *field);
        keys[i] = !text ? -HUGE_VAL : *field == JobField::time ? m_rows[i].time : readNumber(text);
        if (std::isnan(keys[i])) keys[i] = -HUGE_VAL;
    }
    std::stable_sort(rows.begin(), rows.end(), [&](std::uint32_t a, std::uint32_t b) {
        return descending ? keys[b] < keys[a] : keys[a] < keys[b];
    });
}

std::vector<DayTotals> tasksPerDay(const HistoryTable& table, const std::vector<std::uint32_t>& rows) {
    std::map<std::int64_t, DayTotals> days;  // by local midnight
    std::int64_t lastStart = 0, lastEnd = 0;  // the day last found, as a cache
    bool have = false;
    for (std::uint32_t i : rows) {
        const HistoryRow& r = table.row(i);
        if (!std::isfinite(r.time) || std::fabs(r.time) > 1e12) continue;
        const auto second = static_cast<std::int64_t>(std::floor(r.time));
        if (!have || second < lastStart || second >= lastEnd) {
            const std::time_t t = static_cast<std::time_t>(second);
            std::tm local{};
            if (!::localtime_r(&t, &local)) continue;
            local.tm_hour = local.tm_min = local.tm_sec = 0;
            local.tm_isdst = -1;
            std::tm next = local;
            ++next.tm_mday;
            lastStart = static_cast<std::int64_t>(std::mktime(&local));
            lastEnd = static_cast<std::int64_t>(std::mktime(&next));
            have = lastEnd > lastStart;
            if (!have) continue;
        }
        DayTotals& d = days.try_emplace(lastStart, DayTotals{static_cast<double>(lastStart)}).first->second;
        ++d.tasks;
        const double cpu = readNumber(table.value(r, JobField::ct));
        if (std::isfinite(cpu)) d.processorHours += cpu / 3600;
    }
    std::vector<DayTotals> out;
    out.reserve(days.size());
    for (auto& [start, totals] : days) out.push_back(totals);
    return out;
}

}  // namespace crunchwatch
