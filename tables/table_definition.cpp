#include "tables/table_definition.hpp"

#include <algorithm>

#include "state/history_match.hpp"
#include "state/numbers.hpp"

namespace crunchwatch {
namespace {

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool containsIgnoringAsciiCase(std::string_view text, std::string_view needle) {
    if (needle.empty()) return true;
    const auto it = std::search(text.begin(), text.end(), needle.begin(), needle.end(),
                                [](char a, char b) { return lowerAscii(a) == lowerAscii(b); });
    return it != text.end();
}

std::vector<std::string> projectNames(const RefreshValue& v) {
    std::vector<std::string> names;
    for (const projectRecord& p : v.snapshot->state.projectInfo)
        if (const auto name = p.values.get(Key::project_name)) names.emplace_back(*name);
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

// Before any file was read, the snapshot shown is none read.
bool nothingReadYet(const RefreshValue& v) { return !v.snapshot->status; }

std::string noResultsText(const RefreshValue& v) {
    if (nothingReadYet(v) || !v.snapshot->rows.main_result_table.empty()) return {};
    if (v.snapshot->state.projectInfo.empty())
        return "This file holds no projects: either it is not a client's state file, or the client is attached "
               "to no project yet.";
    return "No tasks: the client holds no work from its projects at the moment.";
}

std::string noProjectsText(const RefreshValue& v) {
    if (nothingReadYet(v) || !v.snapshot->state.projectInfo.empty()) return {};
    return "No projects in this file.";
}

// Why the history shows nothing of its files: the folder could not be
// listed, or each file that could not be read, with the reader's reason.
template <class File>
std::string unreadable(const History& h, const std::vector<File>& files) {
    if (h.listFailure() != ReadFailure::none)
        return "The client's data directory " + h.directory() + " could not be listed: " +
               readFailureReason(h.listFailure()) + ".";
    std::string text;
    for (const File& f : files)
        if (f.failure != ReadFailure::none)
            text += (text.empty() ? "" : "\n") + f.name + " could not be read: " + readFailureReason(f.failure) + ".";
    return text;
}

std::string noHistoryText(const RefreshValue& v) {
    if (nothingReadYet(v) || v.history->table.size() != 0) return {};
    const History& h = v.history->history;
    if (std::string why = unreadable(h, h.jobLogFiles()); !why.empty()) return why;
    for (const JobLogFile& f : h.jobLogFiles())
        if (f.read) return "The client's job logs in " + h.directory() + " record no finished task yet.";
    return "No finished tasks: the client has written no job log (job_log_*.txt) in " + h.directory() + ".";
}

}  // namespace

resultRow resultRowOf(const RefreshValue& v, std::size_t i) {
    resultRow row = v.snapshot->rows.main_result_table[i];
    row.text = v.snapshot->state.file.text.view();
    row.project.status = v.snapshot->state.clientStatus.of(row.projectIndex);
    // The surroundings are read with every refresh for the snapshot shown,
    // in the folder it was read from.
    if (v.around) {
        row.clientStopped = v.around->clientStopped();
        row.checkpoint = v.around->checkpointOfRow(i);
    }
    return row;
}

projectRecord projectRowOf(const RefreshValue& v, std::size_t i) {
    projectRecord p = v.snapshot->state.projectInfo[i];
    p.status = v.snapshot->state.clientStatus.of(i);
    return p;
}

TransferRow transferRowOf(const RefreshValue& v, std::size_t i) {
    const Snapshot& s = *v.snapshot;
    TransferRow row{s.state.clientStatus.transfers()[i], {}, {}, {}};
    const Transfer& t = row.transfer;
    if (t.project < s.state.projectInfo.size()) {
        const projectRecord p = s.state.projectInfo[t.project];
        row.projectName = p.values.get(Key::project_name);
        row.masterUrl = p.values.get(Key::master_url);
    }
    if (v.around && i < v.around->partialSizes.size()) row.partialSize = v.around->partialSizes[i];
    return row;
}

std::string noStatisticsText(const RefreshValue& v) {
    const History& h = v.history->history;
    for (const StatisticsFile& f : h.statisticsFiles())
        if (f.statistics) return {};
    if (std::string why = unreadable(h, h.statisticsFiles()); !why.empty()) return why;
    return "No statistics files (statistics_*.xml) in the client's data directory.";
}

bool passes(const RowFilter& filter, const SortValue& project, const SortValue& name) {
    if (filter.project && (project.kind != SortValue::Kind::Text || project.text != *filter.project)) return false;
    if (filter.search.empty()) return true;
    return name.kind == SortValue::Kind::Text && containsIgnoringAsciiCase(name.text, filter.search);
}

const TableDefinition<resultRow> resultsTable{
    resultColumns,
    [](const RefreshValue& v) -> const void* { return v.snapshot.get(); },
    [](const RefreshValue& v) { return v.snapshot->rows.main_result_table.size(); },
    &resultRowOf,
    static_cast<std::size_t>(ResultColumn::PName),
    static_cast<std::size_t>(ResultColumn::WUnit),
    &projectNames,
    &noResultsText,
    resultColumnsShown,
};

const TableDefinition<projectRecord> projectsTable{
    projectColumns,
    [](const RefreshValue& v) -> const void* { return v.snapshot.get(); },
    [](const RefreshValue& v) { return v.snapshot->state.projectInfo.size(); },
    &projectRowOf,
    static_cast<std::size_t>(ProjectColumn::project_name),
    static_cast<std::size_t>(ProjectColumn::project_name),
    &projectNames,
    &noProjectsText,
};

const TableDefinition<HistoryTask> historyTable{
    historyColumns,
    [](const RefreshValue& v) -> const void* { return v.history.get(); },
    [](const RefreshValue& v) { return v.history->table.size(); },
    [](const RefreshValue& v, std::size_t i) { return v.history->table[i]; },
    static_cast<std::size_t>(HistoryColumn::project),
    static_cast<std::size_t>(HistoryColumn::nm),
    [](const RefreshValue& v) { return v.history->table.projectLabels(); },
    &noHistoryText,
};

const TableDefinition<TransferRow> transfersTable{
    transferColumns,
    [](const RefreshValue& v) -> const void* { return v.snapshot.get(); },
    [](const RefreshValue& v) { return v.snapshot->state.clientStatus.transfers().size(); },
    &transferRowOf,
    static_cast<std::size_t>(TransferColumn::project),
    static_cast<std::size_t>(TransferColumn::name),
    &projectNames,
    [](const RefreshValue& v) { return nothingReadYet(v) ? std::string() : std::string("No transfers"); },
};

EventRow eventRowOf(const RefreshValue& v, std::size_t index) {
    const std::size_t at = v.events->firstShown + index;
    return {v.events->log.entry(at), at};
}

NoticeRow noticeRowOf(const RefreshValue& v, std::size_t index) {
    const NoticeFiles& files = v.notices->files;
    const std::size_t at = v.notices->order[index];
    NoticeRow row;
    if (at < files.notices.size()) {
        row.notice = &files.notices[at];
        row.projectName = row.notice->projectName;
        if (!row.notice->createTime.empty()) row.moment = readNumber(row.notice->createTime);
        return row;
    }
    row.message = &files.messages[at - files.notices.size()];
    row.moment = row.message->fileTime;
    const auto& projects = v.snapshot->state.projectInfo;
    for (std::size_t i = 0; i < projects.size(); ++i) {
        const projectRecord p = projects[i];
        if (auto url = p.values.get(Key::master_url); url && escapedMasterUrl(*url) == row.message->escapedUrl) {
            row.projectName = p.values.get(Key::project_name);
            break;
        }
    }
    if (!row.projectName) row.projectName = row.message->escapedUrl;
    return row;
}

namespace {

std::vector<std::string> eventProjects(const RefreshValue& v) {
    std::vector<std::string> names;
    const EventLog& log = v.events->log;
    for (std::size_t i = v.events->firstShown; i < log.size(); ++i) {
        const std::string_view p = log.entry(i).project;
        if (!p.empty() && (names.empty() || names.back() != p)) names.emplace_back(p);
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

std::vector<std::string> noticeProjects(const RefreshValue& v) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < v.notices->order.size(); ++i)
        if (auto name = noticeRowOf(v, i).projectName) names.emplace_back(*name);
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

}  // namespace

const TableDefinition<EventRow> eventsTable{
    eventColumns,
    [](const RefreshValue& v) -> const void* { return v.events.get(); },
    [](const RefreshValue& v) { return v.events->log.size() - v.events->firstShown; },
    &eventRowOf,
    static_cast<std::size_t>(EventColumn::project),
    static_cast<std::size_t>(EventColumn::text),
    &eventProjects,
    [](const RefreshValue& v) { return v.events->problem.empty() ? std::string("No messages") : v.events->problem; },
};

const TableDefinition<NoticeRow> noticesTable{
    noticeColumns,
    [](const RefreshValue& v) -> const void* { return v.notices.get(); },
    [](const RefreshValue& v) { return v.notices->order.size(); },
    &noticeRowOf,
    static_cast<std::size_t>(NoticeColumn::project),
    static_cast<std::size_t>(NoticeColumn::title),
    &noticeProjects,
    [](const RefreshValue&) { return std::string("No notices"); },
};

const TableDefinition<const ComputerLine*> computerTable{
    computerColumns,
    [](const RefreshValue& v) -> const void* { return v.computer.get(); },
    [](const RefreshValue& v) { return v.computer->lines.size(); },
    [](const RefreshValue& v, std::size_t i) -> const ComputerLine* { return &v.computer->lines[i]; },
    static_cast<std::size_t>(ComputerColumn::group),
    static_cast<std::size_t>(ComputerColumn::name),
    [](const RefreshValue&) { return std::vector<std::string>(); },
    [](const RefreshValue& v) {
        return nothingReadYet(v) ? std::string() : std::string("The state file holds nothing about this computer");
    },
};

const TableDefinition<DiskRow> diskTable{
    diskColumns,
    [](const RefreshValue& v) -> const void* { return v.computer.get(); },
    [](const RefreshValue& v) { return v.computer->disk.rowCount(); },
    [](const RefreshValue& v, std::size_t i) { return v.computer->disk.row(i); },
    static_cast<std::size_t>(DiskColumn::project),
    static_cast<std::size_t>(DiskColumn::project),
    &projectNames,
    [](const RefreshValue& v) { return nothingReadYet(v) ? std::string() : std::string("Nothing counted yet"); },
};

const TableDefinition<const Alert*> alertsTable{
    alertColumns,
    [](const RefreshValue& v) -> const void* { return v.alerts.get(); },
    [](const RefreshValue& v) { return v.alerts->alerts.size(); },
    [](const RefreshValue& v, std::size_t i) -> const Alert* { return &v.alerts->alerts[i]; },
    static_cast<std::size_t>(AlertColumn::project),
    static_cast<std::size_t>(AlertColumn::task),
    [](const RefreshValue& v) {
        std::vector<std::string> names;
        for (const Alert& a : v.alerts->alerts)
            if (!a.project.empty()) names.push_back(a.project);
        std::sort(names.begin(), names.end());
        names.erase(std::unique(names.begin(), names.end()), names.end());
        return names;
    },
    [](const RefreshValue& v) {
        return nothingReadYet(v) ? std::string() : std::string("No alerts: nothing needs you now.");
    },
};

}  // namespace crunchwatch
